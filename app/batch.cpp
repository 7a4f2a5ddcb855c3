#include "app/batch.h"

#include <cstdlib>
#include <istream>
#include <ostream>

#include "app/batch_admin.h"
#include "app/startup.h"
#include "app/worker.h"
#include "platform/text.h"

namespace keldar {
namespace {

// Batch runs have no window: what the core shows goes to the host alone.
class NoWindow : public MainWindowView {
 public:
  void clear_log() override {}
  void set_enabled(Command, bool) override {}
  void set_text(Command, std::string_view) override {}
  void open_masks_dialog() override {}
  void open_objects_dialog() override {}
  void close_dialog() override {}
  void show_run() override {}
  void post_run_ended() override {}
  void restore_objects_dialog() override {}
  void close_window() override {}
};

// --object ID --op NAME: the operation on the object with that id, started
// as the objects dialog starts it.
void start_object_operation(Program& program, Session& s, int id, ObjectOperation operation) {
  if (!s.require_computer(cp1251("операция над объектом"))) return;
  const int index = find_object(s, id);
  if (index >= 0 && prepare_object_operation(s, index, operation)) {
    program.start(RunThread::Kind::kOneObject);
  }
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
  using Kind = AdminCommand::Kind;
  Options options;
  AdminCommand& admin = options.admin;
  int admin_commands = 0;
  std::optional<std::string> path, set_path;
  bool object_flags = false, mask_flags = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options.argument_text.empty()) options.argument_text += ' ';
    options.argument_text += arg;
    // The value of "--option VALUE" or "--option=VALUE".
    auto value_of = [&](std::string_view option) -> std::optional<std::string> {
      if (arg.size() > option.size() && arg.compare(0, option.size(), option) == 0 &&
          arg[option.size()] == '=') {
        return arg.substr(option.size() + 1);
      }
      if (arg != option) return std::nullopt;
      if (i + 1 == args.size()) {
        options.error = std::string(option) + " требует значение";
        return std::nullopt;
      }
      options.argument_text += ' ' + args[++i];
      return args[i];
    };
    // A whole number between `min` and `max`, else nullopt and the error.
    auto number_of = [&](std::string_view option, const std::string& text, long min,
                         long max) -> std::optional<int> {
      char* end = nullptr;
      long value = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value < min || value > max) {
        options.error =
            std::string(option) + " требует " +
            (option == "--object" || option == "--delete-object" ? "идентификатор объекта"
                                                                 : "номер маски (индекс, с 0)") +
            ", а не " + text;
        return std::nullopt;
      }
      return static_cast<int>(value);
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--batch") {
      options.batch = true;
    } else if (arg == "--compare") {
      options.compare = true;
    } else if (arg == "--sync") {
      options.sync = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (auto answer = value_of("--answer")) {
      if (*answer == "yes") {
        options.answer = Answer::kYes;
      } else if (*answer == "no") {
        options.answer = Answer::kNo;
      } else if (*answer == "cancel") {
        options.answer = Answer::kCancel;
      } else {
        options.error = "--answer требует yes, no или cancel, а не " + *answer;
      }
    } else if (auto name = value_of("--name")) {
      auto converted = from_utf8(*name);
      if (!converted) {
        options.error = "имя компьютера содержит знаки, которых нет в кодировке Windows-1251";
      } else {
        options.name = *converted;
      }
    } else if (auto id = value_of("--object")) {
      options.object_id = number_of("--object", *id, -32768, 32767);
    } else if (auto id = value_of("--delete-object")) {
      if (auto number = number_of("--delete-object", *id, -32768, 32767)) {
        ++admin_commands;
        admin.kind = Kind::kDeleteObject;
        admin.number = *number;
      }
    } else if (arg == "--objects" || arg == "--masks" || arg == "--add-object") {
      ++admin_commands;
      admin.kind = arg == "--objects" ? Kind::kListObjects
                   : arg == "--masks" ? Kind::kListMasks
                                      : Kind::kAddObject;
    } else if (auto value = value_of("--path")) {
      path = *value;
      object_flags = true;
    } else if (auto value = value_of("--set-path")) {
      set_path = *value;
    } else if (arg == "--nested" || arg == "--no-copy-in" || arg == "--no-copy-out") {
      (arg == "--nested"       ? admin.nested
       : arg == "--no-copy-in" ? admin.no_copy_in
                               : admin.no_copy_out) = true;
      object_flags = true;
    } else if (auto pattern = value_of("--add-mask")) {
      ++admin_commands;
      admin.kind = Kind::kAddMask;
      admin.text = *pattern;
    } else if (auto index = value_of("--delete-mask")) {
      if (auto number = number_of("--delete-mask", *index, 0, 32767)) {
        ++admin_commands;
        admin.kind = Kind::kDeleteMask;
        admin.number = *number;
      }
    } else if (auto index = value_of("--at")) {
      admin.at = number_of("--at", *index, 0, 32767);
      mask_flags = true;
    } else if (arg == "--no-copy" || arg == "--no-delete" || arg == "--ask-replace" ||
               arg == "--ask-delete") {
      (arg == "--no-copy"       ? admin.no_copy
       : arg == "--no-delete"   ? admin.no_delete
       : arg == "--ask-replace" ? admin.ask_replace
                                : admin.ask_delete) = true;
      mask_flags = true;
    } else if (auto operation = value_of("--op")) {
      options.object_operation = parse_object_operation(*operation);
      if (!options.object_operation) {
        options.error =
            "--op требует compare, copy, replace, etalon, from-carrier или clear, а не " +
            *operation;
      }
    } else if (!options.error.empty()) {
      // value_of found the option without its value.
    } else if (i == 0 && arg.rfind("-", 0) != 0) {
      // The drive selector ("1", "2", "3"); only its first character counts.
    } else {
      options.error = "неизвестный аргумент: " + arg;
    }
    if (!options.error.empty()) return options;
  }
  if (set_path && options.object_id && !options.object_operation) {
    ++admin_commands;
    admin.kind = Kind::kSetPath;
    admin.number = *options.object_id;
    admin.text = *set_path;
    options.object_id.reset();
  }
  if (options.object_id.has_value() != options.object_operation.has_value()) {
    options.error = "--object задается вместе с --op или --set-path";
  } else if (set_path && admin.kind != Kind::kSetPath) {
    options.error = "--set-path задается вместе с --object ID";
  } else if (int(options.compare) + int(options.sync) + int(options.verify) +
                 int(options.object_id.has_value()) + admin_commands >
             1) {
    options.error =
        "задайте только одно из --compare, --sync, --verify, --object, --objects, --masks, "
        "--add-object, --delete-object, --add-mask, --delete-mask";
  } else if (admin.kind == Kind::kAddObject && !path) {
    options.error = "--add-object требует --path ПУТЬ";
  } else if (object_flags && admin.kind != Kind::kAddObject) {
    options.error = "--path, --nested, --no-copy-in и --no-copy-out задаются с --add-object";
  } else if (mask_flags && admin.kind != Kind::kAddMask) {
    options.error =
        "--at, --no-copy, --no-delete, --ask-replace и --ask-delete задаются с --add-mask";
  }
  if (path) admin.text = *path;
  return options;
}

std::string usage_text(std::string_view window) {
  return "Использование: keldar [1|2|3]\n"
         "               keldar [1|2|3] --batch [--name ИМЯ]\n"
         "               keldar [1|2|3] --compare [--name ИМЯ]\n"
         "               keldar [1|2|3] --sync [--answer yes|no|cancel] [--name ИМЯ]\n"
         "               keldar [1|2|3] --verify [--name ИМЯ]\n"
         "               keldar [1|2|3] --object ID --op ОПЕРАЦИЯ [--answer ...] [--name ИМЯ]\n"
         "               keldar [1|2|3] КОМАНДА ОБЪЕКТОВ ИЛИ МАСОК [--answer ...] [--name ИМЯ]\n"
         "\n"
         "Синхронизация папок нескольких компьютеров через съемный носитель.\n"
         "Программа запускается в папке носителя.\n"
         "\n" +
         std::string(window) +
         "\n"
         "\n"
         "  1, 2, 3       файл идентификации компьютера на диске D:, E: или F:\n"
         "                (без него - на диске C:)\n"
         "  --batch       работа без окна: строки журнала выводятся на терминал;\n"
         "                --compare, --sync, --verify и --object тоже работают без окна;\n"
         "                Ctrl+C прерывает работу, списки при этом записываются\n"
         "  --compare     сравнить все объекты с их списками файлов\n"
         "  --sync        синхронизировать все объекты: Действие 1, затем Действие 2\n"
         "  --verify      проверить копии на носителе по контрольным суммам,\n"
         "                записанным при копировании (NNNNN.SUM), ничего не\n"
         "                изменяя; поврежденная копия - строка ERC= и код 8\n"
         "  --object ID --op ОПЕРАЦИЯ\n"
         "                операция над одним объектом с идентификатором ID:\n"
         "                compare (сравнить), copy (копия объекта), replace (замена\n"
         "                объекта), etalon (эталон), from-carrier (с носителя),\n"
         "                clear (очистить)\n"
         "  --answer yes|no|cancel\n"
         "                ответ на все вопросы; без него вопрос задается на\n"
         "                терминале, а без терминала ответ - Отмена\n"
         "  --name ИМЯ    имя нового компьютера (иначе оно запрашивается на\n"
         "                терминале; без терминала компьютер не идентифицируется)\n"
         "  --help        эта справка\n"
         "  --version     версия программы\n"
         "\n"
         "Объекты и маски без окна (проверки, строки журнала и счетчики те же,\n"
         "что в окнах \"Объекты\" и \"Маски\"; изменения сразу записываются\n"
         "в SYNCOBJ.QRV и MASKS.QRV):\n"
         "  --objects     таблица объектов: ID, пути и разрешения компьютеров\n"
         "                (* - этот компьютер)\n"
         "  --masks       маски по порядку: индекс, маска и ее флаги\n"
         "  --add-object --path ПУТЬ [--nested] [--no-copy-in] [--no-copy-out]\n"
         "                новый объект с путем ПУТЬ на этом компьютере; --nested\n"
         "                разрешает вложенные, --no-copy-in и --no-copy-out\n"
         "                запрещают этому компьютеру копирование с носителя и на\n"
         "                носитель\n"
         "  --object ID --set-path ПУТЬ\n"
         "                путь объекта ID на этом компьютере (так каждый новый\n"
         "                компьютер указывает свою папку объекта)\n"
         "  --delete-object ID\n"
         "                удалить объект ID, его список файлов и папку на носителе\n"
         "                (с вопросом; --answer yes отвечает Да)\n"
         "  --add-mask МАСКА [--at N] [--no-copy] [--no-delete] [--ask-replace]\n"
         "                [--ask-delete]\n"
         "                вставить маску перед маской с индексом N (без --at - в\n"
         "                конец); без флагов копирование и удаление разрешены, а\n"
         "                запросов нет\n"
         "  --delete-mask N\n"
         "                удалить маску с индексом N\n"
         "  Изменение не выполняется, с сообщением, и код завершения:\n"
         "  2 - путь или маска не могут быть записаны или маски с таким\n"
         "  индексом нет, 4 - компьютер не идентифицирован, 5 - таблица\n"
         "  повреждена или не записана, 8 - объекта с таким ID нет,\n"
         "  9 - удаление объекта не подтверждено, 10 - носитель занят\n"
         "\n"
         "Коды завершения:\n"
         "  0  все выполнено\n"
         "  1  не удалось создать файл идентификации компьютера\n"
         "  2  неверные аргументы\n"
         "  3  новый компьютер, но в таблице уже четыре компьютера\n"
         "  4  компьютер не идентифицирован (имя не введено, файл\n"
         "     идентификации поврежден или новый компьютер при\n"
         "     поврежденном COMPS.QRV)\n"
         "  5  ошибка чтения, создания или записи файла таблицы на носителе\n"
         "     или файл таблицы поврежден\n"
         "  6  ошибка открытия, записи или переноса журнала KELDAR.LOG\n"
         "     (в том числе KELDAR.LOG - символическая ссылка)\n"
         "  7  текущая папка не может служить носителем\n"
         "  8  были ошибки: файл не скопирован или не удален (EC=, ERC=, ERD=),\n"
         "     список не записан (ErrOp, ErrWr), системная ошибка, объект\n"
         "     недоступен или не найден\n"
         "  9  работа прервана (Ctrl+C или ответ Отмена)\n"
         "  10 носитель занят: на нем идет другой запуск программы\n";
}

TerminalHost::TerminalHost(std::ostream& out, std::ostream& err, std::istream* in,
                           std::optional<std::string> name, std::optional<Answer> answer)
    : out_(out), err_(err), in_(in), name_(std::move(name)), answer_(answer) {}

Answer TerminalHost::ask(std::string_view text, std::string_view caption, bool warning,
                         bool cancel) {
  std::string shown = to_utf8_lossy(text);
  for (std::size_t at; (at = shown.find('\r')) != std::string::npos;) shown.erase(at, 1);
  err_ << (warning ? "!!! " : "") << "[" << to_utf8_lossy(caption) << "]\n" << shown << '\n';
  const Answer fallback = cancel ? Answer::kCancel : Answer::kNo;
  Answer answer = answer_.value_or(fallback);
  if (!answer_ && in_ != nullptr) {
    for (;;) {
      err_ << (cancel ? "Да/Нет/Отмена (д/н/о)? " : "Да/Нет (д/н)? ") << std::flush;
      std::string typed;
      if (!std::getline(*in_, typed)) break;
      if (typed == "д" || typed == "Д" || typed == "y" || typed == "yes") {
        answer = Answer::kYes;
      } else if (typed == "н" || typed == "Н" || typed == "n" || typed == "no") {
        answer = Answer::kNo;
      } else if (cancel && (typed == "о" || typed == "О" || typed == "c" || typed == "cancel")) {
        answer = Answer::kCancel;
      } else {
        continue;
      }
      break;
    }
  }
  if (!cancel && answer == Answer::kCancel) answer = Answer::kNo;
  static constexpr const char* kWords[] = {"Да", "Нет", "Отмена"};
  err_ << "-> " << kWords[static_cast<int>(answer)] << '\n' << std::flush;
  return answer;
}

void TerminalHost::show_log_line(std::string_view line) {
  out_ << to_utf8_lossy(line) << '\n' << std::flush;
}

void TerminalHost::ask_text(std::string_view prompt, std::string& answer) {
  if (name_) {
    answer = *name_;
    return;
  }
  if (in_ == nullptr) return;
  err_ << to_utf8_lossy(prompt) << ' ' << std::flush;
  std::string typed;
  if (!std::getline(*in_, typed)) return;
  auto converted = from_utf8(typed);
  if (!converted) {
    err_ << "keldar: имя содержит знаки, которых нет в кодировке Windows-1251\n";
    return;
  }
  answer = *converted;
}

void TerminalHost::show_message(std::string_view text) {
  err_ << "keldar: " << to_utf8_lossy(text) << '\n' << std::flush;
}

int run_batch(Session& session, const Options& options) {
  NoWindow window;
  Program program(session, window);
  if (auto status = program.start_up(identification_drive(options.argument_text))) return *status;
  if (options.compare) {
    program.compare();
  } else if (options.sync) {
    program.synchronize();
  } else if (options.verify) {
    program.verify();
  } else if (options.object_id) {
    start_object_operation(program, session, *options.object_id, *options.object_operation);
  }
  const int refused = administer(program, session, options.admin);
  const int status = program.finish();
  return status != 0 && (refused == 0 || status < refused) ? status : refused;
}

}  // namespace keldar

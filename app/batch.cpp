#include "app/batch.h"

#include <cstdlib>
#include <istream>
#include <ostream>

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
  int index = -1;
  for (int i = 0; i < s.objects.count(); ++i) {
    if (s.objects.record(i).id() == id) index = i;
  }
  if (index < 0) {
    s.log.line(cp1251("Объект с идентификатором ") + std::to_string(id) + cp1251(" не найден"));
    s.failures.lists = true;
  } else if (prepare_object_operation(s, index, operation)) {
    program.start(RunThread::Kind::kOneObject);
  }
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
  Options options;
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
      char* end = nullptr;
      long value = std::strtol(id->c_str(), &end, 10);
      if (id->empty() || *end != '\0' || value < -32768 || value > 32767) {
        options.error = "--object требует идентификатор объекта, а не " + *id;
      } else {
        options.object_id = static_cast<int>(value);
      }
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
  if (options.object_id.has_value() != options.object_operation.has_value()) {
    options.error = "--object и --op задаются вместе";
  } else if (int(options.compare) + int(options.sync) + int(options.object_id.has_value()) > 1) {
    options.error = "задайте только одно из --compare, --sync, --object";
  }
  return options;
}

std::string usage_text(std::string_view window) {
  return "Использование: keldar [1|2|3]\n"
         "               keldar [1|2|3] --batch [--name ИМЯ]\n"
         "               keldar [1|2|3] --compare [--name ИМЯ]\n"
         "               keldar [1|2|3] --sync [--answer yes|no|cancel] [--name ИМЯ]\n"
         "               keldar [1|2|3] --object ID --op ОПЕРАЦИЯ [--answer ...] [--name ИМЯ]\n"
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
         "                --compare, --sync и --object тоже работают без окна;\n"
         "                Ctrl+C прерывает работу, списки при этом записываются\n"
         "  --compare     сравнить все объекты с их списками файлов\n"
         "  --sync        синхронизировать все объекты: Действие 1, затем Действие 2\n"
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
         "  9  работа прервана (Ctrl+C или ответ Отмена)\n";
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
  } else if (options.object_id) {
    start_object_operation(program, session, *options.object_id, *options.object_operation);
  }
  return program.finish();
}

}  // namespace keldar

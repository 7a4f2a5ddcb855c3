#include "app/startup.h"

#include <cstdio>

#include "format/bytes.h"
#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

bool is_absent(int code) { return code == err::kFileNotFound || code == err::kPathNotFound; }

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Loads COMPS.QRV, creating it empty when it is missing. False when the
// table exists but cannot be read: then nothing may be written over it.
// `damaged` is set when its size is not that of four records: the computers
// it holds are known, but no new one may be added (the free slot it shows
// may be a lost computer's) and the file is not written.
bool load_computer_table(Session& s, bool& damaged) {
  const std::string path = s.carrier.path(kComputerFileName);
  s.log.line(cp1251("Загрузка таблицы компьютеров из COMPS.QRV"));
  std::string data;
  int code = s.fs.read_file(path, data);
  if (code == err::kOk) {
    damaged = !s.computers.decode(data);
    if (damaged) {
      s.log.line(cp1251("Файл COMPS.QRV поврежден"));
      s.failures.config_file = true;
    }
    return true;
  }
  s.computers.clear();
  if (!is_absent(code)) {
    s.log.line(cp1251("Ошибка чтения из файла COMPS.QRV: ") + error_line(code));
    s.failures.config_file = true;
    return false;
  }
  s.log.line(cp1251("файл COMPS.QRV отсутствует, создаем пустой"));
  code = s.fs.write_file(path, s.computers.encode());
  if (code != err::kOk) {
    s.log.line(cp1251("Ошибка создания файла COMPS.QRV: ") + error_line(code));
    s.failures.config_file = true;
  }
  return true;
}

void leave_unidentified(Session& s, std::string_view reason) {
  s.log.line(std::string(reason));
  s.failures.unidentified = true;
}

void refuse_new_computer(Session& s) {
  leave_unidentified(
      s, cp1251("Таблица компьютеров повреждена, компьютер не добавлен и не идентифицирован"));
}

// Reads this computer's id from its identification file, creating the file
// with a new id when it is missing and `may_add` is set. Returns 0 when the
// computer cannot be identified this run; `fatal` is set when the program
// has to end.
std::uint32_t read_computer_id(Session& s, bool may_add, bool& fatal) {
  const std::string& path = s.id_file;
  s.log.line(cp1251("Идентификация компьютера по файлу ") + path);
  std::string data;
  int code = s.fs.read_file(path, data);
  if (code == err::kOk) {
    std::uint32_t id =
        data.size() >= 4 ? get_u32(reinterpret_cast<const std::uint8_t*>(data.data())) : 0;
    // A damaged file is left for the user to look at: overwriting it would
    // give this computer a second identity in the table.
    if (id == 0) {
      leave_unidentified(
          s, cp1251("Файл ") + path + cp1251(" поврежден, компьютер не идентифицирован"));
    }
    return id;
  }
  if (!is_absent(code)) {
    leave_unidentified(s, cp1251("Ошибка чтения файла ") + path + ": " + error_line(code) +
                              cp1251(", компьютер не идентифицирован"));
    return 0;
  }
  s.log.line(cp1251("Файл ") + path +
             cp1251(" отсутствует, компьютер не использовался для синхронизации"));
  if (!may_add) {
    refuse_new_computer(s);
    return 0;
  }
  std::uint32_t id = new_computer_id(s.computers);
  std::string bytes;
  append_u32(bytes, id);
  if (s.fs.write_file(path, bytes) != err::kOk) {
    s.log.line(cp1251("Ошибка создания файла ") + path + cp1251(", программа завершена"));
    s.host.show_message(cp1251("Ошибка создания файла идентификации"));
    fatal = true;
    return 0;
  }
  s.log.line(cp1251("Файл ") + path + cp1251(" создан"));
  return id;
}

// Adds this computer to the free `slot` under a name the user gives.
void add_computer(Session& s, int slot, std::uint32_t id) {
  std::string name;
  s.host.ask_text(cp1251("Новый компьютер для синхронизации, введите имя:"), name);
  if (name.empty()) {
    leave_unidentified(s, cp1251("Имя компьютера не введено, компьютер не идентифицирован"));
    return;
  }
  s.computers.set(slot, id, name);
  int code = s.fs.write_file(s.carrier.path(kComputerFileName), s.computers.encode());
  if (code != err::kOk) {
    s.log.line(cp1251("Ошибка записи файла COMPS.QRV: ") + error_line(code));
    s.failures.config_file = true;
  }
  s.computer = slot;
  s.log.line(cp1251("Добавлен идентификатор компьютера: ") + s.computers.name(slot));
}

}  // namespace

char identification_drive(std::string_view argument_text) {
  std::size_t first = argument_text.find_first_not_of(' ');
  char c = first == std::string_view::npos ? '\0' : argument_text[first];
  switch (c) {
    case '1':
      return 'D';
    case '2':
      return 'E';
    case '3':
      return 'F';
    default:
      return 'C';
  }
}

StartResult start_up(Session& s, char drive) {
  s.id_file = s.system.identification_file(drive);

  auto cwd = s.system.current_directory();
  if (!cwd) {
    s.host.show_message(cp1251("Ошибка определения текущей папки (папки носителя)"));
    return StartResult::kNoCarrier;
  }
  s.carrier.folder = s.fs.is_drive_root(*cwd) ? *cwd : *cwd + s.fs.separator();
  // The carrier must stay this folder until the end (carrier_in_place).
  // Being the current directory, it keeps its inode number also on volumes
  // that number folders only while they are in use (FAT, FUSE).
  FolderIdentity carrier;
  if (s.fs.folder_identity(s.carrier.folder, carrier) == err::kOk) s.carrier.identity = carrier;
  s.carrier_busy = !s.system.hold_carrier(s.carrier.folder);
  VolumeInfo volume;
  s.carrier.exact_times = s.fs.volume(s.carrier.folder, volume) == err::kOk && volume.exact_times;

  auto temp = s.system.environment("TEMP");
  std::optional<std::string> working;
  if (temp) working = working_log_path(*temp, s.fs.separator());
  int log_code = s.operation_log.open(s.carrier.path(kLogFileName), working);
  s.log.line(cp1251("Запуск ") + repeat("<+>", 16) +
             s.operation_log.timestamp(s.operation_log.banner_time()));
  if (log_code != err::kOk) {
    s.failures.log_file = true;
    const std::string& link = s.operation_log.refused_link();
    s.log.line(!link.empty()
                   ? cp1251("Файл журнала является ссылкой, журнал в файл не записывается: ") + link
                   : cp1251("Ошибка открытия файла журнала ") +
                         (working ? *working : s.carrier.path(kLogFileName)) + ": " +
                         error_line(log_code));
  }

  bool damaged_table = false;
  if (load_computer_table(s, damaged_table)) {
    bool fatal = false;
    std::uint32_t id = read_computer_id(s, !damaged_table, fatal);
    if (fatal) return StartResult::kIdFileFailed;
    if (id != 0) {
      int slot = s.computers.find_slot(id);
      if (slot >= 0 && s.computers.id(slot) == id) {
        s.computer = slot;
        s.log.line(cp1251("Компьютер идентифицирован: ") + s.computers.name(slot));
      } else if (damaged_table) {
        refuse_new_computer(s);
      } else if (slot < 0) {
        std::string text = cp1251("Новый компьютер, но максимум достигнут");
        s.log.line(text);
        s.host.show_message(text);
        return StartResult::kFifthComputer;
      } else {
        add_computer(s, slot, id);
      }
    }
  } else {
    leave_unidentified(s, cp1251("Таблица компьютеров не прочитана, компьютер не идентифицирован"));
  }
  if (s.computer >= 0) {
    s.host.set_status(std::to_string(s.computer + 1) + "=>" + s.computers.name(s.computer));
  }

  std::int16_t result = s.masks.load(s.fs, s.carrier.path(kMaskFileName));
  s.log.line(mask_load_message(result));
  if (result < load_result::kCreated) s.failures.config_file = true;

  result = s.objects.load(s.fs, s.carrier.path(kObjectFileName));
  s.log.line(object_load_message(result));
  if (result < load_result::kCreated) s.failures.config_file = true;

  s.log.line(std::string(76, '#'));
  return StartResult::kReady;
}

int finish_run(Session& s) {
  if (!write_lists(s.env, s)) s.failures.lists = true;
  // On a carrier gone since start-up the working log stays where it is.
  const bool carrier_here = carrier_in_place(s.env, s.carrier);
  s.log.line(cp1251("Завершение") + repeat("(x)", 15) +
             s.operation_log.timestamp(s.operation_log.banner_time()));
  s.log.line(std::string(95, '='));
  s.lists.release();
  int code = s.operation_log.close(carrier_here);
  s.system.release_carrier();
  if (code != err::kOk) s.failures.log_file = true;
  return code;
}

}  // namespace keldar

#include "lists/run.h"

#include "lists/scan.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {

void Progress::show(long value) {
  auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(50)) return;
  last_ = now;
  host_.set_progress(std::to_string(value));
}

void Progress::clear() {
  last_ = {};
  host_.set_progress("");
}

bool carrier_in_place(Env& env, Carrier& carrier, bool report) {
  if (!carrier.lost) {
    FolderIdentity now;
    if (!carrier.identity ||
        (env.fs.folder_identity(carrier.folder, now) == err::kOk && now == *carrier.identity)) {
      return true;
    }
    carrier.lost = true;
    if (report) log_system_error(env.log, err::kNotReady);
  }
  env.stop.request();
  return false;
}

std::string ObjectRun::object_path(std::string_view relative_name) const {
  std::string path = object_folder;
  if (relative_name != "\\") path += relative_name;
  return path;
}

std::string ObjectRun::carrier_path(std::string_view relative_name) const {
  std::string path = carrier_folder;
  if (relative_name != "\\") path += relative_name;
  return path;
}

ObjectRun Workspace::object_run(int index, bool force, bool rebuild) {
  const ObjectRecord& record = objects.record(index);
  const std::string own_path = computer >= 0 ? record.path(computer) : std::string();
  const std::string_view pattern = path_pattern(own_path);
  return ObjectRun{.record = record,
                   .list = lists.list(index),
                   .names = lists.names(),
                   .masks = masks,
                   .carrier = carrier,
                   .computer = computer,
                   .object_folder = std::string(path_folder(own_path)),
                   .pattern = pattern.empty() ? std::string("*.*") : std::string(pattern),
                   .carrier_folder = object_carrier_folder(carrier, record.id()),
                   .force = force,
                   .rebuild = rebuild};
}

std::string object_carrier_folder(const Carrier& carrier, std::int16_t id) {
  const char separator = carrier.folder.empty() ? '\\' : carrier.folder.back();
  return carrier.folder + list_file_name(id) + separator;
}

bool require_computer(Log& log, int computer, std::string_view what) {
  if (computer >= 0) return true;
  log.line(cp1251("Компьютер не идентифицирован, операция \"") + std::string(what) +
           cp1251("\" не выполнена. Запустите программу снова и введите имя компьютера"));
  return false;
}

void log_system_error(Log& log, int code) {
  if (code == 0) return;
  log.note_failure();
  if (code == kNoSpaceCode) {
    log.line(cp1251("***: Мало места для копирования файла"));
    return;
  }
  if (code == kDamagedCopyCode) {
    log.line(cp1251("***: Копия на носителе повреждена: содержимое не то, что было записано"));
    return;
  }
  log.line(std::to_string(code) + ": " + error_line(code));
}

}  // namespace keldar

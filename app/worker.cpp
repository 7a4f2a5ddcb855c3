#include "app/worker.h"

#include "lists/compare.h"
#include "lists/list_file.h"
#include "lists/removal.h"
#include "lists/scan.h"
#include "platform/text.h"
#include "sync/actions.h"

namespace keldar {
namespace {

// The main window's title outside runs.
constexpr const char* kProgramName = "Brindlewood";

void log_operation_title(Session& s, std::int16_t operation) {
  switch (operation) {
    case op::kCompare:
      s.log.line(cp1251("Сравнение объектов со списками файлов"));
      break;
    case op::kVerify:
      s.log.line(cp1251("Проверка копий на носителе по контрольным суммам"));
      break;
    case op::kAction2:
      s.log.line(cp1251("Действие 2. Копирование файлов на носитель или создание команд удаления"));
      break;
    case op::kAction1:
      s.log.line(cp1251("Действие 1. Копирование файлов с носителя или их удаление по командам;"));
      s.log.line(
          cp1251("            удаление скопированных файлов и исполненных команд с носителя"));
      break;
    default:
      break;
  }
}

std::string object_line(Session& s, std::int16_t operation) {
  const char* prefix = "";
  switch (operation) {
    case op::kCompare:
      prefix = "Сравнение объекта: ";
      break;
    case op::kVerify:
      prefix = "Проверка копий объекта: ";
      break;
    case op::kEtalon:
      prefix = "Эталон => носитель: ";
      break;
    case op::kAction2:
      prefix = "Объект => носитель: ";
      break;
    case op::kAction1:
      prefix = "Носитель => объект: ";
      break;
    default:
      break;
  }
  return cp1251(prefix) + s.object().path(s.computer);
}

// Fills every object's list; a run that writes removes the leftovers of a
// killed run as it goes.
long fill(Session& s) {
  return fill_all_lists(s.env, s, s.queue.writes() ? Leftovers::kRemove : Leftovers::kKeep);
}

long run_operation(Session& s, std::int16_t operation) {
  if (!s.lists.held() || s.current_object >= static_cast<int>(s.lists.size())) return -1;
  const ObjectRun run = s.current_run();
  switch (operation) {
    case op::kCompare:
      return compare_object(s.env, run);
    case op::kEtalon:
      return etalon_copy(s.env, run);
    case op::kAction2:
      return action2(s.env, run);
    case op::kAction1:
      return action1(s.env, run);
    case op::kVerify:
      return verify_copies(s.env, run);
    default:
      return -1;
  }
}

// Action 2 not allowed here: the changes found are taken as synchronised, so
// that they are not carried later.
void skip_action2(Session& s) {
  FileList& list = s.list();
  for (ListEntry& e : list.entries) {
    if (e.list_stamps[s.computer] != e.object_stamp) {
      e.list_stamps[s.computer] = e.object_stamp;
      list.dirty = true;
    }
  }
}

// The last operation went through: the lists are written and the queue
// emptied.
void complete_run(Session& s, RunOutcome& outcome) {
  if (!write_lists(s.env, s)) outcome.failed = true;
  s.log.line(std::string(76, '#'));
  s.queue.request_stop();
}

void end_run(Session& s) {
  s.host.set_running(false);
  s.host.set_title(kProgramName);
}

void log_banner(Session& s, int pairs, const char* tail) {
  std::string line = s.operation_log.timestamp(s.operation_log.banner_time());
  for (int i = 0; i < pairs; ++i) line += "=|";
  s.log.line(line + cp1251(tail));
}

// Fills the lists for a run over all objects. Every run works on the
// folders as they are now, so lists still held from an earlier run are
// filled again; what that run could not write is written first. False when
// the run ends here.
bool fill_for_all_objects(Session& s, RunOutcome& outcome) {
  if (s.lists.held() && !write_lists(s.env, s)) outcome.failed = true;
  const long filled = fill(s);
  if (!s.queue.running()) {
    s.log.line(cp1251("Операция заполнения списков прервана"));
    s.lists.release();
    outcome.interrupted = true;
    return false;
  }
  if (filled < 0) {
    s.log.line(cp1251("Ошибка выделения памяти для локальных списков"));
    s.lists.release();
    // The run is over: a later stop request must not be needed to end it.
    s.queue.request_stop();
    outcome.failed = true;
    return false;
  }
  return true;
}

// Empty lists, one per object, for an operation that loads each itself.
bool hold_empty_lists(Session& s, RunOutcome& outcome) {
  s.lists.release();
  if (s.lists.create(s.objects.count())) return true;
  s.log.line(cp1251("Ошибка выделения памяти для локальных списков"));
  s.queue.request_stop();
  outcome.failed = true;
  return false;
}

// One operation of a run over all objects on the current object.
void run_on_current_object(Session& s, std::int16_t operation, RunOutcome& outcome) {
  s.log.line(std::string(76, '_'));
  const std::string path = s.object().path(s.computer);
  // The carrier copies are checked whether or not the object folder answers
  // (their lists are not filled).
  if (!s.list().object_present && operation != op::kVerify) {
    s.log.line(cp1251("Объект недоступен: ") + path);
    outcome.unreachable = true;
    return;
  }
  const std::string line = object_line(s, operation);
  s.log.line(line);
  const int k = s.computer;
  const bool allowed = operation == op::kCompare || operation == op::kVerify ||
                       (operation == op::kAction2 && s.object().copy_to_carrier(k)) ||
                       (operation == op::kAction1 && s.object().copy_from_carrier(k));
  if (!allowed) {
    if (operation == op::kAction2) skip_action2(s);
    s.log.line(cp1251("Операция пропущена"));
    return;
  }
  s.host.set_title(line);
  if (run_operation(s, operation) < 0) {
    s.log.line(cp1251("Ошибка обработки списка ") + path);
    outcome.failed = true;
  }
}

// Operation 6: deletes the tree of the operand path. Replace object empties
// the object folder; the folder itself stays, so that the object is rebuilt
// in it rather than taken as vanished, and one that is missing is never
// made.
long delete_operand_tree(Session& s) {
  const std::string line = cp1251("Удаление каталога: ") + s.operand_path;
  s.host.set_title(line);
  s.log.line(line);
  const std::string folder(path_folder(s.operand_path));
  std::string pattern(path_pattern(s.operand_path));
  if (pattern.empty()) pattern = "*.*";
  const bool object_folder = folder == path_folder(s.object().path(s.computer));
  return delete_tree(s.env, folder, pattern, s.delete_files, object_folder) ? 0 : -1;
}

void log_interrupted(Session& s, RunOutcome& outcome) {
  s.log.line(cp1251("Процесс прерван ") + std::string(60, '#'));
  outcome.interrupted = true;
}

}  // namespace

void log_compare_banner(Session& s) { log_banner(s, 23, " СРАВНИТЬ"); }
void log_sync_banner(Session& s) { log_banner(s, 20, "= СИНХРОНИЗАЦИЯ"); }
void log_verify_banner(Session& s) { log_banner(s, 20, " ПРОВЕРКА КОПИЙ"); }

RunOutcome run_all_objects(Session& s) {
  RunOutcome outcome;
  s.force = s.rebuild = false;
  if (!s.require_computer(cp1251("сравнение и синхронизация"))) {
    s.queue.request_stop();
    outcome.failed = true;
    return outcome;
  }
  // A check of the carrier copies reads each list itself and scans no
  // folder; its lists, never complete, are never written.
  if (s.queue.current() == op::kVerify ? !hold_empty_lists(s, outcome)
                                       : !fill_for_all_objects(s, outcome)) {
    return outcome;
  }
  s.host.set_running(true);
  s.current_object = 0;
  for (;;) {
    const std::int16_t operation = s.queue.current();
    if (s.current_object == 0) log_operation_title(s, operation);
    while (s.current_object < s.objects.count() && s.object().path(s.computer).empty()) {
      ++s.current_object;
    }
    if (s.current_object >= s.objects.count()) {
      // The operation went over every object: on to the next one.
      if (s.queue.next() == op::kNone) {
        complete_run(s, outcome);
        break;
      }
      s.queue.shift();
      s.log.line(std::string(76, 'V'));
      s.current_object = 0;
      if (!s.queue.running()) break;
      continue;
    }
    run_on_current_object(s, operation, outcome);
    if (!s.queue.running()) {
      // Lists that the stop request left incomplete are not written.
      if (!write_lists(s.env, s)) outcome.failed = true;
      log_interrupted(s, outcome);
      break;
    }
    ++s.current_object;
  }
  end_run(s);
  return outcome;
}

RunOutcome run_one_object(Session& s) {
  RunOutcome outcome;
  if (!s.require_computer(cp1251("операция над объектом"))) {
    s.queue.request_stop();
    outcome.failed = true;
    return outcome;
  }
  if (s.current_object >= s.objects.count() || s.object().path(s.computer).empty()) {
    s.queue.request_stop();
    return outcome;
  }
  s.host.set_running(true);
  while (s.queue.running()) {
    const std::int16_t operation = s.queue.current();
    s.log.line(std::string(76, '_'));
    const std::string failed_path = s.operand_path;
    long result = 0;
    if (operation == op::kFill) {
      s.host.set_title(cp1251("Заполнение списков файлов"));
      result = fill(s);
    } else if (operation == op::kDeleteTree) {
      result = delete_operand_tree(s);
    } else {
      const std::string line = object_line(s, operation);
      s.host.set_title(line);
      s.log.line(line);
      result = run_operation(s, operation);
    }
    if (result < 0) {
      s.log.line(cp1251("Ошибка обработки ") + failed_path);
      outcome.failed = true;
    }
    if (!s.queue.running()) {
      // A fill cut short leaves incomplete lists, which write_lists passes
      // over; they are released here.
      if (!s.lists.complete()) {
        s.lists.release();
      } else if (!write_lists(s.env, s)) {
        outcome.failed = true;
      }
      log_interrupted(s, outcome);
      break;
    }
    if (s.queue.next() == op::kNone) {
      complete_run(s, outcome);
      break;
    }
    s.queue.shift();
  }
  end_run(s);
  s.force = s.rebuild = false;
  return outcome;
}

std::optional<ObjectOperation> parse_object_operation(std::string_view name) {
  if (name == "compare") return ObjectOperation::kCompare;
  if (name == "replace") return ObjectOperation::kReplace;
  if (name == "copy") return ObjectOperation::kCopy;
  if (name == "etalon") return ObjectOperation::kEtalon;
  if (name == "from-carrier") return ObjectOperation::kFromCarrier;
  if (name == "clear") return ObjectOperation::kClear;
  return std::nullopt;
}

bool prepare_object_operation(Session& s, int index, ObjectOperation operation) {
  if (index < 0 || index >= s.objects.count()) return false;
  s.current_object = index;
  const ObjectRecord& record = s.object();
  const std::string id = std::to_string(record.id());
  const std::string carrier_files = object_carrier_folder(s.carrier, record.id()) + "*.*";
  switch (operation) {
    case ObjectOperation::kCompare:
      s.force = true;
      s.queue.set(op::kFill, op::kCompare);
      return true;
    case ObjectOperation::kReplace:
      // The question names the folder; its default answer is Нет.
      if (s.host.ask_to_delete(cp1251("Все файлы объекта будут удалены, вы уверены?\r\n") +
                                   std::string(path_folder(record.path(s.computer))),
                               kProgramName) != Answer::kYes) {
        return false;
      }
      s.log.line(cp1251("Удаление всех файлов объекта ID=") + id + "->");
      s.log.line(record.path(s.computer));
      s.force = true;
      s.rebuild = true;
      s.operand_path = record.path(s.computer);
      s.delete_files = record.allow_nested();
      s.queue.set(op::kDeleteTree, op::kFill, op::kAction1);
      return true;
    case ObjectOperation::kCopy:
      (void)s.fs.delete_file(s.carrier.path(old_list_file(record.id())));
      s.log.line(cp1251("Файл списка объекта ") + id + cp1251(" удален"));
      s.force = true;
      s.operand_path = carrier_files;
      s.delete_files = true;
      s.queue.set(op::kDeleteTree, op::kFill, op::kAction2);
      return true;
    case ObjectOperation::kEtalon:
      s.force = true;
      s.operand_path = carrier_files;
      s.delete_files = true;
      s.queue.set(op::kDeleteTree, op::kFill, op::kEtalon);
      return true;
    case ObjectOperation::kFromCarrier:
      s.force = true;
      s.queue.set(op::kFill, op::kAction1);
      return true;
    case ObjectOperation::kClear:
      (void)s.fs.delete_file(s.carrier.path(list_file(record.id())));
      (void)s.fs.delete_file(s.carrier.path(sum_file(record.id())));
      s.log.line(cp1251("Файл списка объекта ") + id + cp1251(" удален"));
      // The forgotten list must not come back when the run writes the
      // lists it holds.
      s.lists.release();
      s.operand_path = carrier_files;
      s.delete_files = true;
      s.queue.set(op::kDeleteTree);
      return true;
  }
  return false;
}

RunThread::~RunThread() {
  if (thread_.joinable()) thread_.join();
}

bool RunThread::start(Session& s, Kind kind) {
  if (busy_.exchange(true)) {
    s.log.line(cp1251("Выполняется другая операция, новая не запущена"));
    return false;
  }
  if (thread_.joinable()) thread_.join();
  thread_ = std::thread([this, &s, kind] {
    outcome_ = kind == Kind::kAllObjects ? run_all_objects(s) : run_one_object(s);
    busy_ = false;
    if (on_finished_) on_finished_();
  });
  return true;
}

RunOutcome RunThread::wait() {
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

}  // namespace keldar

#include "app/worker.h"

#include "lists/compare.h"
#include "lists/list_file.h"
#include "lists/scan.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr const char* kProgramName = "keldar";

void log_operation_title(Session& s, std::int16_t operation) {
  switch (operation) {
    case op::kCompare:
      s.log.line(cp1251("Сравнение объектов со списками файлов"));
      break;
    case op::kAction2:
      s.log.line(cp1251("Действие 2. Копирование файлов на носитель или создание команд удаления"));
      break;
    case op::kAction1:
      s.log.line(cp1251("Действие 1. Копирование файлов с носителя или их удаление по командам;"));
      s.log.line(cp1251("            удаление скопированных файлов и исполненных команд с носителя"));
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

// Runs one operation on the current object; its result (negative: the
// object's list could not be processed).
long run_operation(Session& s, std::int16_t operation) {
  const std::string line = object_line(s, operation);
  s.log.line(line);
  switch (operation) {
    case op::kCompare:
      s.host.set_title(line);
      return compare_object(s);
    default:
      s.log.line(cp1251("Операция не поддерживается этой версией программы"));
      return -1;
  }
}

}  // namespace

void log_compare_banner(Session& s) {
  std::string line = s.operation_log.timestamp(s.operation_log.banner_time());
  for (int i = 0; i < 23; ++i) line += "=|";
  s.log.line(line + cp1251(" СРАВНИТЬ"));
}

RunOutcome run_all_objects(Session& s) {
  RunOutcome outcome;
  s.force = false;
  if (!s.require_computer(cp1251("сравнение и синхронизация"))) {
    s.queue.request_stop();
    outcome.failed = true;
    return outcome;
  }
  long fill = 0;
  if (!s.lists.held() || s.queue.current() == op::kCompare) fill = fill_all_lists(s);
  if (!s.queue.running()) {
    s.log.line(cp1251("Операция заполнения списков прервана"));
    s.lists.release();
    outcome.interrupted = true;
    return outcome;
  }
  if (fill < 0) {
    s.log.line(cp1251("Ошибка выделения памяти для локальных списков"));
    s.lists.release();
    // The run is over: a later stop request must not be needed to end it.
    s.queue.request_stop();
    outcome.failed = true;
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
      if (s.queue.next() == op::kNone) {
        if (!write_lists(s)) outcome.failed = true;
        s.log.line(std::string(76, '#'));
        s.queue.request_stop();
        break;
      }
      s.queue.shift();
      s.log.line(std::string(76, 'V'));
      s.current_object = 0;
      if (!s.queue.running()) break;
      continue;
    }
    s.log.line(std::string(76, '_'));
    if (!s.list().object_present) {
      s.log.line(cp1251("Объект недоступен: ") + s.object().path(s.computer));
      outcome.unreachable = true;
    } else if (run_operation(s, operation) < 0) {
      s.log.line(cp1251("Ошибка обработки списка ") + s.object().path(s.computer));
      outcome.failed = true;
    }
    if (!s.queue.running()) {
      // Lists that the stop request left incomplete are not written.
      if (!write_lists(s)) outcome.failed = true;
      s.log.line(cp1251("Процесс прерван ") + std::string(60, '#'));
      outcome.interrupted = true;
      break;
    }
    ++s.current_object;
  }
  s.host.set_running(false);
  s.host.set_title(kProgramName);
  return outcome;
}

}  // namespace keldar

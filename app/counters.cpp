#include "app/counters.h"

#include <string>

#include "platform/text.h"

namespace keldar {
namespace {

void log_counters(Log& log, const ChangeCounters& c, const char* deleted, const char* added,
                  const char* changed) {
  const std::pair<const char*, int> lines[] = {
      {deleted, c.deleted}, {added, c.added}, {changed, c.changed}};
  for (const auto& [text, count] : lines) {
    if (count != 0) log.line(cp1251(text) + " " + std::to_string(count));
  }
}

}  // namespace

void log_object_counters(Log& log, const ChangeCounters& c) {
  log_counters(log, c, "Удалено объектов синхронизации:", "Добавлено объектов синхронизации:",
               "Изменено объектов синхронизации:");
}

void log_mask_counters(Log& log, const ChangeCounters& c) {
  log_counters(log, c,
               "Удалено масок файлов:", "Добавлено масок файлов:", "Изменено масок файлов:");
}

}  // namespace keldar

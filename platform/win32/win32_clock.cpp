#include "platform/win32/win32_clock.h"

#include <ctime>
#include <mutex>

namespace keldar {
namespace {

// The runtime reads TZ once, when _tzset runs.
void load_time_zone() {
  static std::once_flag once;
  std::call_once(once, [] { ::_tzset(); });
}

}  // namespace

std::int64_t Win32Clock::now() { return static_cast<std::int64_t>(::_time64(nullptr)); }

LocalTime Win32Clock::to_local(std::int64_t unix_seconds) {
  load_time_zone();
  LocalTime local;
  const __time64_t moment = unix_seconds;
  struct tm fields;
  if (::_localtime64_s(&fields, &moment) != 0) return local;
  local.year = fields.tm_year + 1900;
  local.month = fields.tm_mon + 1;
  local.day = fields.tm_mday;
  local.hour = fields.tm_hour;
  local.minute = fields.tm_min;
  local.second = fields.tm_sec;
  local.is_dst = fields.tm_isdst > 0 ? 1 : (fields.tm_isdst == 0 ? 0 : -1);
  return local;
}

std::int64_t Win32Clock::from_local(const LocalTime& local) {
  load_time_zone();
  struct tm fields = {};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = local.is_dst > 0 ? 1 : (local.is_dst == 0 ? 0 : -1);
  return static_cast<std::int64_t>(::_mktime64(&fields));
}

}  // namespace keldar

#include "platform/fake/fixed_clock.h"

#include <time.h>

namespace keldar {

LocalTime FixedClock::to_local(std::int64_t unix_seconds) {
  tzset();  // localtime_r need not look at TZ again by itself
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm tm {};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return LocalTime{};
#else
  if (localtime_r(&t, &tm) == nullptr) return LocalTime{};
#endif
  LocalTime local;
  local.year = tm.tm_year + 1900;
  local.month = tm.tm_mon + 1;
  local.day = tm.tm_mday;
  local.hour = tm.tm_hour;
  local.minute = tm.tm_min;
  local.second = tm.tm_sec;
  local.is_dst = tm.tm_isdst > 0 ? 1 : 0;
  return local;
}

std::int64_t FixedClock::from_local(const LocalTime& local) {
  tzset();
  struct tm tm {};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = local.is_dst;
  return static_cast<std::int64_t>(mktime(&tm));
}

}  // namespace keldar

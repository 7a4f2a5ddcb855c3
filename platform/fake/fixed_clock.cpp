#include "platform/fake/fixed_clock.h"

#include <time.h>

namespace keldar {
namespace {

// The C library's local time of `t`, TZ read anew.
bool local_fields(time_t t, struct tm& fields) {
#ifdef _WIN32
  _tzset();
  return localtime_s(&fields, &t) == 0;
#else
  tzset();  // localtime_r need not look at TZ again by itself
  return localtime_r(&t, &fields) != nullptr;
#endif
}

}  // namespace

LocalTime FixedClock::to_local(std::int64_t unix_seconds) {
  struct tm tm {};
  if (!local_fields(static_cast<time_t>(unix_seconds), tm)) return LocalTime{};
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
#ifdef _WIN32
  _tzset();
#else
  tzset();
#endif
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

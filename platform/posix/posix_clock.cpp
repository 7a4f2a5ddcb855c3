#include "platform/posix/posix_clock.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/calendar.h"

namespace keldar {
namespace {

// localtime_r need not read TZ itself: make sure it was read once.
void load_time_zone() {
  static std::once_flag once;
  std::call_once(once, [] { ::tzset(); });
}

// The time-zone setting a remembered conversion was made under: TZ as it
// read then, and when. A remembered conversion is used again only while TZ
// reads the same and for at most a second, so a changed TZ counts at once and
// a changed /etc/localtime (which only mktime looks at again) within a second.
class ZoneStamp {
 public:
  void take() {
    const char* tz = std::getenv("TZ");
    set_ = tz != nullptr;
    tz_ = set_ ? tz : "";
    taken_ = std::chrono::steady_clock::now();
    valid_ = true;
  }
  void forget() { valid_ = false; }
  bool current() const {
    if (!valid_ || std::chrono::steady_clock::now() - taken_ > std::chrono::seconds(1)) {
      return false;
    }
    const char* tz = std::getenv("TZ");
    return tz != nullptr ? set_ && tz_ == tz : !set_;
  }

 private:
  bool valid_ = false;
  bool set_ = false;
  std::string tz_;
  std::chrono::steady_clock::time_point taken_;
};

// What the conversions of one thread remember. mktime reads the time zone
// again on every call (with TZ unset, a stat of /etc/localtime), which costs
// more than the conversion itself when a scan converts the time of every
// file. So from_local first tries the moment mktime tries first: the local
// time less the offset of the last moment mktime found. It takes that moment
// when it has the fields asked for and no change of the offset lies within a
// day of it, so that no other moment has those fields; otherwise (a local
// time next to a change, in a gap or twice, fields out of range) mktime
// decides as before. to_local remembers its last answer, as a scan asks for
// the local time of "now" once per file.
struct Remembered {
  ZoneStamp offset_zone;
  long offset = 0;  // seconds east of UTC at the last moment from_local found

  ZoneStamp local_zone;
  std::int64_t local_moment = 0;
  LocalTime local;
};

thread_local Remembered remembered;

LocalTime fields_of(const struct tm& tm) {
  LocalTime local;
  local.year = tm.tm_year + 1900;
  local.month = tm.tm_mon + 1;
  local.day = tm.tm_mday;
  local.hour = tm.tm_hour;
  local.minute = tm.tm_min;
  local.second = tm.tm_sec;
  local.is_dst = tm.tm_isdst > 0 ? 1 : (tm.tm_isdst == 0 ? 0 : -1);
  return local;
}

bool in_range(int value, int low, int high) { return value >= low && value <= high; }

// As mktime's test of a found moment against the daylight flag asked for:
// they differ only when both are known and one is set and the other not.
bool daylight_differs(int asked, int found) {
  return (!asked != !found) && asked >= 0 && found >= 0;
}

bool fields_at(std::int64_t seconds, struct tm& fields) {
  const auto moment = static_cast<time_t>(seconds);
  return static_cast<std::int64_t>(moment) == seconds && ::localtime_r(&moment, &fields) != nullptr;
}

// Whether the offset from UTC a day before and a day after `moment` is
// `offset` too. Then no change of the offset lies within a day of `moment`
// (no zone of the time-zone database changes its offset twice within three
// days), and no other moment has the local fields of `moment`.
bool same_offset_a_day_around(std::int64_t moment, long offset) {
  struct tm fields;
  return fields_at(moment - 86400, fields) && fields.tm_gmtoff == offset &&
         fields_at(moment + 86400, fields) && fields.tm_gmtoff == offset;
}

}  // namespace

std::int64_t SystemClock::now() { return static_cast<std::int64_t>(::time(nullptr)); }

LocalTime SystemClock::to_local(std::int64_t unix_seconds) {
  load_time_zone();
  Remembered& r = remembered;
  if (r.local_moment == unix_seconds && r.local_zone.current()) return r.local;
  LocalTime local;
  auto moment = static_cast<time_t>(unix_seconds);
  struct tm fields;
  if (::localtime_r(&moment, &fields) == nullptr) {
    r.local_zone.forget();
    return local;
  }
  local = fields_of(fields);
  r.local_zone.take();
  r.local_moment = unix_seconds;
  r.local = local;
  return local;
}

std::int64_t SystemClock::from_local(const LocalTime& local) {
  load_time_zone();
  Remembered& r = remembered;
  if (in_range(local.month, 1, 12) && in_range(local.day, 1, 31) && in_range(local.hour, 0, 23) &&
      in_range(local.minute, 0, 59) && in_range(local.second, 0, 59) && r.offset_zone.current()) {
    const std::int64_t guess = civil_seconds(local) - r.offset;
    struct tm found;
    if (fields_at(guess, found) && found.tm_year + 1900 == local.year &&
        found.tm_mon + 1 == local.month && found.tm_mday == local.day &&
        found.tm_hour == local.hour && found.tm_min == local.minute &&
        found.tm_sec == local.second && !daylight_differs(local.is_dst, found.tm_isdst) &&
        same_offset_a_day_around(guess, r.offset)) {
      // The one moment with these fields, which mktime finds at its first try.
      return guess;
    }
  }
  struct tm fields = {};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = local.is_dst > 0 ? 1 : (local.is_dst == 0 ? 0 : -1);
  time_t moment = ::mktime(&fields);
  // mktime has read the time zone again: what was remembered under the old
  // reading is forgotten. Its offset is remembered only when mktime found
  // the fields asked for as they were (not a time in a gap, not fields out
  // of range), as mktime then starts its next search from that offset too.
  r.local_zone.forget();
  r.offset_zone.forget();
  if (moment != static_cast<time_t>(-1) && fields.tm_year + 1900 == local.year &&
      fields.tm_mon + 1 == local.month && fields.tm_mday == local.day &&
      fields.tm_hour == local.hour && fields.tm_min == local.minute &&
      fields.tm_sec == local.second) {
    r.offset = fields.tm_gmtoff;
    r.offset_zone.take();
  }
  return static_cast<std::int64_t>(moment);
}

}  // namespace keldar

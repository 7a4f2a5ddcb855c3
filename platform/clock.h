// The current time and local-time conversion.
#pragma once

#include <cstdint>

namespace keldar {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int is_dst = -1;  // 1 daylight saving time, 0 standard time, -1 unknown
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t now() = 0;
  // The local time of a moment, under the time-zone rules of the process
  // (TZ on Linux).
  virtual LocalTime to_local(std::int64_t unix_seconds) = 0;
  // The moment of a local time, as the C library's mktime: is_dst -1 lets
  // the rules decide. Returns -1 when the time cannot be represented.
  virtual std::int64_t from_local(const LocalTime& local) = 0;
};

}  // namespace keldar

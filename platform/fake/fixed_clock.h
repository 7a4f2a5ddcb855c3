// A clock whose "now" the test sets. Local-time conversions are the C
// library's under the process's TZ, so a test that sets TZ to a rule such as
// "CET-1CEST,M3.5.0,M10.5.0/3" and picks a summer or a winter moment gets
// daylight saving time on or off whatever today's date is.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace keldar {

class FixedClock : public Clock {
 public:
  // 2021-01-01 00:00:00 UTC.
  static constexpr std::int64_t kDefaultNow = 1609459200;

  explicit FixedClock(std::int64_t now = kDefaultNow) : now_(now) {}
  void set_now(std::int64_t unix_seconds) { now_ = unix_seconds; }
  void advance(std::int64_t seconds) { now_ += seconds; }

  std::int64_t now() override { return now_; }
  // TZ is read again on every call, so a test may change it at any time.
  LocalTime to_local(std::int64_t unix_seconds) override;
  std::int64_t from_local(const LocalTime& local) override;

 private:
  std::int64_t now_;
};

}  // namespace keldar

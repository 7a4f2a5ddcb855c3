// The system clock and the C library's local-time rules (TZ).
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace keldar {

class SystemClock : public Clock {
 public:
  std::int64_t now() override;
  LocalTime to_local(std::int64_t unix_seconds) override;
  std::int64_t from_local(const LocalTime& local) override;
};

}  // namespace keldar

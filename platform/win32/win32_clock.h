// The system clock and the C runtime's local-time rules. The runtime takes
// them from TZ when it is set ("CET-1CEST": the offset and the names; the
// daylight dates are the runtime's own), otherwise from the time zone of
// Windows, whose rules for the current year it applies to every year.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace keldar {

class Win32Clock : public Clock {
 public:
  std::int64_t now() override;
  // _localtime64_s: the fields of moments from 1970 to 3000; others give
  // the default fields.
  LocalTime to_local(std::int64_t unix_seconds) override;
  // _mktime64 with the fields as given.
  std::int64_t from_local(const LocalTime& local) override;
};

}  // namespace keldar

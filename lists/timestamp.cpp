#include "lists/timestamp.h"

#include <cstdio>

namespace keldar {

std::string timestamp_text(std::uint32_t value, Clock& clock, bool& daylight_now) {
  if (value == 0) return "---";
  daylight_now = clock.to_local(clock.now()).is_dst > 0;
  LocalTime t = clock.to_local(value & ~(kExactTimeBit | kDaylightBit));
  char text[64];
  std::snprintf(text, sizeof text, "%02i.%02i.%04i %02i:%02i:%02i%c%c", t.day, t.month, t.year,
                t.hour, t.minute, t.second, (value & kExactTimeBit) ? 'n' : ' ',
                (value & kDaylightBit) ? 'd' : ' ');
  return text;
}

std::uint32_t banner_time(Clock& clock, bool daylight) {
  auto now = static_cast<std::uint32_t>(clock.now());
  return (now & ~(kExactTimeBit | kDaylightBit)) | (daylight ? kDaylightBit : 0);
}

}  // namespace keldar

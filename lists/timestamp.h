// Time values and the one display form of a point in time.
//
// A time value is 32-bit seconds since 1970-01-01 UTC with two marker bits:
// bit 31 set = taken on an exact-time (NTFS-like) volume, bit 0 set =
// daylight saving time was in effect. The moment is the value with both bits
// cleared; 0 means no time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace keldar {

inline constexpr std::uint32_t kExactTimeBit = 0x80000000u;
inline constexpr std::uint32_t kDaylightBit = 0x1u;

// The timestamp text of `value`: "DD.MM.YYYY hh:mm:ss" in local time, then
// 'n' or a blank for bit 31 and 'd' or a blank for bit 0 (21 characters), or
// "---" for 0. For a nonzero value `daylight_now` receives whether daylight
// saving time is in effect at the current moment.
std::string timestamp_text(std::uint32_t value, Clock& clock, bool& daylight_now);

// The time value of the current moment for a banner: bits 0 and 31 cleared,
// then bit 0 set when `daylight` is true.
std::uint32_t banner_time(Clock& clock, bool daylight);

}  // namespace keldar

// The time value that the list file stores for each computer, and that
// every stamp is: 32-bit seconds since 1970-01-01 UTC with two marker bits.
// Bit 31 set = taken on an exact-time (NTFS-like) volume, bit 0 set =
// daylight saving time was in effect. 0 means no time. The rules that make
// and compare them are in lists/stamps.h.
#pragma once

#include <cstdint>

namespace keldar {

inline constexpr std::uint32_t kExactTimeBit = 0x80000000u;
inline constexpr std::uint32_t kDaylightBit = 0x1u;
// The hour by which daylight saving time moves local time.
inline constexpr std::uint32_t kDaylightHour = 3600;

// The moment of a time value: the value with both marker bits cleared.
constexpr std::uint32_t moment_of(std::uint32_t value) {
  return value & ~(kExactTimeBit | kDaylightBit);
}

}  // namespace keldar

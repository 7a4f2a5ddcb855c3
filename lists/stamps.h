// Stamps: the rules by which a file's time becomes a time value in a list,
// and by which two time values are ordered. The one home of the marker bits,
// the two-second rounding, the daylight marking, the conversion between
// volume kinds and the display form of a time.
// The time value itself, with its marker bits, is in format/time_value.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/time_value.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace keldar {

// --- taking a stamp ---------------------------------------------------------
// Seconds to add to a UTC time to have the local time, now.
std::int64_t local_offset(Clock& clock);
// Seconds since 1970 of a file time, as the system's first platform derives
// them and as every computer's stamps are made: the time is shifted by the
// current offset of local time from UTC (daylight saving time of now), then
// its calendar fields are read as a local time whose daylight saving time
// the time-zone rules decide. 0 when the time cannot be converted. The
// offset is local_offset(), taken once for many times.
std::uint32_t stamp_seconds(FileTime time, Clock& clock, std::int64_t offset);
std::uint32_t stamp_seconds(FileTime time, Clock& clock);

// stamp_seconds for the many times of one scan, with the offset taken once.
// The clock is asked about each span of four days of local time at its
// first and last second; where both give the same shift, every time of the
// span takes it (no zone changes its offset twice within four days, so
// none changed it in between), and a span with a change is converted time
// by time. The spans of the last 1,024 asked are remembered: ten years of
// file times.
class StampSeconds {
 public:
  explicit StampSeconds(Clock& clock) : clock_(clock), offset_(local_offset(clock)) {}
  std::uint32_t operator()(FileTime time);

 private:
  static constexpr std::int64_t kSpan = 4 * 86400;
  struct Span {
    std::int64_t number = INT64_MIN;  // spans since 1970 in local time
    std::int64_t shift = 0;           // from local time to the stamp
    bool even = false;                // one shift for the whole span
  };
  std::int64_t converted(std::int64_t local);

  Clock& clock_;
  std::int64_t offset_;
  std::array<Span, 1024> spans_{};
};
// The time a file on an exact-time volume is given when its time is not a
// whole two seconds: the nearest whole two seconds, an odd second rounding
// down. Other times are returned as they are.
FileTime two_second_time(FileTime time);
// A stamp of `seconds` from a volume of the given kind as lists keep it: on
// an exact-time volume the daylight hour is taken off and bit 31 set; bit 0
// tells `daylight`. 0 stays 0.
std::uint32_t mark_stamp(std::uint32_t seconds, bool exact_volume, bool daylight);
// The same without touching bit 0 (the carrier folder's own stamp).
std::uint32_t mark_volume_kind(std::uint32_t seconds, bool exact_volume, bool daylight);
// The stamp a scan would take now of the item at `path` on a volume of the
// given kind, marked (read only: nothing is written back); 0 when it does
// not exist. Else the error code of reading its times.
int stamp_now(FileSystem& fs, Clock& clock, std::string_view path, bool exact_volume, bool daylight,
              std::uint32_t& stamp);

// --- comparing stamps --------------------------------------------------------
// The normal value of a stamp: bits 0 and 31 cleared, less 3600 when the
// daylight marker is set on a stamp not from an exact-time volume.
std::int32_t normal_value(std::uint32_t stamp);
// a - b by normal values: positive when a is later.
std::int32_t stamp_difference(std::uint32_t a, std::uint32_t b);
// Whether two stamps of one file on a two-second volume differ in the
// daylight marker only (taken on either side of a change of daylight saving
// time): the same file.
bool differ_in_daylight_only(std::uint32_t a, std::uint32_t b, bool exact_volume);

// --- moving a file between volume kinds ---------------------------------------
// The destination stamp made from the source stamp when a file moves from a
// volume of one kind to one of the other (or the same kind).
std::uint32_t convert_stamp(std::uint32_t source, bool exact_source, bool exact_destination,
                            bool daylight);

// --- display -----------------------------------------------------------------
// The timestamp text of `value`: "DD.MM.YYYY hh:mm:ss" in local time, then
// 'n' or a blank for bit 31 and 'd' or a blank for bit 0 (21 characters), or
// "---" for 0. For a nonzero value `daylight_now` receives whether daylight
// saving time is in effect at the current moment.
std::string timestamp_text(std::uint32_t value, Clock& clock, bool& daylight_now);

// The time value of the current moment for a banner: bits 0 and 31 cleared,
// then bit 0 set when `daylight` is true.
std::uint32_t banner_time(Clock& clock, bool daylight);

}  // namespace keldar

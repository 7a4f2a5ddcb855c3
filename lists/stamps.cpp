#include "lists/stamps.h"

#include <cstdio>

#include "platform/calendar.h"
#include "platform/errors.h"

namespace keldar {

std::int64_t local_offset(Clock& clock) {
  const std::int64_t now = clock.now();
  return civil_seconds(clock.to_local(now)) - now;
}

std::uint32_t stamp_seconds(FileTime time, Clock& clock, std::int64_t offset) {
  if (time < kFileTimeUnixEpoch) return 0;
  auto unix_seconds = static_cast<std::int64_t>((time - kFileTimeUnixEpoch) / kTicksPerSecond);
  LocalTime fields = civil_fields(unix_seconds + offset);
  fields.is_dst = -1;
  const std::int64_t seconds = clock.from_local(fields);
  if (seconds <= 0 || seconds >= static_cast<std::int64_t>(kExactTimeBit)) return 0;
  return static_cast<std::uint32_t>(seconds);
}

std::uint32_t stamp_seconds(FileTime time, Clock& clock) {
  return stamp_seconds(time, clock, local_offset(clock));
}

std::int64_t StampSeconds::converted(std::int64_t local) {
  LocalTime fields = civil_fields(local);
  fields.is_dst = -1;
  return clock_.from_local(fields);
}

std::uint32_t StampSeconds::operator()(FileTime time) {
  if (time < kFileTimeUnixEpoch) return 0;
  const auto local =
      static_cast<std::int64_t>((time - kFileTimeUnixEpoch) / kTicksPerSecond) + offset_;
  const std::int64_t number = local >= 0 ? local / kSpan : (local - kSpan + 1) / kSpan;
  Span& span = spans_[static_cast<std::size_t>(number) % spans_.size()];
  if (span.number != number) {
    const std::int64_t first = number * kSpan;
    const std::int64_t last = first + kSpan - 1;
    span.number = number;
    span.shift = converted(first) - first;
    span.even = converted(last) - last == span.shift;
  }
  const std::int64_t seconds = span.even ? local + span.shift : converted(local);
  if (seconds <= 0 || seconds >= static_cast<std::int64_t>(kExactTimeBit)) return 0;
  return static_cast<std::uint32_t>(seconds);
}

FileTime two_second_time(FileTime time) {
  if (time % kTwoSecondTicks == 0) return time;
  return (time + kTicksPerSecond - 1) / kTwoSecondTicks * kTwoSecondTicks;
}

std::uint32_t mark_volume_kind(std::uint32_t seconds, bool exact_volume, bool daylight) {
  if (!exact_volume) return seconds;
  if (daylight) seconds -= kDaylightHour;
  return seconds | kExactTimeBit;
}

std::uint32_t mark_stamp(std::uint32_t seconds, bool exact_volume, bool daylight) {
  if (seconds == 0) return 0;
  const std::uint32_t stamp = mark_volume_kind(moment_of(seconds), exact_volume, daylight);
  return daylight ? stamp | kDaylightBit : stamp;
}

int stamp_now(FileSystem& fs, Clock& clock, std::string_view path, bool exact_volume, bool daylight,
              std::uint32_t& stamp) {
  stamp = 0;
  FileTimes times;
  const int code = fs.get_times(path, times);
  if (code == err::kFileNotFound || code == err::kPathNotFound) return err::kOk;
  if (code != err::kOk) return code;
  const FileTime time = exact_volume ? two_second_time(times.last_write) : times.last_write;
  stamp = mark_stamp(stamp_seconds(time, clock), exact_volume, daylight);
  return err::kOk;
}

std::int32_t normal_value(std::uint32_t stamp) {
  auto value = static_cast<std::int32_t>(moment_of(stamp));
  if ((stamp & kDaylightBit) != 0 && (stamp & kExactTimeBit) == 0) value -= kDaylightHour;
  return value;
}

std::int32_t stamp_difference(std::uint32_t a, std::uint32_t b) {
  return normal_value(a) - normal_value(b);
}

bool differ_in_daylight_only(std::uint32_t a, std::uint32_t b, bool exact_volume) {
  return !exact_volume && a != 0 && b != 0 && (a ^ b) == kDaylightBit;
}

std::uint32_t convert_stamp(std::uint32_t source, bool exact_source, bool exact_destination,
                            bool daylight) {
  std::uint32_t v = source & ~kExactTimeBit;
  if (exact_source && daylight) v += kDaylightHour;
  return mark_volume_kind(v, exact_destination, daylight);
}

std::string timestamp_text(std::uint32_t value, Clock& clock, bool& daylight_now) {
  if (value == 0) return "---";
  daylight_now = clock.to_local(clock.now()).is_dst > 0;
  LocalTime t = clock.to_local(moment_of(value));
  char text[64];
  std::snprintf(text, sizeof text, "%02i.%02i.%04i %02i:%02i:%02i%c%c", t.day, t.month, t.year,
                t.hour, t.minute, t.second, (value & kExactTimeBit) ? 'n' : ' ',
                (value & kDaylightBit) ? 'd' : ' ');
  return text;
}

std::uint32_t banner_time(Clock& clock, bool daylight) {
  auto now = static_cast<std::uint32_t>(clock.now());
  return moment_of(now) | (daylight ? kDaylightBit : 0);
}

}  // namespace keldar

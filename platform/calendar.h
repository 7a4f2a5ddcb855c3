// The proleptic Gregorian calendar without a time zone: the day number of a
// date and the calendar fields of a count of seconds, both counted from
// 1970-01-01 00:00:00. The clocks and the stamp rule share it.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace keldar {

// Days since 1970-01-01 of a date (month 1..12, day 1..31).
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day);

// The calendar fields of `seconds` since 1970-01-01 00:00:00 (is_dst -1).
LocalTime civil_fields(std::int64_t seconds);

// Seconds since 1970-01-01 00:00:00 of the fields (is_dst not looked at).
std::int64_t civil_seconds(const LocalTime& fields);

}  // namespace keldar

// Comparing an object with its file list: what changed here since this
// computer last synchronised, and what the carrier holds for it. Changes
// nothing; its whole output is log lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "lists/context.h"

namespace keldar {

// The normal value of a stamp: bits 0 and 31 cleared, less 3600 when the
// daylight marker is set on a stamp not from an exact-time volume.
std::int32_t normal_value(std::uint32_t stamp);
// a - b by normal values: positive when a is later.
std::int32_t stamp_difference(std::uint32_t a, std::uint32_t b);

// Logs the marker directly followed by the name.
void log_marked(Log& log, std::string_view marker, std::string_view name);

// Compares the current object with its list (filling all lists first when
// none are held). Returns the number of entries examined.
long compare_object(Context& ctx);

}  // namespace keldar

// The carrier's files by name, and what all of them share: a place for four
// computers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace keldar {

// Every carrier file holds four computers: paths and permissions in an
// object record, list states and list stamps in a list, slots in COMPS.QRV.
inline constexpr int kComputerSlots = 4;

inline constexpr const char* kObjectFileName = "SYNCOBJ.QRV";
inline constexpr const char* kMaskFileName = "MASKS.QRV";
inline constexpr const char* kComputerFileName = "COMPS.QRV";

// The five characters that name an object's list file and carrier folder:
// the id printed with "%05i" (7 -> "00007", 12345 -> "12345", -5 -> "-0005").
std::string list_file_name(std::int16_t object_id);
// The object's list file "NNNNN.QRN".
std::string list_file(std::int16_t object_id);
// The object's list file of the earlier release, "NNNNN.QRV".
std::string old_list_file(std::int16_t object_id);
// The object's sum file "NNNNN.SUM" (format/sum_file.h).
std::string sum_file(std::int16_t object_id);

// Temporary files have one reserved name form, exactly
// "~kld<digits>-<digits>.tmp" (the letters in this case); any other name is
// a user's file. The scan never lists such a name, and runs that write
// remove leftovers of it.
//
// The reserved name with the two numbers in decimal: a number of the
// process that writes (its id) and one it never gives twice.
std::string temporary_name(std::uint64_t process, std::uint64_t number);
bool is_temporary_name(std::string_view name);

}  // namespace keldar

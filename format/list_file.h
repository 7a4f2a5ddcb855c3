// The list file NNNNN.QRN of one object.
//
//   offset 0  magic 0xE5
//   offset 1  list state of computers 0..3, one byte each
//   offset 5  entry records to the end of the file: four list stamps
//             (uint32 each), name length n (uint16, 0..259), entry state
//             (byte), then n name bytes without a terminator
//
// There is no count and no end marker. The earlier release's list NNNNN.QRV
// is the entry records alone, from offset 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/carrier_files.h"

namespace keldar {

inline constexpr std::size_t kListHeaderSize = 5;
// The fixed part of an entry record, before its name.
inline constexpr std::size_t kListRecordSize = 19;
// The longest name a list file can hold.
inline constexpr std::size_t kMaxListName = 259;

using ListStates = std::array<std::uint8_t, kComputerSlots>;

struct ListHeader {
  bool magic = false;           // the file begins with 0xE5
  std::size_t states_read = 0;  // list states the file holds: 4 unless cut in its header
  ListStates states{};          // those read; the others 0
};

// The header of a list file. Without the magic nothing is read.
ListHeader decode_list_header(std::string_view file);

struct ListRecord {
  std::array<std::uint32_t, kComputerSlots> stamps{};
  std::uint8_t state = 0;
  std::string_view name;  // in the decoded bytes
};

// What reading the next entry record found.
enum class ListStep {
  kRecord,     // a whole record
  kEnd,        // fewer than 19 bytes left: the end, or a record cut before its name
  kShortName,  // the name is cut short; the record holds what there is of it
  kLongName,   // a name length of 260 or more
};

// How a name length of 260 or more is read: as the end of the list, or as
// the first 259 name bytes, the rest of the name then being read as the
// next record.
enum class LongNames { kEndTheList, kCutTo259 };

// Reads entry records one after another: the bytes after a list file's
// header, or an earlier release's list whole. A reader of the list takes
// records while next() gives kRecord; anything else is a damaged tail (or
// the end) that ends the list.
class ListRecords {
 public:
  explicit ListRecords(std::string_view records, LongNames long_names = LongNames::kEndTheList)
      : rest_(records), long_names_(long_names) {}
  ListStep next(ListRecord& record);

 private:
  std::string_view rest_;
  LongNames long_names_;
};

void append_list_header(std::string& out, const ListStates& states);
// Appends one entry record; a name longer than 259 bytes is cut to its
// first 259.
void append_list_record(std::string& out, const ListRecord& record);

// Whether a relative name read from a list may be used to build a path: "\"
// (the object folder itself), or components separated by single
// backslashes, none of them empty, "." or "..", none holding a character
// that no file name may hold (control characters, < > : " / | ? *); a
// folder's name ends in a backslash.
bool is_safe_relative_name(std::string_view name);

}  // namespace keldar

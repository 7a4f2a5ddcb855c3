// The sum file NNNNN.SUM of one object, beside its list file NNNNN.QRN: the
// content hash of each copy this program put on the carrier, with what
// identifies that copy. The list file does not change for it: a program
// that does not know the sum file leaves it alone, and a copy whose record
// does not match its list entry is simply not verified.
//
//   offset 0  "KSUM", then the version 1 (5 bytes)
//   offset 5  records to the end of the file: the copy's size (uint64), its
//             carrier stamp (uint32), the entry state written with it
//             (byte), its hash (16 bytes, XXH3-128 in xxHash's canonical
//             form), the name length n (uint16, 1..259), then the n bytes
//             of the relative name as the list holds it
//
// Numbers are little-endian, as in every carrier file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/content_hash.h"

namespace keldar {

inline constexpr std::size_t kSumHeaderSize = 5;
// The fixed part of a record, before its name.
inline constexpr std::size_t kSumRecordSize = 31;

struct SumRecord {
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t carrier_stamp = 0;
  std::uint8_t state = 0;
  ContentHash hash{};
};

// The bytes of a sum file holding `records` in their order. A record whose
// name is empty or longer than 259 bytes is left out.
std::string encode_sum_file(const std::vector<SumRecord>& records);

// The records of a sum file. A file that does not begin with "KSUM" and
// version 1 gives none; a record cut short, or one whose name length is 0
// or above 259, ends the reading (the records before it are kept), and so
// does the record after the first `max_records`.
std::vector<SumRecord> decode_sum_file(std::string_view file, std::size_t max_records = SIZE_MAX);

}  // namespace keldar

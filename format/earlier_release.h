// The earlier release's carrier files and their conversion to the current
// formats.
//
// SYNCOBJ.QRV, little-endian, no magic: count (int16), next object id
// (int16), then count records of 2060 bytes (see OldObjectRecord).
// NNNNN.QRV, the list of one object: the entry records of a list file from
// offset 0, without a header; the list states are in the object record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/object_file.h"
#include "format/table_file.h"

namespace keldar {

//   offset 0     int16     object id
//   offset 2     byte      allow nested
//   offset 3     byte      not used
//   offset 4     4 x 512   path of computer 0..3
//   offset 2052  4 x int16 list state of computer 0..3
class OldObjectRecord : public RawRecord<2060> {
 public:
  std::int16_t id() const { return get_i16(&bytes[0]); }
  std::uint16_t list_state(int computer) const { return get_u16(&bytes[2052 + 2 * computer]); }

  // The current record: the id and the allow-nested byte as they are, both
  // permissions set on every computer, the four path fields byte for byte
  // (whatever follows a terminator too), the reserved byte 0.
  ObjectRecord converted() const;
};

using OldObjectFile = TableFile<OldObjectRecord>;

// The table in a file's bytes: kShortHeader, kNegativeCount or kSizeMismatch
// when they are not one.
OldObjectFile decode_old_object_file(std::string_view data);

// The list file NNNNN.QRN for an old list NNNNN.QRV of `record`: the header
// takes the low bytes of the record's list states, the entries are copied up
// to the first damaged one (cut short, or a name length of 260 or more).
std::string convert_old_list(const OldObjectRecord& record, std::string_view old_list);

}  // namespace keldar

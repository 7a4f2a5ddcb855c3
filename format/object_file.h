// The object table file SYNCOBJ.QRV.
//
// Little-endian: magic 0xE5 (1 byte), count (int16), next object id (int16),
// then count records of 2060 bytes (see ObjectRecord). Nothing follows the
// last record. See doc/file_formats.md.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "format/bytes.h"
#include "format/carrier_files.h"
#include "format/table_file.h"

namespace keldar {

// One sync object: its id, whether subfolders belong to it, and per computer
// its folder and the two permissions.
//
//   offset 0     int16  object id (0 = not yet assigned)
//   offset 2     byte   allow nested
//   offset 3     4 x 1  copy from carrier, computer 0..3
//   offset 7     4 x 1  copy to carrier, computer 0..3
//   offset 11    4 x 512 path of computer 0..3, NUL-terminated, <= 511 bytes
//   offset 2059  byte   reserved, kept as read
class ObjectRecord : public RawRecord<2060> {
 public:
  static constexpr std::size_t kMaxPath = 511;
  static constexpr std::size_t kPathOffset = 11;
  static constexpr std::size_t kPathField = 512;

  // The template of a new object: all zero, both permissions set on every
  // computer.
  static ObjectRecord new_object();

  std::int16_t id() const { return get_i16(&bytes[0]); }
  void set_id(std::int16_t id) { put_i16(&bytes[0], id); }
  bool allow_nested() const { return bytes[2] != 0; }
  void set_allow_nested(bool on) { bytes[2] = on ? 1 : 0; }
  bool copy_from_carrier(int computer) const { return bytes[3 + computer] != 0; }
  void set_copy_from_carrier(int computer, bool on) { bytes[3 + computer] = on ? 1 : 0; }
  bool copy_to_carrier(int computer) const { return bytes[7 + computer] != 0; }
  void set_copy_to_carrier(int computer, bool on) { bytes[7 + computer] = on ? 1 : 0; }

  std::string path(int computer) const;
  // Refuses (false, record unchanged) a path longer than 511 bytes or one
  // holding a NUL byte.
  [[nodiscard]] bool set_path(int computer, std::string_view path);
};

using ObjectFile = TableFile<ObjectRecord>;

// The table in a file's bytes. kNotATable when the first byte is missing or
// is not the magic, then kShortHeader, kNegativeCount, kSizeMismatch.
ObjectFile decode_object_file(std::string_view data);
std::string encode_object_file(std::int16_t next_id, std::span<const ObjectRecord> records);

}  // namespace keldar

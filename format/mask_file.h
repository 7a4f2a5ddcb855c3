// The mask table file MASKS.QRV.
//
// Little-endian: count (int16), then count records of 76 bytes (see
// MaskRecord). No magic; nothing follows the last record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "format/bytes.h"
#include "format/table_file.h"

namespace keldar {

// One file mask.
//
//   offset 0   64 bytes  pattern, NUL-terminated when shorter than 64
//   offset 64  int16     allow copy
//   offset 66  int16     allow delete
//   offset 68  int32     ask before replacing
//   offset 72  int32     ask before deleting
class MaskRecord : public RawRecord<76> {
 public:
  static constexpr std::size_t kMaxPattern = 64;

  std::string pattern() const { return get_text(&bytes[0], kMaxPattern, kMaxPattern); }
  // Refuses (false, record unchanged) a pattern longer than 64 bytes or one
  // holding a NUL byte.
  [[nodiscard]] bool set_pattern(std::string_view pattern);

  bool allow_copy() const { return get_i16(&bytes[64]) != 0; }
  void set_allow_copy(bool on) { put_i16(&bytes[64], on ? 1 : 0); }
  bool allow_delete() const { return get_i16(&bytes[66]) != 0; }
  void set_allow_delete(bool on) { put_i16(&bytes[66], on ? 1 : 0); }
  bool ask_before_replacing() const { return get_i32(&bytes[68]) != 0; }
  void set_ask_before_replacing(bool on) { put_i32(&bytes[68], on ? 1 : 0); }
  bool ask_before_deleting() const { return get_i32(&bytes[72]) != 0; }
  void set_ask_before_deleting(bool on) { put_i32(&bytes[72], on ? 1 : 0); }
};

using MaskFile = TableFile<MaskRecord>;

// The table in a file's bytes: kShortHeader, kNegativeCount or kSizeMismatch
// when they are not one.
MaskFile decode_mask_file(std::string_view data);
std::string encode_mask_file(std::span<const MaskRecord> records);

}  // namespace keldar

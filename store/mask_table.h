// The mask table and its file MASKS.QRV.
//
// File layout, little-endian: count (int16), then count records of 76 bytes
// (see MaskRecord). No magic; nothing follows the last record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "store/bytes.h"
#include "store/table_file.h"

namespace keldar {

inline constexpr const char* kMaskFileName = "MASKS.QRV";

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

class MaskTable {
 public:
  MaskTable();

  // Replaces the table with the contents of `path`. Returns the number of
  // records loaded, or load_result::kCreated, kCannotCreate, kReadError or
  // kDamaged; on a negative result the table is empty. A file that exists
  // but cannot be read, has a negative count or a size other than its count
  // of records gives a negative result and leaves the table damaged().
  std::int16_t load(FileSystem& fs, const std::string& path);

  // Writes the table to `path` atomically; the result code of the write. A
  // damaged() table is never written: 5.
  [[nodiscard]] int save(FileSystem& fs, const std::string& path) const;
  std::string encode() const;

  // The last load found a file that it could not take whole: this run
  // leaves that file as it is.
  bool damaged() const { return damaged_; }

  std::int16_t count() const { return static_cast<std::int16_t>(records_.size() - 1); }
  // Records 0 .. count-1; index count is the template of a new mask.
  MaskRecord& record(int index) { return records_.at(index); }
  const MaskRecord& record(int index) const { return records_.at(index); }
  const std::vector<MaskRecord>& records() const { return records_; }
  // Moves the template to `position` (0..count), shifting later masks up,
  // and puts a fresh template at the end. False when the table is full.
  [[nodiscard]] bool insert_template_at(int position);
  // Removes mask `index` (0..count-1); the later masks and the template move
  // down one place.
  void remove(int index) { records_.erase(records_.begin() + index); }

 private:
  void clear();
  bool damaged_ = false;
  std::vector<MaskRecord> records_;  // count records, then the template
};

std::string mask_load_message(std::int16_t result);

}  // namespace keldar

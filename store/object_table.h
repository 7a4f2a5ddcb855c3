// The object table and its file SYNCOBJ.QRV.
//
// File layout, little-endian: magic 0xE5 (1 byte), count (int16), next object
// id (int16), then count records of 2060 bytes (see ObjectRecord). Nothing
// follows the last record. See doc/file_formats.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "store/bytes.h"
#include "store/table_file.h"

namespace keldar {

inline constexpr int kComputerSlots = 4;
inline constexpr const char* kObjectFileName = "SYNCOBJ.QRV";

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

class ObjectTable {
 public:
  ObjectTable();

  // Replaces the table with the contents of `path`. Returns the number of
  // records loaded, or a load_result code; on a negative result the table is
  // empty (count 0, next id 1). A file that exists but cannot be read, is not
  // an object table, has a negative count or a size other than its count of
  // records gives a negative result and leaves the table damaged().
  std::int16_t load(FileSystem& fs, const std::string& path);

  // Writes the table to `path` atomically. Returns the result code of the
  // write: 0 on success; on failure the old file is intact. A damaged()
  // table is never written: 5.
  [[nodiscard]] int save(FileSystem& fs, const std::string& path) const;

  // The file's bytes for the table as it is.
  std::string encode() const;

  // The last load found a file that it could not take whole: this run
  // leaves that file as it is.
  bool damaged() const { return damaged_; }

  std::int16_t count() const { return static_cast<std::int16_t>(records_.size() - 1); }
  std::int16_t next_id() const { return next_id_; }
  void set_next_id(std::int16_t id) { next_id_ = id; }

  // Records 0 .. count-1; index count is the new-object template.
  ObjectRecord& record(int index) { return records_.at(index); }
  const ObjectRecord& record(int index) const { return records_.at(index); }
  ObjectRecord& new_object() { return records_.back(); }
  // Makes the template the last object and puts a fresh template after it.
  // False when the table already holds the most objects a file can count.
  [[nodiscard]] bool commit_new_object();
  // Removes object `index` (0..count-1); the later objects and the template
  // move down one place.
  void remove(int index) { records_.erase(records_.begin() + index); }

 private:
  void clear();
  bool damaged_ = false;

  std::int16_t next_id_ = 1;
  std::vector<ObjectRecord> records_;  // count records, then the template
};

// The start-up log line for a load result (Windows-1251).
std::string object_load_message(std::int16_t result);

}  // namespace keldar

// The object table, kept in its file SYNCOBJ.QRV (format/object_file.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/object_file.h"
#include "platform/file_system.h"
#include "store/table_file.h"

namespace keldar {

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

// The mask table, kept in its file MASKS.QRV (format/mask_file.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/mask_file.h"
#include "platform/file_system.h"
#include "store/table_file.h"

namespace keldar {

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

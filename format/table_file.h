// What the table files share (SYNCOBJ.QRV, MASKS.QRV and the earlier
// release's SYNCOBJ.QRV): a small header that holds a record count (int16),
// then exactly that many fixed-size records. Nothing follows the last one.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/bytes.h"

namespace keldar {

// What a table file's bytes decode to.
enum class TableStatus {
  kOk,
  kShortHeader,    // the file ends inside its header
  kNotATable,      // the magic byte is missing or wrong (SYNCOBJ.QRV)
  kNegativeCount,  // the count is below 0
  kSizeMismatch,   // the size is not the header and count records: cut
                   // short, or bytes after the last record
};

// A record kept as the bytes it has in the file, so that whatever a newer or
// older program stored in it is written back as it was read.
template <std::size_t N>
struct RawRecord {
  static constexpr std::size_t kSize = N;
  std::array<std::uint8_t, N> bytes{};
};

template <typename Record>
struct TableFile {
  TableStatus status = TableStatus::kOk;
  std::int16_t count = 0;       // as the header holds it (0 when it is cut short)
  std::int16_t next_id = 0;     // the next object id (the object tables only)
  std::vector<Record> records;  // empty unless status is kOk
};

// The records of a table file whose header is `header_size` bytes with the
// count at offset `count_at`. The records are taken only when the file is
// exactly the header and its count of records.
template <typename Record>
TableFile<Record> decode_table(std::string_view data, std::size_t header_size,
                               std::size_t count_at) {
  TableFile<Record> file;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  if (data.size() < header_size) {
    file.status = TableStatus::kShortHeader;
    return file;
  }
  file.count = get_i16(bytes + count_at);
  if (file.count < 0) {
    file.status = TableStatus::kNegativeCount;
  } else if (data.size() != header_size + file.count * Record::kSize) {
    file.status = TableStatus::kSizeMismatch;
  } else {
    file.records.resize(file.count);
    for (std::size_t i = 0; i < file.records.size(); ++i) {
      std::copy_n(bytes + header_size + i * Record::kSize, Record::kSize,
                  file.records[i].bytes.begin());
    }
  }
  return file;
}

template <typename Record>
void append_records(std::string& out, std::span<const Record> records) {
  for (const Record& r : records) {
    out.append(reinterpret_cast<const char*>(r.bytes.data()), Record::kSize);
  }
}

}  // namespace keldar

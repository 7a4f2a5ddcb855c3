// What the object, mask and computer tables share: the load results and the
// fixed-size record type their files are made of.
//
// An object or mask table file that exists is taken whole or not at all: one
// that cannot be read, is not a table, or whose size does not fit its count
// (cut short, or with bytes after its last record) loads as an empty table
// that refuses to be saved, so the file stays as it was found for the rest
// of the run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keldar {

// Results of a table load: a record count (>= 0) or one of these.
namespace load_result {
inline constexpr std::int16_t kCreated = -1;       // absent; created empty
inline constexpr std::int16_t kCannotCreate = -2;  // absent; could not be created
inline constexpr std::int16_t kReadError = -3;     // the header could not be read
inline constexpr std::int16_t kVersionError = -4;  // not an object table (magic)
inline constexpr std::int16_t kDamaged = -5;       // the size does not fit the count
}  // namespace load_result

// A record kept as the bytes it has in the file, so that whatever a newer or
// older program stored in it is written back as it was read.
template <std::size_t N>
struct RawRecord {
  static constexpr std::size_t kSize = N;
  std::array<std::uint8_t, N> bytes{};
};

// Whether `data` is a header of `header_size` bytes followed by exactly
// `count` records of `Record::kSize` bytes.
template <typename Record>
bool fits_count(const std::string& data, std::size_t header_size, std::size_t count) {
  return data.size() == header_size + count * Record::kSize;
}

// The `count` records of `Record::kSize` bytes from data[offset...], which
// must all be there (fits_count).
template <typename Record>
std::vector<Record> read_records(const std::string& data, std::size_t offset, std::size_t count) {
  std::vector<Record> records(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char* src = data.data() + offset + i * Record::kSize;
    std::copy(src, src + Record::kSize, reinterpret_cast<char*>(records[i].bytes.data()));
  }
  return records;
}

template <typename Record>
void append_records(std::string& out, const std::vector<Record>& records, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    out.append(reinterpret_cast<const char*>(records[i].bytes.data()), Record::kSize);
  }
}

}  // namespace keldar

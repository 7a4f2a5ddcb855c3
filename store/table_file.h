// What the object, mask and computer tables share: the load results and the
// fixed-size record type their files are made of.
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
}  // namespace load_result

// A record kept as the bytes it has in the file, so that whatever a newer or
// older program stored in it is written back as it was read.
template <std::size_t N>
struct RawRecord {
  static constexpr std::size_t kSize = N;
  std::array<std::uint8_t, N> bytes{};
};

// Reads whole records of `Record::kSize` bytes from data[offset...]: at most
// `count` of them, fewer when the data ends early.
template <typename Record>
std::vector<Record> read_records(const std::string& data, std::size_t offset, std::size_t count) {
  std::vector<Record> records;
  std::size_t available = data.size() > offset ? (data.size() - offset) / Record::kSize : 0;
  std::size_t n = count < available ? count : available;
  records.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
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

// The computer table file COMPS.QRV: four records of 20 bytes, slot 0
// first, no header.
//
//   offset 0  uint32    computer id, 0 = free slot
//   offset 4  16 bytes  name, NUL-terminated, at most 15 characters
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/carrier_files.h"
#include "format/table_file.h"

namespace keldar {

class ComputerRecord : public RawRecord<20> {
 public:
  static constexpr std::size_t kMaxName = 15;

  std::uint32_t id() const { return get_u32(&bytes[0]); }
  std::string name() const { return get_text(&bytes[4], 16, kMaxName); }
  // Stores the id and the first 15 bytes of the name (up to a NUL).
  void set(std::uint32_t id, std::string_view name);
};

inline constexpr std::size_t kComputerFileSize = kComputerSlots * ComputerRecord::kSize;

struct ComputerFile {
  std::array<ComputerRecord, kComputerSlots> records{};
  bool whole = false;  // the file is exactly 80 bytes
};

// The records a file's bytes hold. A shorter file fills what it holds (a
// record cut short keeps the bytes it has), the rest stays zero; bytes past
// 80 are ignored. Either is not `whole`.
ComputerFile decode_computer_file(std::string_view data);
std::string encode_computer_file(const std::array<ComputerRecord, kComputerSlots>& records);

}  // namespace keldar

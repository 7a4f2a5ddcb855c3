#include "format/computer_file.h"

#include <algorithm>

namespace keldar {

void ComputerRecord::set(std::uint32_t id, std::string_view name) {
  put_u32(&bytes[0], id);
  std::string_view kept = name.substr(0, std::min(name.size(), kMaxName));
  kept = kept.substr(0, kept.find('\0'));
  put_text(&bytes[4], 16, kept);
}

ComputerFile decode_computer_file(std::string_view data) {
  ComputerFile file;
  file.whole = data.size() == kComputerFileSize;
  for (std::size_t slot = 0; slot < file.records.size(); ++slot) {
    const std::size_t at = slot * ComputerRecord::kSize;
    if (at >= data.size()) break;
    const std::size_t n = std::min(ComputerRecord::kSize, data.size() - at);
    std::copy_n(reinterpret_cast<const std::uint8_t*>(data.data()) + at, n,
                file.records[slot].bytes.begin());
  }
  return file;
}

std::string encode_computer_file(const std::array<ComputerRecord, kComputerSlots>& records) {
  std::string out;
  out.reserve(kComputerFileSize);
  append_records(out, std::span<const ComputerRecord>(records));
  return out;
}

}  // namespace keldar

#include "format/mask_file.h"

namespace keldar {
namespace {

constexpr std::size_t kHeaderSize = 2;

}  // namespace

bool MaskRecord::set_pattern(std::string_view pattern) {
  if (pattern.size() > kMaxPattern || pattern.find('\0') != std::string_view::npos) return false;
  put_text(&bytes[0], kMaxPattern, pattern);
  return true;
}

MaskFile decode_mask_file(std::string_view data) {
  return decode_table<MaskRecord>(data, kHeaderSize, 0);
}

std::string encode_mask_file(std::span<const MaskRecord> records) {
  std::string out;
  out.reserve(kHeaderSize + records.size() * MaskRecord::kSize);
  append_u16(out, static_cast<std::uint16_t>(records.size()));
  append_records(out, records);
  return out;
}

}  // namespace keldar

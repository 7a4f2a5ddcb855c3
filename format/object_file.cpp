#include "format/object_file.h"

namespace keldar {
namespace {

constexpr std::uint8_t kMagic = 0xE5;
constexpr std::size_t kHeaderSize = 5;

}  // namespace

ObjectRecord ObjectRecord::new_object() {
  ObjectRecord r;
  for (int k = 0; k < kComputerSlots; ++k) {
    r.set_copy_from_carrier(k, true);
    r.set_copy_to_carrier(k, true);
  }
  return r;
}

std::string ObjectRecord::path(int computer) const {
  return get_text(&bytes[kPathOffset + kPathField * computer], kPathField, kMaxPath);
}

bool ObjectRecord::set_path(int computer, std::string_view path) {
  if (path.size() > kMaxPath || path.find('\0') != std::string_view::npos) return false;
  put_text(&bytes[kPathOffset + kPathField * computer], kPathField, path);
  return true;
}

ObjectFile decode_object_file(std::string_view data) {
  ObjectFile file;
  if (data.empty() || static_cast<std::uint8_t>(data[0]) != kMagic) {
    file.status = TableStatus::kNotATable;
    return file;
  }
  file = decode_table<ObjectRecord>(data, kHeaderSize, 1);
  if (file.status == TableStatus::kOk) {
    file.next_id = get_i16(reinterpret_cast<const std::uint8_t*>(data.data()) + 3);
  }
  return file;
}

std::string encode_object_file(std::int16_t next_id, std::span<const ObjectRecord> records) {
  std::string out;
  out.reserve(kHeaderSize + records.size() * ObjectRecord::kSize);
  out += static_cast<char>(kMagic);
  append_u16(out, static_cast<std::uint16_t>(records.size()));
  append_u16(out, static_cast<std::uint16_t>(next_id));
  append_records(out, records);
  return out;
}

}  // namespace keldar

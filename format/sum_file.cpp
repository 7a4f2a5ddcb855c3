#include "format/sum_file.h"

#include "format/bytes.h"
#include "format/list_file.h"

namespace keldar {
namespace {

constexpr std::string_view kMagic = "KSUM\x01";

void append_u64(std::string& out, std::uint64_t v) {
  append_u32(out, static_cast<std::uint32_t>(v));
  append_u32(out, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t get_u64(const std::uint8_t* p) {
  return get_u32(p) | static_cast<std::uint64_t>(get_u32(p + 4)) << 32;
}

}  // namespace

std::string encode_sum_file(const std::vector<SumRecord>& records) {
  std::string out(kMagic);
  for (const SumRecord& r : records) {
    if (r.name.empty() || r.name.size() > kMaxListName) continue;
    append_u64(out, r.size);
    append_u32(out, r.carrier_stamp);
    out += static_cast<char>(r.state);
    out.append(reinterpret_cast<const char*>(r.hash.data()), r.hash.size());
    append_u16(out, static_cast<std::uint16_t>(r.name.size()));
    out += r.name;
  }
  return out;
}

std::vector<SumRecord> decode_sum_file(std::string_view file, std::size_t max_records) {
  std::vector<SumRecord> records;
  if (file.substr(0, kSumHeaderSize) != kMagic) return records;
  std::size_t at = kSumHeaderSize;
  while (file.size() - at >= kSumRecordSize && records.size() < max_records) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(file.data() + at);
    const std::size_t length = get_u16(p + 29);
    if (length == 0 || length > kMaxListName || file.size() - at - kSumRecordSize < length) break;
    SumRecord& r = records.emplace_back();
    r.size = get_u64(p);
    r.carrier_stamp = get_u32(p + 8);
    r.state = p[12];
    for (std::size_t i = 0; i < r.hash.size(); ++i) r.hash[i] = p[13 + i];
    r.name.assign(file.substr(at + kSumRecordSize, length));
    at += kSumRecordSize + length;
  }
  return records;
}

}  // namespace keldar

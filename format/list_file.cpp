#include "format/list_file.h"

#include <algorithm>

#include "format/bytes.h"

namespace keldar {
namespace {

constexpr std::uint8_t kMagic = 0xE5;

}  // namespace

ListHeader decode_list_header(std::string_view file) {
  ListHeader header;
  header.magic = !file.empty() && static_cast<std::uint8_t>(file[0]) == kMagic;
  if (!header.magic) return header;
  header.states_read = std::min<std::size_t>(kComputerSlots, file.size() - 1);
  for (std::size_t k = 0; k < header.states_read; ++k) {
    header.states[k] = static_cast<std::uint8_t>(file[1 + k]);
  }
  return header;
}

ListStep ListRecords::next(ListRecord& record) {
  if (rest_.size() < kListRecordSize) return ListStep::kEnd;
  const auto* fixed = reinterpret_cast<const std::uint8_t*>(rest_.data());
  std::size_t n = get_u16(fixed + 16);
  if (n > kMaxListName) {
    if (long_names_ == LongNames::kEndTheList) return ListStep::kLongName;
    n = kMaxListName;
  }
  for (int k = 0; k < kComputerSlots; ++k) record.stamps[k] = get_u32(fixed + 4 * k);
  record.state = fixed[18];
  rest_.remove_prefix(kListRecordSize);
  record.name = rest_.substr(0, n);
  rest_.remove_prefix(record.name.size());
  return record.name.size() < n ? ListStep::kShortName : ListStep::kRecord;
}

void append_list_header(std::string& out, const ListStates& states) {
  out += static_cast<char>(kMagic);
  for (auto state : states) out += static_cast<char>(state);
}

void append_list_record(std::string& out, const ListRecord& record) {
  for (auto stamp : record.stamps) append_u32(out, stamp);
  std::string_view name = record.name.substr(0, kMaxListName);
  append_u16(out, static_cast<std::uint16_t>(name.size()));
  out += static_cast<char>(record.state);
  out += name;
}

bool is_safe_relative_name(std::string_view name) {
  if (name == "\\") return true;
  if (name.empty() || name.front() == '\\') return false;
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t end = name.find('\\', start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part) {
      switch (c) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '/':
        case '|':
        case '?':
        case '*':
          return false;
        default:
          if (static_cast<unsigned char>(c) < 0x20) return false;
      }
    }
    start = end + 1;
  }
  return true;
}

}  // namespace keldar

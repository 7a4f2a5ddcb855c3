#include "format/earlier_release.h"

#include <algorithm>

#include "format/list_file.h"

namespace keldar {
namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kOldPathOffset = 4;

}  // namespace

ObjectRecord OldObjectRecord::converted() const {
  ObjectRecord r;
  std::copy_n(bytes.begin(), 3, r.bytes.begin());
  std::fill_n(r.bytes.begin() + 3, 2 * kComputerSlots, 1);
  std::copy_n(bytes.begin() + kOldPathOffset, kComputerSlots * ObjectRecord::kPathField,
              r.bytes.begin() + ObjectRecord::kPathOffset);
  return r;
}

OldObjectFile decode_old_object_file(std::string_view data) {
  OldObjectFile file = decode_table<OldObjectRecord>(data, kHeaderSize, 0);
  if (file.status == TableStatus::kOk) {
    file.next_id = get_i16(reinterpret_cast<const std::uint8_t*>(data.data()) + 2);
  }
  return file;
}

std::string convert_old_list(const OldObjectRecord& record, std::string_view old_list) {
  ListStates states{};
  for (int k = 0; k < kComputerSlots; ++k) {
    states[k] = static_cast<std::uint8_t>(record.list_state(k));
  }
  std::string list;
  append_list_header(list, states);
  ListRecords records(old_list);
  ListRecord entry;
  while (records.next(entry) == ListStep::kRecord) append_list_record(list, entry);
  return list;
}

}  // namespace keldar

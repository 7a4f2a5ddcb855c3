// The earlier release's SYNCOBJ.QRV and NNNNN.QRV, and their conversion.
// The input is an old object record (its first 2060 bytes, zero-padded)
// followed by an old list; the whole input is also read as an old table.
#include <algorithm>

#include "format/earlier_release.h"
#include "format/list_file.h"
#include "fuzz/fuzz_check.h"

using namespace keldar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);

  // The table: taken whole or not at all; a converted table is a current
  // one with the same count and next id.
  const OldObjectFile table = decode_old_object_file(input);
  if (table.status == TableStatus::kOk) {
    FUZZ_CHECK(table.records.size() == static_cast<std::size_t>(table.count));
    std::vector<ObjectRecord> converted;
    for (const OldObjectRecord& r : table.records) converted.push_back(r.converted());
    const ObjectFile current = decode_object_file(encode_object_file(table.next_id, converted));
    FUZZ_CHECK(current.status == TableStatus::kOk && current.count == table.count &&
               current.next_id == table.next_id);
  } else {
    FUZZ_CHECK(table.records.empty());
  }

  OldObjectRecord record;
  const std::size_t head = std::min(size, OldObjectRecord::kSize);
  std::copy_n(data, head, record.bytes.begin());
  const ObjectRecord converted = record.converted();
  FUZZ_CHECK(converted.id() == record.id());
  for (int k = 0; k < kComputerSlots; ++k) {
    FUZZ_CHECK(converted.copy_from_carrier(k) && converted.copy_to_carrier(k));
  }

  // The list: the header holds the low bytes of the states, the entries are
  // the old list's whole records, unchanged, and nothing after them.
  const std::string_view old_list = input.substr(head);
  const std::string list = convert_old_list(record, old_list);
  const ListHeader header = decode_list_header(list);
  FUZZ_CHECK(header.magic && header.states_read == kComputerSlots);
  for (int k = 0; k < kComputerSlots; ++k) {
    FUZZ_CHECK(header.states[k] == (record.list_state(k) & 0xFF));
  }
  const std::string_view entries = std::string_view(list).substr(kListHeaderSize);
  FUZZ_CHECK(old_list.starts_with(entries));
  ListRecords reader(old_list);
  ListRecord entry;
  std::size_t whole = 0;
  while (reader.next(entry) == ListStep::kRecord) whole += kListRecordSize + entry.name.size();
  FUZZ_CHECK(whole == entries.size());
  return 0;
}

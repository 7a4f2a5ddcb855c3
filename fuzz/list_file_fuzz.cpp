// NNNNN.QRN: the record reader and the list's load from the carrier. The
// records read are the file's leading bytes, written again byte for byte;
// the list loaded, written out, reads back whole with no damaged tail.
#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "format/list_file.h"
#include "fuzz/fuzz_check.h"
#include "lists/list_file.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fixed_clock.h"

using namespace keldar;

namespace {

// The whole records at the start of `records`, and how many there are.
std::size_t whole_records(std::string_view records, std::string& encoded) {
  ListRecords reader(records);
  ListRecord record;
  std::size_t n = 0;
  while (reader.next(record) == ListStep::kRecord) {
    FUZZ_CHECK(record.name.size() <= kMaxListName);
    append_list_record(encoded, record);
    ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  const ListHeader header = decode_list_header(input);
  std::size_t records = 0;
  if (header.magic && header.states_read == kComputerSlots) {
    std::string encoded;
    append_list_header(encoded, header.states);
    records = whole_records(input.substr(kListHeaderSize), encoded);
    FUZZ_CHECK(input.starts_with(encoded));
  }

  FakeFileSystem fs;
  fs.add_volume("C:\\");
  fs.write("C:\\CARRIER\\00007.QRN", input);
  FixedClock clock;
  RecordingHost host;
  test::CollectingLog log;
  test::TestContext ctx(fs, clock, host, log);
  ctx.carrier.folder = "C:\\CARRIER\\";
  ctx.computer = 0;
  ObjectRecord& object = ctx.objects.new_object();
  object.set_id(7);
  FUZZ_CHECK(object.set_path(0, "D:\\OBJECT\\*.*") && ctx.objects.commit_new_object());
  FUZZ_CHECK(ctx.lists.create(1));

  bool opened = false;
  const long loaded = load_list_file(ctx.env, ctx.run(), opened);
  const FileList& list = ctx.list();
  FUZZ_CHECK(opened && loaded == static_cast<long>(list.entries.size()));
  FUZZ_CHECK(list.entries.size() <= records);
  FUZZ_CHECK(list.states == (header.magic ? header.states : ListStates{}));

  // What the program writes for the list reads back whole.
  const std::string written = encode_list(list);
  std::string again;
  append_list_header(again, list.states);
  std::size_t kept = 0;
  for (const ListEntry& e : list.entries) kept += e.all_stamps_zero() ? 0 : 1;
  FUZZ_CHECK(whole_records(std::string_view(written).substr(kListHeaderSize), again) == kept);
  FUZZ_CHECK(again == written);
  return 0;
}

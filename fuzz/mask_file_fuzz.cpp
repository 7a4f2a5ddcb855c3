// MASKS.QRV: the decoder and the table's load through a file system. A file
// taken whole is written back byte for byte; one refused leaves the table
// empty and is never overwritten.
#include "fuzz/fuzz_check.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "store/mask_table.h"

using namespace keldar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  const MaskFile file = decode_mask_file(input);
  if (file.status == TableStatus::kOk) {
    FUZZ_CHECK(file.records.size() == static_cast<std::size_t>(file.count));
    FUZZ_CHECK(encode_mask_file(file.records) == input);
    for (const MaskRecord& r : file.records) {
      // What a mask shows is what it stores: a pattern set anew gives the
      // same field.
      MaskRecord again = r;
      FUZZ_CHECK(again.set_pattern(r.pattern()) && again.pattern() == r.pattern());
    }
  } else {
    FUZZ_CHECK(file.status != TableStatus::kNotATable && file.records.empty());
  }

  FakeFileSystem fs;
  fs.add_volume("C:\\");
  const std::string path = "C:\\MASKS.QRV";
  fs.write(path, input);
  MaskTable table;
  const std::int16_t loaded = table.load(fs, path);
  if (file.status == TableStatus::kOk) {
    FUZZ_CHECK(loaded == file.count && !table.damaged());
    FUZZ_CHECK(table.save(fs, path) == err::kOk);
  } else {
    FUZZ_CHECK(loaded == load_result_of(file.status) && table.damaged() && table.count() == 0);
    FUZZ_CHECK(table.save(fs, path) != err::kOk);
  }
  FUZZ_CHECK(fs.contents(path) == input);
  return 0;
}

// dataupgrade in a scratch carrier folder. The input: a table length (two
// bytes, little-endian), the old SYNCOBJ.QRV, then one old list NNNNN.QRV
// put for every object of the table (none when it is empty). The exit
// status follows from the table; a conversion writes exactly the converted
// table and lists, a refusal changes nothing, and no temporary is left.
#include <map>
#include <sstream>

#include "format/carrier_files.h"
#include "format/earlier_release.h"
#include "format/object_file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch.h"
#include "tools/dataupgrade/dataupgrade.h"

using namespace keldar;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::Scratch scratch;
  scratch.empty();
  if (size < 2) return -1;  // not worth keeping in the corpus
  const std::string_view input = fuzz::bytes(data + 2, size - 2);
  const std::string_view table = input.substr(0, data[0] | (data[1] << 8));
  const std::string_view old_list = input.substr(table.size());

  const fs::path folder = scratch.folder();
  fuzz::write_file(folder / kObjectFileName, table);
  const OldObjectFile old = decode_old_object_file(table);
  std::map<std::string, std::string> files;  // what the folder must hold at the end
  if (!old_list.empty()) {
    for (const OldObjectRecord& r : old.records) {
      fuzz::write_file(folder / old_list_file(r.id()), old_list);
      files[old_list_file(r.id())] = old_list;
    }
  }

  std::ostringstream out, err;
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  const int code = dataupgrade::run({}, out, err);
  fs::current_path(before);

  int expected = dataupgrade::exit_code::kOk;
  if (decode_object_file(table).status == TableStatus::kOk) {
    expected = dataupgrade::exit_code::kAlreadyCurrent;
  } else if (old.status == TableStatus::kShortHeader) {
    expected = dataupgrade::exit_code::kHeaderError;
  } else if (old.status != TableStatus::kOk) {
    expected = dataupgrade::exit_code::kSizeMismatch;
  }
  FUZZ_CHECK(code == expected);
  files[kObjectFileName] = table;
  if (code == dataupgrade::exit_code::kOk) {
    std::vector<ObjectRecord> converted;
    for (const OldObjectRecord& r : old.records) {
      converted.push_back(r.converted());
      // A later object with the same id writes its list last.
      if (!old_list.empty()) files[list_file(r.id())] = convert_old_list(r, old_list);
    }
    files[kObjectFileName] = encode_object_file(old.next_id, converted);
  }
  std::size_t held = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    FUZZ_CHECK(files.count(name) == 1);
    FUZZ_CHECK(fuzz::read_file(entry.path()) == files[name]);
    ++held;
  }
  FUZZ_CHECK(held == files.size());
  return 0;
}

// listtext on a damaged list file in a scratch folder: the exit status
// follows from the file's header, a dump is written for every list, and
// what reaches the terminal is valid UTF-8.
#include <sstream>

#include "format/list_file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch.h"
#include "platform/text.h"
#include "tools/listtext/listtext.h"

using namespace keldar;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("TZ", "UTC0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::Scratch scratch;
  scratch.empty();
  const std::string_view input = fuzz::bytes(data, size);
  const auto list = scratch.folder() / "00007.QRN";
  fuzz::write_file(list, input);

  std::ostringstream out, err;
  const int code = listtext::run({list.string()}, out, err);
  const ListHeader header = decode_list_header(input);
  const std::string dump = fuzz::read_file(scratch.folder() / "00007.QRT");
  if (input.empty()) {
    FUZZ_CHECK(code == listtext::exit_code::kOk && dump.empty());
  } else if (!header.magic) {
    FUZZ_CHECK(code == listtext::exit_code::kNotAList);
  } else if (header.states_read < kComputerSlots) {
    FUZZ_CHECK(code == listtext::exit_code::kCannotRead);
  } else {
    FUZZ_CHECK(code == listtext::exit_code::kOk);
    FUZZ_CHECK(dump.starts_with("V|") && dump.ends_with("\r\n"));
  }
  FUZZ_CHECK(from_utf8(out.str()).has_value());
  return 0;
}

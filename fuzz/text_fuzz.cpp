// The name conversions: Windows-1251 <-> UTF-8 and UTF-16 <-> UTF-8 and
// Windows-1251. Every conversion that succeeds is undone by its inverse;
// the lossy ones agree with the exact ones where those succeed; a UTF-8
// stream fed in two pieces decodes as it does whole.
#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"

using namespace keldar;

namespace {

void check_cp1251(std::string_view text) {
  const std::optional<std::string> utf8 = to_utf8(text);
  const std::string lossy = to_utf8_lossy(text);
  FUZZ_CHECK(utf8.has_value() == (text.find('\x98') == std::string_view::npos));
  if (utf8) FUZZ_CHECK(lossy == *utf8 && from_utf8(*utf8) == text);
  std::string shown(text);
  for (char& c : shown) c = c == '\x98' ? '?' : c;
  FUZZ_CHECK(from_utf8(lossy) == shown);

  const std::optional<std::wstring> wide = win32::widen(text);
  FUZZ_CHECK(wide.has_value() == utf8.has_value());
  if (wide) {
    bool carriable = false;
    FUZZ_CHECK(win32::narrow(*wide, carriable) == text && carriable);
  }
  FUZZ_CHECK(equal_ignoring_ascii_case(text, fold_ascii(text)));
}

void check_utf8(std::string_view text, std::size_t cut) {
  const std::optional<std::string> narrow = from_utf8(text);
  const std::string lossy = from_utf8_lossy(text);
  FUZZ_CHECK(lossy.size() <= text.size());
  if (narrow) FUZZ_CHECK(lossy == *narrow && to_utf8(*narrow) == text);

  const std::optional<std::wstring> wide = win32::utf8_to_utf16(text);
  if (wide) FUZZ_CHECK(win32::utf16_to_utf8(*wide) == text);
  if (narrow) FUZZ_CHECK(wide.has_value());

  win32::Utf8Decoder whole, pieces;
  const std::wstring at_once = whole.feed(text);
  FUZZ_CHECK(pieces.feed(text.substr(0, cut)) + pieces.feed(text.substr(cut)) == at_once);
  if (wide) FUZZ_CHECK(at_once == *wide);
}

// The input as UTF-16 code units, two bytes each.
void check_utf16(std::string_view bytes) {
  std::wstring units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  const std::optional<std::string> utf8 = win32::utf16_to_utf8(units);
  if (utf8) FUZZ_CHECK(win32::utf8_to_utf16(*utf8) == units);
  bool carriable = false;
  const std::string narrow = win32::narrow(units, carriable);
  if (carriable) FUZZ_CHECK(win32::widen(narrow) == units);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  check_cp1251(input);
  check_utf8(input, size == 0 ? 0 : data[0] % (size + 1));
  check_utf16(input);
  return 0;
}

// The text conversions at the edge of the Windows layer and of its console.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_paths.h"

namespace keldar::win32 {
namespace {

TEST(Win32Text, ConversionsOfNamesAndPaths) {
  EXPECT_EQ(widen(cp1251("C:\\Папка\\Ёж №1.txt")),
            L"C:\\\x041F\x0430\x043F\x043A\x0430\\\x0401\x0436 \x2116\x0031.txt");
  EXPECT_EQ(widen("\x98"), std::nullopt) << "the byte without a character";
  struct Case {
    std::wstring wide;
    std::string narrow;  // UTF-8 of the Windows-1251 form
    bool carriable;
  };
  const Case cases[] = {
      {L"plain.txt", "plain.txt", true},      {L"\x0424\x0430\x0439\x043B \x20AC", "Файл €", true},
      {L"\x4E2D\x6587.doc", "??.doc", false},  // no such characters in 1251
      {L"a\xD83D\xDE00z", "a?z", false},       // a character beyond 16 bits
      {L"bad\xD800.txt", "bad?.txt", false},   // an unpaired surrogate
  };
  for (const Case& c : cases) {
    bool carriable = !c.carriable;
    EXPECT_EQ(narrow(c.wide, carriable), cp1251(c.narrow)) << c.narrow;
    EXPECT_EQ(carriable, c.carriable) << c.narrow;
  }
  EXPECT_EQ(prefixed(L"C:\\a\\b"), L"\\\\?\\C:\\a\\b");
  EXPECT_EQ(prefixed(L"\\\\server\\share\\a"), L"\\\\?\\UNC\\server\\share\\a");
  EXPECT_EQ(prefixed(L"\\\\?\\C:\\a"), L"\\\\?\\C:\\a");
  EXPECT_EQ(parent_of(L"C:\\a\\b"), L"C:\\a");
  EXPECT_EQ(parent_of(L"C:\\a\\"), L"C:\\");
  EXPECT_EQ(parent_of(L"\\\\?\\C:\\a"), L"\\\\?\\C:\\");
  EXPECT_EQ(without_trailing_separator(L"C:\\a\\\\"), L"C:\\a");
  EXPECT_EQ(without_trailing_separator(L"C:\\"), L"C:\\");

  // Long paths are given whole, with the prefix (Wine takes them without
  // it too, Windows does not), and resolved as the system resolves them.
  std::wstring native;
  ASSERT_EQ(native_path("C:\\a\\..\\b", native), 0);
  EXPECT_EQ(native, L"C:\\a\\..\\b");
  ASSERT_EQ(native_path("C:\\" + std::string(kLongPath, 'x') + "\\..\\y/z", native), 0);
  EXPECT_EQ(native, L"\\\\?\\C:\\y\\z");
  ASSERT_EQ(native_path(std::string(kLongPath, 'x'), native), 0);
  EXPECT_EQ(native.substr(0, 4), L"\\\\?\\") << "relative: the full path";
  EXPECT_EQ(native_path("a\x98", native), err::kInvalidName);
  EXPECT_EQ(native_path("", native), err::kPathNotFound);
}

// What the console shows of UTF-8 written in pieces cut anywhere: the same
// as of the whole text; what is not UTF-8 shows as U+FFFD.
TEST(Win32Text, ConsoleTextCutAnywhereComesOutWhole) {
  const std::string text = "Запуск <+> \xF0\x9F\x98\x80 ok\n";
  const std::wstring whole = utf8_to_utf16(text).value();
  EXPECT_EQ(whole.substr(0, 6), L"\x0417\x0430\x043F\x0443\x0441\x043A");
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    Utf8Decoder decoder;
    std::wstring shown = decoder.feed(text.substr(0, cut));
    shown += decoder.feed(text.substr(cut));
    EXPECT_EQ(shown, whole) << "cut at " << cut;
  }
  Utf8Decoder decoder;
  EXPECT_EQ(decoder.feed("a\xFF"
                         "b\xD0"),
            L"a\xFFFD"
            L"b");                           // the cut sequence waits
  EXPECT_EQ(decoder.feed("x"), L"\xFFFDx");  // and turns out broken
  EXPECT_EQ(utf8_to_utf16("\xC0\x80"), std::nullopt) << "overlong";
  EXPECT_EQ(utf16_to_utf8(L"\xDC00"), std::nullopt);
}

}  // namespace
}  // namespace keldar::win32
#endif

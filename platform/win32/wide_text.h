// UTF-16, the text of the Windows wide functions, and its conversion to and
// from UTF-8 and Windows-1251. Pure functions: no Windows header, so they
// are tested on any platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keldar::win32 {

// UTF-8 -> UTF-16; nullopt when the text is not valid UTF-8.
std::optional<std::wstring> utf8_to_utf16(std::string_view utf8);
// UTF-16 -> UTF-8; nullopt for an unpaired surrogate.
std::optional<std::string> utf16_to_utf8(std::wstring_view utf16);

// Windows-1251 -> UTF-16; nullopt for the byte without a character (0x98).
std::optional<std::wstring> widen(std::string_view cp1251_text);
// UTF-16 -> Windows-1251. `carriable` tells whether every character has a
// byte; where one has not, '?' stands in its place.
std::string narrow(std::wstring_view utf16, bool& carriable);

// Turns a stream of UTF-8 bytes, cut anywhere, into UTF-16: a sequence cut
// at the end of one piece is completed by the next. What is not UTF-8
// becomes U+FFFD, one for each byte that cannot start a sequence.
class Utf8Decoder {
 public:
  std::wstring feed(std::string_view bytes);

 private:
  std::string pending_;  // the start of a sequence cut at the end of a piece
};

}  // namespace keldar::win32

// Windows-1251 text and its conversion to and from UTF-8.
//
// Everything the core stores, compares or logs is Windows-1251 bytes held in
// std::string. Conversion happens only at the edges (file system, terminal,
// window); sources hold Russian texts as UTF-8 and turn them into
// Windows-1251 with cp1251().
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keldar {

// Windows-1251 -> UTF-8. Returns nullopt for the one byte (0x98) that has
// no character in Windows-1251.
std::optional<std::string> to_utf8(std::string_view cp1251_text);

// UTF-8 -> Windows-1251. Returns nullopt when the text is not valid UTF-8 or
// holds a character that Windows-1251 cannot carry.
std::optional<std::string> from_utf8(std::string_view utf8_text);
// The same into `out` (whose room is reused); false, `out` unspecified, when
// the text cannot be converted.
bool from_utf8(std::string_view utf8_text, std::string& out);

// Windows-1251 -> UTF-8 for display: a byte without a character becomes '?'.
std::string to_utf8_lossy(std::string_view cp1251_text);

// UTF-8 -> Windows-1251 for display: what cannot be carried becomes '?'.
std::string from_utf8_lossy(std::string_view utf8_text);

// A text literal written as UTF-8 in the sources, as Windows-1251. The
// literal must be convertible; the program's own texts always are.
std::string cp1251(std::string_view utf8_literal);

// ASCII letters folded to upper case; every other byte as it is. This is the
// one case rule for names.
inline char fold_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string fold_ascii(std::string_view text);
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace keldar

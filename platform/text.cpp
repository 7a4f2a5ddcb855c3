#include "platform/text.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <unordered_map>

namespace keldar {
namespace {

// Code points of bytes 0x80..0xBF; 0 marks the byte without a character.
constexpr std::array<char32_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t code_point(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
  return kHighHalf[byte - 0x80];
}

// Code point -> byte, for the characters above ASCII.
const std::unordered_map<char32_t, char>& reverse_table() {
  static const auto* table = [] {
    auto* t = new std::unordered_map<char32_t, char>;
    for (int b = 0x80; b <= 0xFF; ++b) {
      char32_t cp = code_point(static_cast<unsigned char>(b));
      if (cp != 0) (*t)[cp] = static_cast<char>(b);
    }
    return t;
  }();
  return *table;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Returns nullopt for a
// malformed, overlong or surrogate sequence (i then moves past one byte).
std::optional<char32_t> next_code_point(std::string_view text, std::size_t& i) {
  auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra;
  char32_t cp;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (i + extra > text.size()) return std::nullopt;
  for (int k = 0; k < extra; ++k) {
    auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
    ++i;
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return cp;
}

std::optional<char> to_byte(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));  // А..я
  const auto& table = reverse_table();
  auto it = table.find(cp);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::optional<std::string> to_utf8(std::string_view cp1251_text) {
  std::string out;
  out.reserve(cp1251_text.size() * 2);
  for (char c : cp1251_text) {
    char32_t cp = code_point(static_cast<unsigned char>(c));
    if (cp == 0 && c != 0) return std::nullopt;
    append_utf8(out, cp);
  }
  return out;
}

std::string to_utf8_lossy(std::string_view cp1251_text) {
  std::string out;
  out.reserve(cp1251_text.size() * 2);
  for (char c : cp1251_text) {
    char32_t cp = code_point(static_cast<unsigned char>(c));
    append_utf8(out, (cp == 0 && c != 0) ? U'?' : cp);
  }
  return out;
}

bool from_utf8(std::string_view utf8_text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < utf8_text.size();) {
    auto cp = next_code_point(utf8_text, i);
    if (!cp) return false;
    auto byte = to_byte(*cp);
    if (!byte) return false;
    out += *byte;
  }
  return true;
}

std::optional<std::string> from_utf8(std::string_view utf8_text) {
  std::string out;
  out.reserve(utf8_text.size());
  if (!from_utf8(utf8_text, out)) return std::nullopt;
  return out;
}

std::string from_utf8_lossy(std::string_view utf8_text) {
  std::string out;
  out.reserve(utf8_text.size());
  for (std::size_t i = 0; i < utf8_text.size();) {
    auto cp = next_code_point(utf8_text, i);
    std::optional<char> byte = cp ? to_byte(*cp) : std::nullopt;
    out += byte.value_or('?');
  }
  return out;
}

std::string cp1251(std::string_view utf8_literal) {
  auto converted = from_utf8(utf8_literal);
  if (!converted) throw std::invalid_argument("text cannot be carried in Windows-1251");
  return *converted;
}

std::string fold_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = fold_ascii(c);
  return out;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  }
  return true;
}

}  // namespace keldar

// Byte strings for the format tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace keldar::format_test {

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

inline std::string le16(int v) { return bytes({v & 0xFF, (v >> 8) & 0xFF}); }
inline std::string le32(std::uint32_t v) {
  return le16(static_cast<int>(v & 0xFFFF)) + le16(static_cast<int>(v >> 16));
}

}  // namespace keldar::format_test

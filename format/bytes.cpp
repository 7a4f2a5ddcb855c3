#include "format/bytes.h"

#include <algorithm>
#include <cstring>

namespace keldar {

std::uint16_t get_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get_u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void put_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append_u16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void append_u32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string get_text(const std::uint8_t* field, std::size_t size, std::size_t max_length) {
  std::size_t limit = std::min(size, max_length);
  std::size_t n = 0;
  while (n < limit && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

void put_text(std::uint8_t* field, std::size_t size, std::string_view text) {
  std::size_t n = std::min(size, text.size());
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), n);
}

}  // namespace keldar

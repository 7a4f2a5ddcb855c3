// Little-endian fields and fixed-size texts inside stored records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace keldar {

std::uint16_t get_u16(const std::uint8_t* p);
std::uint32_t get_u32(const std::uint8_t* p);
void put_u16(std::uint8_t* p, std::uint16_t v);
void put_u32(std::uint8_t* p, std::uint32_t v);

inline std::int16_t get_i16(const std::uint8_t* p) { return static_cast<std::int16_t>(get_u16(p)); }
inline std::int32_t get_i32(const std::uint8_t* p) { return static_cast<std::int32_t>(get_u32(p)); }
inline void put_i16(std::uint8_t* p, std::int16_t v) { put_u16(p, static_cast<std::uint16_t>(v)); }
inline void put_i32(std::uint8_t* p, std::int32_t v) { put_u32(p, static_cast<std::uint32_t>(v)); }

// Appends little-endian integers to a byte string.
void append_u16(std::string& out, std::uint16_t v);
void append_u32(std::string& out, std::uint32_t v);

// The text of a field of `size` bytes: up to its first NUL, and never more
// than `max_length` bytes (a damaged field without a terminator is cut there).
std::string get_text(const std::uint8_t* field, std::size_t size, std::size_t max_length);

// Stores `text` in a field of `size` bytes, NUL-padded. The caller makes sure
// the text fits (at most `size` bytes; a text of exactly `size` bytes has no
// terminator).
void put_text(std::uint8_t* field, std::size_t size, std::string_view text);

}  // namespace keldar

// The computer table, file COMPS.QRV: four records of 20 bytes, no header.
//
//   offset 0  uint32    computer id, 0 = free slot
//   offset 4  16 bytes  name, NUL-terminated, at most 15 characters
//
// Slots are taken in order and never freed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/table_file.h"

namespace keldar {

inline constexpr const char* kComputerFileName = "COMPS.QRV";

class ComputerTable {
 public:
  static constexpr int kSlots = 4;
  static constexpr std::size_t kFileSize = 80;
  static constexpr std::size_t kMaxName = 15;

  // Fills the table from a file's bytes; false when they are not exactly 80
  // (a damaged file). A shorter file fills what it holds, the rest stays
  // empty; bytes past 80 are ignored.
  bool decode(std::string_view data);
  std::string encode() const {
    return std::string(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
  }
  void clear() { bytes_.fill(0); }

  std::uint32_t id(int slot) const;
  std::string name(int slot) const;
  // Stores the id and the first 15 bytes of the name (up to a NUL).
  void set(int slot, std::uint32_t id, std::string_view name);

  // The slot that holds `id`, or the first free slot, whichever comes first;
  // -1 when all four hold other ids. `id` must not be 0.
  int find_slot(std::uint32_t id) const;

 private:
  std::array<std::uint8_t, kFileSize> bytes_{};
};

// The candidate ids of a new computer, from the C runtime generator of the
// system's first platform (state = state * 214013 + 2531011 mod 2^32, draw =
// bits 16..30 of the state), seeded with 0 at every start so that every
// computer produces the same sequence.
class CandidateIds {
 public:
  // The next candidate: (first draw << 16) | second draw.
  std::uint32_t next();

 private:
  std::uint32_t draw();
  std::uint32_t state_ = 0;
};

// The first candidate that is nonzero and equals none of the ids in the
// slots before the first free one.
std::uint32_t new_computer_id(const ComputerTable& table);

}  // namespace keldar

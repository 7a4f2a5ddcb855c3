// The computer table, kept in its file COMPS.QRV (format/computer_file.h).
//
// Slots are taken in order and never freed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/computer_file.h"

namespace keldar {

class ComputerTable {
 public:
  static constexpr int kSlots = kComputerSlots;
  static constexpr std::size_t kMaxName = ComputerRecord::kMaxName;

  // Fills the table from a file's bytes; false when they are not exactly 80
  // (a damaged file). A shorter file fills what it holds, the rest stays
  // empty; bytes past 80 are ignored.
  bool decode(std::string_view data);
  std::string encode() const { return encode_computer_file(records_); }
  void clear() { records_ = {}; }

  std::uint32_t id(int slot) const { return records_.at(slot).id(); }
  std::string name(int slot) const { return records_.at(slot).name(); }
  // Stores the id and the first 15 bytes of the name (up to a NUL).
  void set(int slot, std::uint32_t id, std::string_view name) { records_.at(slot).set(id, name); }

  // The slot that holds `id`, or the first free slot, whichever comes first;
  // -1 when all four hold other ids. `id` must not be 0.
  int find_slot(std::uint32_t id) const;

 private:
  std::array<ComputerRecord, kSlots> records_{};
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

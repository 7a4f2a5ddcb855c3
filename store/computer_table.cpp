#include "store/computer_table.h"

namespace keldar {

bool ComputerTable::decode(std::string_view data) {
  ComputerFile file = decode_computer_file(data);
  records_ = file.records;
  return file.whole;
}

int ComputerTable::find_slot(std::uint32_t wanted) const {
  for (int slot = 0; slot < kSlots; ++slot) {
    std::uint32_t held = id(slot);
    if (held == wanted || held == 0) return slot;
  }
  return -1;
}

std::uint32_t CandidateIds::draw() {
  state_ = state_ * 214013u + 2531011u;
  return (state_ >> 16) & 0x7FFF;
}

std::uint32_t CandidateIds::next() {
  std::uint32_t high = draw();
  return (high << 16) | draw();
}

std::uint32_t new_computer_id(const ComputerTable& table) {
  CandidateIds candidates;
  for (;;) {
    std::uint32_t candidate = candidates.next();
    if (candidate == 0) continue;
    bool taken = false;
    for (int slot = 0; slot < ComputerTable::kSlots && table.id(slot) != 0; ++slot) {
      if (table.id(slot) == candidate) taken = true;
    }
    if (!taken) return candidate;
  }
}

}  // namespace keldar

#include "store/computer_table.h"

#include <algorithm>

#include "store/bytes.h"

namespace keldar {
namespace {
constexpr std::size_t kRecordSize = 20;
}

bool ComputerTable::decode(std::string_view data) {
  clear();
  std::size_t n = std::min(data.size(), kFileSize);
  std::copy_n(reinterpret_cast<const std::uint8_t*>(data.data()), n, bytes_.begin());
  return data.size() == kFileSize;
}

std::uint32_t ComputerTable::id(int slot) const { return get_u32(&bytes_[slot * kRecordSize]); }

std::string ComputerTable::name(int slot) const {
  return get_text(&bytes_[slot * kRecordSize + 4], 16, kMaxName);
}

void ComputerTable::set(int slot, std::uint32_t id, std::string_view name) {
  put_u32(&bytes_[slot * kRecordSize], id);
  std::string_view kept = name.substr(0, std::min(name.size(), kMaxName));
  kept = kept.substr(0, kept.find('\0'));
  put_text(&bytes_[slot * kRecordSize + 4], 16, kept);
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

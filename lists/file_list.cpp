#include "lists/file_list.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "lists/stamps.h"
#include "platform/text.h"

namespace keldar {
namespace {

// The bytes at `p` (n <= 8 of them, the rest taken as zero) as one word,
// ASCII letters folded to upper case, all eight at once.
std::uint64_t folded_word(const char* p, std::size_t n) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t w = 0;
  std::memcpy(&w, p, n);
  const std::uint64_t low = w & (0x7F * kOnes);
  const std::uint64_t from_a = low + (0x80 - 'a') * kOnes;      // top bit: at least 'a'
  const std::uint64_t past_z = low + (0x80 - 'z' - 1) * kOnes;  // top bit: after 'z'
  const std::uint64_t lower = from_a & ~past_z & ~w & (0x80 * kOnes);
  return w - (lower >> 2);  // 'a'..'z' less 0x20
}

}  // namespace

std::uint64_t folded_hash(std::string_view name) {
  constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ULL;
  std::uint64_t h = name.size() * kMix;
  for (std::size_t i = 0; i < name.size(); i += 8) {
    h = (h ^ folded_word(name.data() + i, std::min<std::size_t>(8, name.size() - i))) * kMix;
    h ^= h >> 32;
  }
  h *= 0xFF51AFD7ED558CCDULL;
  return h ^ (h >> 33);
}

bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); i += 8) {
    const std::size_t n = std::min<std::size_t>(8, a.size() - i);
    if (folded_word(a.data() + i, n) != folded_word(b.data() + i, n)) return false;
  }
  return true;
}

// Entries are most of a list's memory: 32 bytes each, the name apart.
static_assert(sizeof(ListEntry) == 32);

bool ListEntry::all_stamps_zero() const {
  if (object_stamp != 0 || carrier_stamp != 0) return false;
  for (auto s : list_stamps) {
    if (s != 0) return false;
  }
  return true;
}

namespace {
// Guards the giving out and taking back of block numbers.
std::mutex block_numbers;
}  // namespace

NameStore::NameStore(NameStore&& other) noexcept
    : blocks_(std::move(other.blocks_)), used_(other.used_) {
  other.blocks_.clear();
  other.used_ = 0;
}

NameStore& NameStore::operator=(NameStore&& other) noexcept {
  if (this != &other) {
    clear();
    blocks_ = std::move(other.blocks_);
    used_ = other.used_;
    other.blocks_.clear();
    other.used_ = 0;
  }
  return *this;
}

std::uint32_t NameStore::store(std::string_view name) {
  std::size_t need = name.size() + 1;
  if (need > kBlockSize) return 0;
  if (blocks_.empty() || used_ + need >= kBlockSize) {
    if (blocks_.size() >= kMaxBlocks) return 0;
    try {
      blocks_.reserve(blocks_.size() + 1);
    } catch (const std::bad_alloc&) {
      return 0;
    }
    char* block = new (std::nothrow) char[kBlockSize];
    if (block == nullptr) return 0;
    std::lock_guard lock(block_numbers);
    std::size_t number = 1;
    while (number < kBlockNumbers && blocks_of_all_[number] != nullptr) ++number;
    if (number == kBlockNumbers) {
      delete[] block;
      return 0;
    }
    blocks_of_all_[number] = block;
    blocks_.push_back(static_cast<std::uint16_t>(number));
    used_ = 0;
  }
  char* at = blocks_of_all_[blocks_.back()] + used_;
  std::memcpy(at, name.data(), name.size());
  at[name.size()] = '\0';
  const auto ref = static_cast<std::uint32_t>(blocks_.back()) << 16 | used_;
  used_ += need;
  return static_cast<std::uint32_t>(ref);
}

void NameStore::clear() {
  std::lock_guard lock(block_numbers);
  for (std::uint16_t number : blocks_) {
    delete[] blocks_of_all_[number];
    blocks_of_all_[number] = nullptr;
  }
  blocks_.clear();
  used_ = 0;
}

std::size_t FileList::slot_of(std::string_view name) const {
  std::size_t mask = index_.size() - 1;
  std::size_t slot = folded_hash(name) & mask;
  while (index_[slot] >= 0 && !equal_folded(entries[index_[slot]].name(), name)) {
    slot = (slot + 1) & mask;
  }
  return slot;
}

void FileList::rebuild_index(std::size_t room_for) {
  std::size_t size = 16;
  while (size < room_for * 2) size *= 2;
  index_.assign(size, -1);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::size_t slot = slot_of(entries[i].name());
    // A name already indexed keeps its first entry (the first-match rule).
    if (index_[slot] < 0) index_[slot] = static_cast<std::int32_t>(i);
  }
}

ListEntry* FileList::find(std::string_view name) {
  if (index_.empty()) return nullptr;
  std::int32_t i = index_[slot_of(name)];
  return i < 0 ? nullptr : &entries[i];
}

ListEntry* FileList::add(std::string_view name, NameStore& names) {
  if (name.size() > 0xFFFF) return nullptr;
  try {
    if (entries.size() == entries.capacity())
      entries.reserve(std::max<std::size_t>(1024, entries.size() * 2));
    if (index_.size() < (entries.size() + 1) * 2) rebuild_index(entries.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  const std::uint32_t stored = names.store(name);
  if (stored == 0) return nullptr;
  twins_possible_ = true;
  ListEntry& e = entries.emplace_back();
  e.name_ref = stored;
  e.name_size = static_cast<std::uint16_t>(name.size());
  std::size_t slot = slot_of(name);
  if (index_[slot] < 0) index_[slot] = static_cast<std::int32_t>(entries.size() - 1);
  return &e;
}

ListEntry* FileList::find_or_add(std::string_view name, std::uint32_t object_stamp,
                                 std::uint32_t carrier_stamp, const Marking& m, NameStore& names,
                                 long* position) {
  std::uint32_t object = mark_stamp(object_stamp, exact_object, m.daylight);
  std::uint32_t carrier = mark_stamp(carrier_stamp, m.exact_time_carrier, m.daylight);
  const bool fresh_here = states[m.computer] == 0;
  // The entry after the one found or added last is tried first: a refill
  // meets the items in the order the list has them. Only add() can give a
  // list two entries of one name; without it, an entry of this name is the
  // one the index holds. Else one hash of the name for the look-up and,
  // when it is new, its slot.
  ListEntry* e = nullptr;
  std::size_t slot = 0;
  if (!twins_possible_ && next_ < entries.size() && equal_folded(entries[next_].name(), name)) {
    e = &entries[next_];
  } else if (!index_.empty()) {
    slot = slot_of(name);
    if (index_[slot] >= 0) e = &entries[index_[slot]];
  }
  if (e != nullptr) {
    next_ = static_cast<std::size_t>(e - entries.data()) + 1;
    if (position) *position = static_cast<long>(e - entries.data());
    if (object != 0) {
      std::uint32_t listed = e->list_stamps[m.computer];
      if (differ_in_daylight_only(listed, object, exact_object)) object = listed;
      e->object_stamp = object;
      if (fresh_here) {
        e->list_stamps[m.computer] = object;
        dirty = true;
      }
    }
    if (carrier != 0) e->carrier_stamp = carrier;
    return e;
  }
  if (position) *position = static_cast<long>(entries.size());
  if (name.size() > 0xFFFF) return nullptr;
  try {
    if (entries.size() == entries.capacity()) {
      entries.reserve(std::max<std::size_t>(1024, entries.size() * 2));
    }
    if (index_.size() < (entries.size() + 1) * 2) {
      rebuild_index(entries.size() + 1);
      slot = slot_of(name);
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  const std::uint32_t stored = names.store(name);
  if (stored == 0) return nullptr;
  e = &entries.emplace_back();
  e->name_ref = stored;
  e->name_size = static_cast<std::uint16_t>(name.size());
  index_[slot] = static_cast<std::int32_t>(entries.size() - 1);
  next_ = entries.size();
  e->object_stamp = object;
  if (fresh_here) e->list_stamps[m.computer] = object;
  e->carrier_stamp = carrier;
  return e;
}

bool FileList::reserve(std::size_t count) {
  try {
    entries.reserve(count);
    if (index_.size() < count * 2) rebuild_index(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void FileList::reset() {
  entries = {};
  index_ = {};
  next_ = 0;
  twins_possible_ = false;
  states = {};
  object_present = exact_object = dirty = unreadable = false;
  sums = {};
}

void FileList::shrink_to_fit() {
  try {
    entries.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    // Keeping the larger array is harmless.
  }
}

void FileList::raise_state(int computer, std::uint8_t value) {
  if (states[computer] < value) {
    states[computer] = value;
    dirty = true;
  }
}

bool ListTable::create(std::size_t objects) {
  release();
  try {
    lists_.resize(objects);
  } catch (const std::bad_alloc&) {
    lists_.clear();
    return false;
  }
  held_ = true;
  return true;
}

void ListTable::release() {
  lists_.clear();
  lists_.shrink_to_fit();
  names_.clear();
  held_ = complete_ = false;
}

}  // namespace keldar

// File lists: one per object, shared by all computers through NNNNN.QRN on
// the carrier. An entry holds, for one file or folder of the object (by its
// relative name), what the latest scans found here and on the carrier, the
// stamp each computer last synchronised, and what is in transit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "format/carrier_files.h"
#include "format/list_file.h"
#include "format/sum_file.h"

namespace keldar {

inline constexpr int kComputers = 4;

// Entry states.
namespace entry_state {
inline constexpr std::uint8_t kNone = 0;
// 1..4: a copy put on the carrier by computer number n (index + 1).
inline constexpr std::uint8_t kUnknownOrigin = 5;
inline constexpr std::uint8_t kDelete = 255;
}  // namespace entry_state

// A hash of `name` that ignores the case of ASCII letters, and the equality
// it stands for (equal_ignoring_ascii_case, eight bytes at a time).
std::uint64_t folded_hash(std::string_view name);
bool equal_folded(std::string_view a, std::string_view b);

// Names of all lists, packed into blocks of 64 KiB, released all at once.
// A name is known by a 32-bit reference (its block's number among the
// blocks of every store of the program, and its offset in that block), so
// that an entry holds 4 bytes for it rather than a pointer.
class NameStore {
 public:
  static constexpr std::size_t kBlockSize = 65536;
  static constexpr std::size_t kMaxBlocks = 16384;

  NameStore() = default;
  NameStore(NameStore&& other) noexcept;
  NameStore& operator=(NameStore&& other) noexcept;
  ~NameStore() { clear(); }

  // A stable copy of `name` (NUL-terminated in the store): its reference,
  // never 0; or 0 when the store is full or memory is exhausted.
  std::uint32_t store(std::string_view name);
  // The text a reference stands for; 0 stands for no text.
  static const char* at(std::uint32_t ref) { return blocks_of_all_[ref >> 16] + (ref & 0xFFFF); }
  void clear();
  std::size_t blocks() const { return blocks_.size(); }

 private:
  static constexpr std::size_t kBlockNumbers = 65536;  // number 0 is never given out
  // Every store's blocks by number; null for a free number.
  static inline char* blocks_of_all_[kBlockNumbers] = {};

  std::vector<std::uint16_t> blocks_;  // numbers of this store's blocks
  std::size_t used_ = 0;               // bytes used in the last block
};

struct ListEntry {
  std::uint32_t object_stamp = 0;   // found in the object folder by the latest scan
  std::uint32_t carrier_stamp = 0;  // found in the carrier folder (memory only)
  std::array<std::uint32_t, kComputers> list_stamps{};
  std::uint8_t state = entry_state::kNone;
  // Set for a name read from a list file that must never be used to build a
  // path (".." components, a drive, characters no file name may hold...).
  // Such an entry is kept and written back as it was, and every action
  // passes it over.
  bool unsafe = false;
  std::uint16_t name_size = 0;
  std::uint32_t name_ref = 0;  // in the table's name store

  std::string_view name() const { return {NameStore::at(name_ref), name_size}; }
  bool is_folder() const { return name_size > 0 && NameStore::at(name_ref)[name_size - 1] == '\\'; }
  bool all_stamps_zero() const;
};

// What marking a stamp needs to know about this computer and run.
struct Marking {
  int computer = 0;       // this computer's index, 0..3
  bool daylight = false;  // the daylight flag
  bool exact_time_carrier = false;
};

class FileList {
 public:
  // Finds the entry whose name equals `name` ignoring the case of ASCII
  // letters, or adds one. A zero stamp leaves that field as it is. Marks the
  // stamps, keeps this computer's list stamp as the object stamp where the
  // two differ in the daylight marker only, and sets this computer's list
  // stamp from the object stamp while its list state is 0. Returns nullptr
  // when memory or the name store is exhausted. The pointer is valid until
  // the next entry is added. `position` receives the index of the entry.
  ListEntry* find_or_add(std::string_view name, std::uint32_t object_stamp,
                         std::uint32_t carrier_stamp, const Marking& marking, NameStore& names,
                         long* position = nullptr);
  ListEntry* find(std::string_view name);
  // Adds an entry for `name` without looking for it (the caller knows it is
  // new); nullptr when memory or the name store is exhausted.
  ListEntry* add(std::string_view name, NameStore& names);

  // Makes room for `count` entries in all, so that adding them neither
  // moves the entries nor rebuilds the index; false when memory is
  // exhausted.
  bool reserve(std::size_t count);
  // No entries, all flags clear, list states 0.
  void reset();
  // Frees spare capacity.
  void shrink_to_fit();
  // Raises this computer's list state to `value` (never lowers it).
  void raise_state(int computer, std::uint8_t value);

  std::vector<ListEntry> entries;
  std::array<std::uint8_t, kComputers> states{};
  bool object_present = false;  // the volume of the object folder answered
  bool exact_object = false;    // that volume keeps exact times
  bool dirty = false;
  // The list file exists but could not be read: the list is never written
  // over it, and the object is not worked on.
  bool unreadable = false;
  // The content hashes of the carrier copies (the sum file), by entry name
  // as the list holds it; found by a string_view without a copy.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };
  std::unordered_map<std::string, SumRecord, NameHash, std::equal_to<>> sums;

 private:
  std::size_t slot_of(std::string_view name) const;
  // Makes the index hold `room_for` names at most half full.
  void rebuild_index(std::size_t room_for);

  // Open addressing over entry indexes; -1 = empty slot.
  std::vector<std::int32_t> index_;
  std::size_t next_ = 0;         // the entry after the one find_or_add gave last
  bool twins_possible_ = false;  // add() was used: names may repeat
};

// One list per object of the object table, in table order, and the name
// store of all of them.
class ListTable {
 public:
  bool held() const { return held_; }
  // False while a fill is under way and after a fill that a stop request
  // cut short: such lists hold only part of their files and are never
  // written.
  bool complete() const { return complete_; }
  void set_complete(bool complete) { complete_ = complete; }
  // Creates one empty list per object; false when memory is exhausted.
  bool create(std::size_t objects);
  // Releases every list and the name store.
  void release();
  FileList& list(int object) { return lists_.at(object); }
  NameStore& names() { return names_; }
  std::size_t size() const { return lists_.size(); }

 private:
  bool held_ = false;
  bool complete_ = false;
  std::vector<FileList> lists_;
  NameStore names_;
};

}  // namespace keldar

// Faults on demand over any file system: the fake in memory or the real
// Linux layer on temporary folders. Every call passes through to the file
// system wrapped unless a fault set here stops it first; a stopped call has
// no effect at all.
//
// Faults:
// - the n-th call from now fails once, or every call from it on
//   (set_fail_at), and every call whose path argument holds a text fails
//   (fail_path);
// - a disk fills up: writes below a folder may add only so many bytes more
//   (limit_space); one that does not fit gives 112 and writes nothing;
// - a volume vanishes: every call on a path below a folder gives 21 until
//   it is back (set_volume_gone), as a pulled carrier does;
// - the computer stops before its disks have the latest copies
//   (lose_unflushed): every copy made since the last flush that succeeded is
//   undone, the old file put back or the new one removed, as a disk that
//   never got the copy's contents and rename.
//
// Paths are matched as text: ASCII case ignored, '/' read as '\', so a rule
// set with either separator holds for paths given with either.
//
// Every call of the FileSystem interface (except separator and
// is_drive_root) and of an AppendFile it hands out counts as one call
// (calls()), also when a fault stops it. What the wrapper asks the file
// system below for its own bookkeeping (the size of a file to copy, the
// contents a copy replaces) is not counted and never fails by a fault.
//
// One thread at a time, as the file system below. An AppendFile must not
// outlive its wrapper.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace keldar {

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}
  FaultyFileSystem(const FaultyFileSystem&) = delete;
  FaultyFileSystem& operator=(const FaultyFileSystem&) = delete;

  // --- faults -------------------------------------------------------------
  // n >= 1: the n-th call from now fails with `code`, once or, with
  // `from_then_on`, every call from it on (a computer that stops there).
  // n = 0 cancels.
  void set_fail_at(std::uint64_t n, int code, bool from_then_on = false);
  // Every call whose path argument holds `text` fails with `code`.
  void fail_path(std::string_view text, int code);
  // Cancels set_fail_at and every fail_path.
  void clear_failures();
  std::uint64_t calls() const { return calls_; }

  // From now on the files written below `folder` (write_file, copy_file,
  // an append, a move from elsewhere) may hold `bytes` more; free_space
  // there reports no more than what is left. Room freed by deleting is not
  // given back. A second limit on the same folder replaces the first;
  // std::nullopt lifts it.
  void limit_space(std::string_view folder, std::optional<std::uint64_t> bytes);
  // Every call on a path below `folder` gives 21 while it is gone; so do
  // appends to a file there, and a flush with copies there not yet flushed.
  void set_volume_gone(std::string_view folder, bool gone = true);

  // Undoes every copy made since the last flush that succeeded, latest
  // first: the file a copy replaced is put back with its times, a file it
  // made is removed. Folders are left as they are.
  void lose_unflushed();
  // How many copies flush has yet to wait for.
  std::size_t unflushed() const { return unflushed_.size(); }

  // --- FileSystem ---------------------------------------------------------
  char separator() const override { return inner_.separator(); }
  bool is_drive_root(std::string_view path) const override { return inner_.is_drive_root(path); }
  [[nodiscard]] int search(std::string_view folder, std::string_view pattern,
                           std::vector<DirItem>& items) override;
  [[nodiscard]] int item_kind(std::string_view path, ItemKind& kind) override;
  [[nodiscard]] int item_info(std::string_view path, DirItem& item) override;
  [[nodiscard]] int volume(std::string_view path, VolumeInfo& info) override;
  [[nodiscard]] int free_space(std::string_view path, FreeSpace& space) override;
  [[nodiscard]] int folder_identity(std::string_view path, FolderIdentity& identity) override;
  [[nodiscard]] int get_times(std::string_view path, FileTimes& times) override;
  [[nodiscard]] int set_times(std::string_view path, const FileTimes& times) override;
  [[nodiscard]] int create_folder(std::string_view path) override;
  using FileSystem::copy_file;
  [[nodiscard]] int copy_file(std::string_view from, std::string_view to,
                              CopyObserver* observer) override;
  [[nodiscard]] int flush() override;
  [[nodiscard]] int set_normal_attributes(std::string_view path) override;
  [[nodiscard]] int delete_file(std::string_view path) override;
  [[nodiscard]] int remove_folder(std::string_view path) override;
  [[nodiscard]] int read_file(std::string_view path, std::string& data) override;
  [[nodiscard]] int read_through(std::string_view path, CopyObserver& observer) override;
  [[nodiscard]] int write_file(std::string_view path, std::string_view data) override;
  [[nodiscard]] int open_append(std::string_view path, bool truncate,
                                std::unique_ptr<AppendFile>& file) override;
  [[nodiscard]] int move_file(std::string_view from, std::string_view to) override;

 private:
  class Appender;
  struct Rule {
    std::string text;  // folded, with '\'
    int code = 0;
  };
  struct Budget {
    std::string folder;  // folded, with '\' and a final '\'
    std::uint64_t bytes = 0;
  };
  // A copy since the last flush: what its destination held before.
  struct Copy {
    std::string to;
    bool existed = false;
    std::string data;
    FileTimes times;
  };

  // Counts a call on `paths` and gives the code of the fault that stops
  // it, or 0.
  int enter(std::initializer_list<std::string_view> paths);
  bool gone(std::string_view path) const;
  Budget* budget_of(std::string_view path);
  // 112 when `bytes` more do not fit below `path`; otherwise 0, and
  // `charge` is where to take them from once written (nullptr: no limit).
  int room_for(std::string_view path, std::uint64_t bytes, Budget*& charge);

  FileSystem& inner_;
  std::uint64_t calls_ = 0;
  std::uint64_t fail_countdown_ = 0;
  int fail_code_ = 0;
  bool fail_on_ = false;  // from_then_on
  bool failing_ = false;  // the countdown ran out and every call fails
  std::vector<Rule> path_rules_;
  std::vector<Budget> budgets_;
  std::vector<std::string> gone_;  // folded folders, with '\' and a final '\'
  std::vector<Copy> unflushed_;
};

}  // namespace keldar

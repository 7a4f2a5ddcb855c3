// A file system held in memory. It answers as the Linux layer does (the
// contract suite in tests/platform holds both to the same answers) and adds
// what only memory makes on demand: volumes of any size, kind and serial,
// FAT-like times, a folder left empty by an unmount, links, devices, names
// that differ only in case and names that cannot be carried. Faults (a
// failing call, a full disk, a vanished volume, lost copies) come from
// FaultyFileSystem, which wraps this or any other file system.
//
// Paths are Windows-1251 text in the Windows form. Both '\' and '/' separate
// components, repeated and trailing separators are ignored, and every path
// starts with the root of a volume added by add_volume() ("C:\", or a root
// such as "\" or "/", which are one and the same). A path on no volume gives
// 3. A component "." or "..", or one holding a character that Windows does
// not allow in names (<>:"|?* and control characters), gives 123.
//
// Lookups ignore the case of ASCII letters; when a folder holds two names
// that differ only in case (add_case_twin), the first one wins. New entries
// keep the spelling given. Entries are kept, and searched, in the order in
// which they were created.
//
// Error codes are those of platform/file_system.h: a missing item 2, a
// missing folder on the way 3, access denied 5 (a folder read or written as
// a file, a link or device read or written, a read-only file appended to,
// an entry created in or deleted from a read-only folder), disk full 112,
// remove_folder on a non-empty folder 145, search, remove_folder and
// folder_identity on an item that is not a folder 267, create_folder on an
// existing item 183. A read-only folder stands for one this user may not
// write; a read-only file is replaced and deleted like any other.
//
// Times. Items written or created by the interface get now() (set_now) as
// all three times. copy_file gives the copy the source's last-write time.
// Adding, removing or renaming an entry sets the folder's last-write time to
// now(), as NTFS and Linux file systems do; reading never changes a time. On
// a volume without exact times every time stored is rounded up to a
// multiple of two seconds (creation and last access too).
//
// Space. A volume holds capacity / cluster_size clusters; a file takes its
// size rounded up to whole clusters, a folder none. write_file and copy_file
// go through a temporary beside the destination, so the new contents need
// room of their own while the old file still exists; a call that does not
// fit gives 112 and changes nothing. The fake never leaves a temporary: a
// failed write or copy leaves the destination exactly as it was.
//
// The helpers below the interface (write, contents, exists, ...) are for
// setting up and checking tests: they report misuse (a path on no volume, a
// missing item) by throwing std::invalid_argument.
//
// One thread at a time. An AppendFile must not outlive its fake.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace keldar {

class FakeFileSystem : public FileSystem {
 public:
  // 2021-01-01 00:00:00 UTC.
  static constexpr FileTime kDefaultNow = 132539328000000000ULL;

  FakeFileSystem();
  ~FakeFileSystem() override;
  FakeFileSystem(const FakeFileSystem&) = delete;
  FakeFileSystem& operator=(const FakeFileSystem&) = delete;

  // --- FileSystem ---------------------------------------------------------
  char separator() const override { return '\\'; }
  // "X:\" only: three characters, a letter, a colon and a backslash.
  bool is_drive_root(std::string_view path) const override;
  // Replaces the contents of `items`.
  [[nodiscard]] int search(std::string_view folder, std::string_view pattern,
                           std::vector<DirItem>& items) override;
  [[nodiscard]] int item_kind(std::string_view path, ItemKind& kind) override;
  [[nodiscard]] int item_info(std::string_view path, DirItem& item) override;
  // Any existing item on a volume may be asked; a missing one gives 3.
  [[nodiscard]] int volume(std::string_view path, VolumeInfo& info) override;
  [[nodiscard]] int free_space(std::string_view path, FreeSpace& space) override;
  // Every item has an identity of its own, never given again.
  [[nodiscard]] int folder_identity(std::string_view path, FolderIdentity& identity) override;
  [[nodiscard]] int get_times(std::string_view path, FileTimes& times) override;
  [[nodiscard]] int set_times(std::string_view path, const FileTimes& times) override;
  [[nodiscard]] int create_folder(std::string_view path) override;
  // The copy is read-only when the source is and the destination volume has
  // exact times (FAT-like volumes on Linux do not keep permission bits).
  using FileSystem::copy_file;
  [[nodiscard]] int copy_file(std::string_view from, std::string_view to,
                              CopyObserver* observer) override;
  // Memory holds every copy at once: 0.
  [[nodiscard]] int flush() override;
  [[nodiscard]] int set_normal_attributes(std::string_view path) override;
  [[nodiscard]] int delete_file(std::string_view path) override;
  [[nodiscard]] int remove_folder(std::string_view path) override;
  [[nodiscard]] int read_file(std::string_view path, std::string& data) override;
  [[nodiscard]] int read_through(std::string_view path, CopyObserver& observer) override;
  [[nodiscard]] int write_file(std::string_view path, std::string_view data) override;
  // Each append reaches the file at once (last-write time now()); an append
  // that does not fit gives 112 and appends nothing. close() reports the
  // first error of the appends before it, or its own. An append after the
  // file was removed gives 2.
  [[nodiscard]] int open_append(std::string_view path, bool truncate,
                                std::unique_ptr<AppendFile>& file) override;
  // Files only; anything else gives 5. Within a volume a rename that needs no
  // room; across volumes the destination needs room for the file. `from`
  // and `to` naming one file is a success that changes nothing. A link at
  // `to` is replaced, as a rename replaces it.
  [[nodiscard]] int move_file(std::string_view from, std::string_view to) override;

  // --- volumes ------------------------------------------------------------
  // `root` is "X:\" or a root such as "\" or "/"; a separator is added when
  // missing. The root folder gets now() as its times.
  void add_volume(std::string_view root, bool exact_times = true, std::uint32_t serial = 0x1234ABCD,
                  std::uint64_t capacity_bytes = 1ULL << 30, std::uint32_t cluster_size = 4096);
  void set_capacity(std::string_view root, std::uint64_t capacity_bytes);
  // A volume that does not tell its size: free_space reports 0 total and 0
  // free clusters, while files still take room until its capacity is used
  // up (112).
  void set_size_unknown(std::string_view root, bool unknown = true);
  // A lazy unmount of what is mounted on the folder `path`: the folder,
  // with everything in it, is set aside, and an empty folder with another
  // identity takes its place, as the mount point left behind.
  // remount_folder puts the folder back, dropping what the stand-in got.
  void unmount_folder(std::string_view path);
  void remount_folder(std::string_view path);

  // --- time ---------------------------------------------------------------
  void set_now(FileTime now) { now_ = now; }
  FileTime now() const { return now_; }
  // t rounded up to a multiple of two seconds (FAT's last-write rule).
  static FileTime round_up_two_seconds(FileTime t);

  // Windows' rule for names in a directory search: ASCII case ignored, '*'
  // any run of characters, '?' exactly one, and a pattern ending in ".*"
  // also matches without that ending ("*.*" matches every name, "name.*"
  // matches "name").
  static bool name_matches(std::string_view pattern, std::string_view name);

  // --- test helpers -------------------------------------------------------
  // Creates or replaces a file, creating missing folders on the way;
  // last_write 0 means now(). Times are rounded as the volume keeps them.
  // Neither the file nor its folders become read-only, and no folder's
  // times change.
  void write(std::string_view path, std::string_view contents, FileTime last_write = 0);
  // Creates the folder and any missing folders on the way.
  void make_folders(std::string_view path);
  // Adds a link, device or file (kind) at `path`, missing folders created.
  // With carriable false the name is one that cannot be carried: its last
  // component may hold '?' (the display form), search reports it with
  // carriable false, and interface calls do not find it by that name.
  // Links and devices cannot be read (5).
  void add_item(std::string_view path, ItemKind kind, bool carriable = true);
  // Adds a file whose name differs from an existing entry of the same folder
  // only in the case of ASCII letters, as a case-sensitive disk can hold.
  // Lookups still find the older entry.
  void add_case_twin(std::string_view path, std::string_view contents);
  // Removes the item at `path` with everything in it.
  void remove_tree(std::string_view path);
  void set_read_only(std::string_view path, bool read_only = true);
  bool read_only(std::string_view path) const;
  // Sets the times exactly as given (0 = left as it is), with no rounding:
  // for a disk that holds what it should not.
  void set_raw_times(std::string_view path, const FileTimes& times);

  std::optional<std::string> contents(std::string_view path) const;
  bool exists(std::string_view path) const;
  FileTimes times(std::string_view path) const;
  // The full path of every item of every volume, folders before their
  // members, in creation order, in the stored spelling with '\'.
  std::vector<std::string> all_paths() const;
  std::uint64_t free_bytes(std::string_view root) const;

 private:
  struct Node;
  struct Volume;
  struct Place;
  class Appender;

  int parse(std::string_view path, bool for_helper, Volume*& volume,
            std::vector<std::string>& parts) const;
  int locate(std::string_view path, Place& place);
  Place locate_for_helper(std::string_view path);
  Node* find_for_helper(std::string_view path) const;
  FileTime stored(const Volume& volume, FileTime t) const;
  Node& add_child(Volume& volume, Node& folder, std::string name, ItemKind kind, bool touch_folder);
  void remove_child(Volume& volume, Node& folder, Node& child, bool touch_folder);
  void set_data(Volume& volume, Node& file, std::string data);
  std::uint64_t clusters(const Volume& volume, std::uint64_t bytes) const;
  std::uint64_t free_clusters(const Volume& volume) const;
  int append_to(const std::string& path, std::string_view bytes);

  void swap_folder(std::string_view path, std::unique_ptr<Node>& other);
  std::uint64_t tree_clusters(const Volume& volume, const Node& node) const;

  std::vector<std::unique_ptr<Volume>> volumes_;
  std::uint64_t last_id_ = 0;
  std::unordered_map<std::string, std::unique_ptr<Node>> unmounted_;  // folded path -> folder
  FileTime now_ = kDefaultNow;
};

}  // namespace keldar

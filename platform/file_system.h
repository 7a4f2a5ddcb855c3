// The file system as the core sees it.
//
// Paths are Windows-1251 text. On Windows they are the system's own paths. On
// Linux a path is the computer's own absolute path; a backslash in it stands
// for '/', so the core may append relative names with backslashes (the stored
// form) to any folder path. Existing path components are matched whatever the
// case of their ASCII letters (the first such entry wins); only a component
// that does not exist yet is created in the spelling given. Windows applies
// its own rule, which folds every letter (Cyrillic too).
//
// Every operation returns a result code (platform/errors.h): 0 for success,
// otherwise a Windows error number. Implementations are safe to call from one
// thread at a time; the core never calls them from two threads at once.
//
// The temporary files that copy_file and write_file make beside their
// destination have the reserved name form (temporary_name and
// is_temporary_name, format/carrier_files.h).
//
// Rules every implementation keeps (tests/platform/file_system_contract_test
// asks each of them the same cases):
// - An operation on a missing item gives 2 when its folder exists and 3
//   when a folder on the way is missing or is a file.
// - A symbolic link as the last component is never followed: it is not
//   read, copied from, written, appended to or copied over (5, and the link
//   and what it points to stay as they are); move_file replaces the link
//   itself, delete_file removes the link, set_times sets the link's own
//   times. A device, socket or FIFO is treated the same way. On Windows a
//   link is a reparse point that stands for another item (a symbolic link,
//   a junction).
// - A read-only file is read, copied, replaced (write_file, copy_file,
//   move_file) and deleted like any other file; only appending to it, which
//   writes into the file itself, gives 5. set_normal_attributes makes it
//   writable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "format/carrier_files.h"

namespace keldar {

// File times: 100-nanosecond units since 1601-01-01 UTC. 0 = no time.
using FileTime = std::uint64_t;
inline constexpr FileTime kFileTimeUnixEpoch = 116444736000000000ULL;
inline constexpr FileTime kTicksPerSecond = 10000000ULL;
// FAT-like volumes keep last-write times in whole two seconds.
inline constexpr FileTime kTwoSecondTicks = 2 * kTicksPerSecond;

enum class ItemKind {
  kFile,
  kFolder,
  kLink,   // a symbolic link; never followed
  kOther,  // device, socket, FIFO
};

struct DirItem {
  ItemKind kind = ItemKind::kFile;
  // The name as Windows-1251. When the name cannot be carried (not valid
  // UTF-8, a character outside Windows-1251, a backslash in a Linux name)
  // `carriable` is false and `name` is a display form with '?' in place of
  // what could not be converted.
  std::string name;
  bool carriable = true;
  std::uint64_t size = 0;
  FileTime last_write = 0;
};

struct FileTimes {
  FileTime creation = 0;
  FileTime last_access = 0;
  FileTime last_write = 0;
};

struct VolumeInfo {
  // true: the volume keeps exact UTC file times (NTFS, ReFS, ext4, xfs,
  // btrfs, tmpfs ...); false: FAT-like, two-second local times (FAT, FAT32,
  // exFAT, vfat, msdos and their FUSE mounts).
  bool exact_times = false;
  std::uint32_t serial = 0;
  // The system's own name on Windows ("NTFS", "FAT32" ...); elsewhere
  // "NTFS" for exact-time volumes, "FAT" otherwise.
  std::string fs_name;
};

struct FreeSpace {
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t bytes_per_sector = 0;
  std::uint64_t free_clusters = 0;
  // 0 for a volume that does not tell its size (some FUSE volumes report
  // no blocks at all): its free space is unknown then, whatever
  // free_clusters says.
  std::uint64_t total_clusters = 0;
};

// What tells one folder from every other: two paths lead to the same folder
// when their identities are equal. A folder removed and made again, or the
// folder left behind when a volume mounted over it goes away, has another.
struct FolderIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderIdentity&) const = default;
};

// A file opened for appending. Lines appended are buffered; close() makes
// sure they reach the file and reports the first error met.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  [[nodiscard]] virtual int append(std::string_view bytes) = 0;
  [[nodiscard]] virtual int close() = 0;
};

// Takes the items of a folder one at a time (FileSystem::list_folder).
class ItemVisitor {
 public:
  // `item` is valid during the call only. False stops the listing.
  virtual bool visit(const DirItem& item) = 0;

 protected:
  ~ItemVisitor() = default;
};

// Looks at a copy as copy_file makes it: every block of the source in order
// as it is written, then, before the copy takes the destination's place,
// whether it is to be kept. read_through shows it a file's blocks alone.
class CopyObserver {
 public:
  virtual void data(const void* bytes, std::size_t size) = 0;
  virtual bool accept() = 0;

 protected:
  ~CopyObserver() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // --- path form ---------------------------------------------------------
  // The separator this platform shows in paths: '\\' on Windows, '/' on Linux.
  virtual char separator() const = 0;
  // Whether `path` names a drive root, which already ends in a separator
  // ("C:\" on Windows, "/" on Linux).
  virtual bool is_drive_root(std::string_view path) const = 0;

  // --- directory search ---------------------------------------------------
  // Items of `folder` whose names match `pattern` by the Windows rules (ASCII
  // case ignored, "*" and "*.*" match every name, '?' one character, a
  // pattern ending in ".*" also matches the name without it; Windows itself
  // folds every letter). "." and ".." are not reported; the order is the platform's. A folder
  // without matches gives 0 and no items; a folder that does not exist gives 3, an item that is not
  // a folder 267.
  [[nodiscard]] virtual int search(std::string_view folder, std::string_view pattern,
                                   std::vector<DirItem>& items) = 0;
  // The items search() gives, in its order, shown to `visitor` one at a
  // time rather than held all at once; a listing the visitor stops gives 0.
  // The visitor may list other folders meanwhile. An error met part way
  // (a folder unreadable from some item on) comes after the items before it.
  [[nodiscard]] virtual int list_folder(std::string_view folder, std::string_view pattern,
                                        ItemVisitor& visitor) {
    std::vector<DirItem> items;
    if (int code = search(folder, pattern, items)) return code;
    for (const DirItem& item : items) {
      if (!visitor.visit(item)) break;
    }
    return 0;
  }
  // Kind of the item at `path` (links are not followed); 2 or 3 when absent.
  [[nodiscard]] virtual int item_kind(std::string_view path, ItemKind& kind) = 0;
  // Kind, size and last-write time of the item at `path`, as a search of its
  // folder reports them (the name is left as it is); 2 or 3 when absent.
  [[nodiscard]] virtual int item_info(std::string_view path, DirItem& item) = 0;

  // --- volumes ------------------------------------------------------------
  // The volume that holds the existing item `path` (any item on it, not only
  // its root); 3 when `path` does not exist, as no volume can be told for
  // it (a volume not mounted yet leaves an empty or missing folder).
  [[nodiscard]] virtual int volume(std::string_view path, VolumeInfo& info) = 0;
  // Free space on the volume of the existing item `path`, in clusters of
  // sectors; 3 when `path` does not exist.
  [[nodiscard]] virtual int free_space(std::string_view path, FreeSpace& space) = 0;
  // The identity of the folder at `path` (a trailing separator is allowed;
  // a link is not followed, so a link there is no folder). 2 or 3 when
  // absent, 267 when the item is not a folder, 21 when its volume has
  // vanished.
  [[nodiscard]] virtual int folder_identity(std::string_view path, FolderIdentity& identity) = 0;

  // --- times --------------------------------------------------------------
  // The three times of a file or folder. A time of 0 given to set_times is
  // left as it is. A platform that cannot set creation times ignores it.
  [[nodiscard]] virtual int get_times(std::string_view path, FileTimes& times) = 0;
  [[nodiscard]] virtual int set_times(std::string_view path, const FileTimes& times) = 0;

  // --- items --------------------------------------------------------------
  // One folder level; 183 when an item of that name exists, 3 when its
  // parent does not.
  [[nodiscard]] virtual int create_folder(std::string_view path) = 0;
  // Copies contents and last-write time (and, where the destination volume
  // holds them, permission bits) through a temporary name beside `to` that is
  // renamed over `to` at the end: a failed copy leaves `to` as it was and no
  // temporary. `to` must be missing or a file (else 5); `from` a file (else
  // 5). The copy is not waited for on the disk: flush() does that for all
  // copies at once.
  [[nodiscard]] int copy_file(std::string_view from, std::string_view to) {
    return copy_file(from, to, nullptr);
  }
  // The same, showing the source's bytes to `observer` (when given) as they
  // are written, and asking it before the rename: a copy it refuses is
  // removed, `to` stays as it was, and the result is kCrc (23).
  [[nodiscard]] virtual int copy_file(std::string_view from, std::string_view to,
                                      CopyObserver* observer) = 0;
  // Waits until every file that copy_file wrote since the last flush is on
  // its disk, names included. 0, or the error of a volume that could not
  // write it all (its copies may then be damaged); 21 for a volume that has
  // vanished since.
  [[nodiscard]] virtual int flush() = 0;
  // Makes a read-only file writable so that it can be replaced or deleted.
  [[nodiscard]] virtual int set_normal_attributes(std::string_view path) = 0;
  [[nodiscard]] virtual int delete_file(std::string_view path) = 0;
  // Removes an empty folder; 145 when it is not empty, 267 when the item is
  // not a folder.
  [[nodiscard]] virtual int remove_folder(std::string_view path) = 0;

  // --- whole files --------------------------------------------------------
  // Reads the whole file. 2 or 3 when it does not exist, 5 when it is not a
  // file.
  [[nodiscard]] virtual int read_file(std::string_view path, std::string& data) = 0;
  // Reads the file from start to end, a block at a time, showing each block
  // to `observer` (whose accept() is not asked); errors as for read_file.
  [[nodiscard]] virtual int read_through(std::string_view path, CopyObserver& observer) = 0;
  // Writes `data` to a temporary file beside `path`, flushes it and renames
  // it over `path`. A failure leaves the old file intact and no temporary.
  // `path` must be missing or a file (else 5).
  [[nodiscard]] virtual int write_file(std::string_view path, std::string_view data) = 0;
  // Opens `path` for appending (creating it when missing); `truncate` empties
  // it first. Anything but a file that may be written gives 5: a folder, a
  // read-only file, a symbolic link (never followed).
  [[nodiscard]] virtual int open_append(std::string_view path, bool truncate,
                                        std::unique_ptr<AppendFile>& file) = 0;
  // Moves `from` over `to`, also from one volume to another. `to` is
  // replaced at once or not at all; `from` is removed only after that. A
  // symbolic link at `to` is replaced, never written through.
  [[nodiscard]] virtual int move_file(std::string_view from, std::string_view to) = 0;

 protected:
  // search() for a file system whose own listing is list_folder(): every
  // item collected, none when the listing fails part way.
  int search_by_listing(std::string_view folder, std::string_view pattern,
                        std::vector<DirItem>& items) {
    items.clear();
    struct Collect final : ItemVisitor {
      explicit Collect(std::vector<DirItem>& items) : items(items) {}
      bool visit(const DirItem& item) override {
        items.push_back(item);
        return true;
      }
      std::vector<DirItem>& items;
    } collect(items);
    const int code = list_folder(folder, pattern, collect);
    if (code != 0) items.clear();
    return code;
  }
};

}  // namespace keldar

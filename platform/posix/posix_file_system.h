// The file system of a Linux computer (see platform/file_system.h for the
// contract). Paths are Windows-1251 text; each is turned into a UTF-8 Linux
// path whose existing components are matched whatever the case of their
// ASCII letters. Symbolic links met as the last component of a path are
// never followed. Errors are reported as Windows error numbers.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/stat_ahead.h"

namespace keldar {

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem() = default;
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;
  ~PosixFileSystem() override;

  char separator() const override { return '/'; }
  bool is_drive_root(std::string_view path) const override { return path == "/"; }

  int search(std::string_view folder, std::string_view pattern,
             std::vector<DirItem>& items) override;
  int list_folder(std::string_view folder, std::string_view pattern, ItemVisitor& visitor) override;
  int item_kind(std::string_view path, ItemKind& kind) override;
  int item_info(std::string_view path, DirItem& item) override;

  int volume(std::string_view path, VolumeInfo& info) override;
  int free_space(std::string_view path, FreeSpace& space) override;
  int folder_identity(std::string_view path, FolderIdentity& identity) override;

  int get_times(std::string_view path, FileTimes& times) override;
  int set_times(std::string_view path, const FileTimes& times) override;

  int create_folder(std::string_view path) override;
  using FileSystem::copy_file;
  int copy_file(std::string_view from, std::string_view to, CopyObserver* observer) override;
  int flush() override;
  int set_normal_attributes(std::string_view path) override;
  int delete_file(std::string_view path) override;
  int remove_folder(std::string_view path) override;

  int read_file(std::string_view path, std::string& data) override;
  int read_through(std::string_view path, CopyObserver& observer) override;
  int write_file(std::string_view path, std::string_view data) override;
  int open_append(std::string_view path, bool truncate, std::unique_ptr<AppendFile>& file) override;
  int move_file(std::string_view from, std::string_view to) override;

 private:
  // Resolves `path` to an existing item: 0, its Linux path and its status
  // (links not followed), or the error.
  int lookup(std::string_view path, std::string& native, struct stat& st);
  // Creates a new temporary file (reserved name form) in `folder`; 0 and
  // its path and descriptor, or the error.
  int create_temporary(const std::string& folder, std::string& path, int& fd);
  // Copies the open regular file `source` (whose status is `st`) to a
  // temporary beside `to_native` and renames it over `to_native`. A durable
  // copy is on the disk before the rename; another one is left to flush().
  // `observer` as for copy_file.
  int replace_with_copy(int source, const struct stat& st, const std::string& to_native,
                        bool durable, CopyObserver* observer = nullptr);

  // Whether the volume of `device` (holding `native`) is a FUSE volume.
  bool is_fuse(std::uint64_t device, const std::string& native);

  posix::PathResolver resolver_;
  // The status calls of list_folder asked ahead, and a batch of items for
  // each depth of the folders it is listing at once.
  posix::StatAhead ahead_;
  std::vector<std::unique_ptr<posix::StatBatch>> batches_;
  std::size_t depth_ = 0;
  const long pid_ = ::getpid();
  std::uint64_t temporary_counter_ = 0;
  std::unique_ptr<char[]> copy_buffer_;
  // Pairs of devices (source, destination) the kernel cannot copy between.
  std::set<std::pair<std::uint64_t, std::uint64_t>> no_kernel_copy_;
  std::map<std::uint64_t, bool> fuse_devices_;
  // Keeps the descriptor of a copy until flush() waits for it; beyond
  // kKeptOpen copies, or for a copy closed already (-1), flush() waits for
  // their whole volumes instead.
  void keep_unflushed(int fd);

  static constexpr std::size_t kKeptOpen = 32;
  // Copies flush() has yet to wait for (open), the folders whose entries
  // they (or folders made) changed, with their volumes' device numbers, the
  // first error met while keeping them, and whether flush() waits for the
  // whole volumes of those folders.
  std::vector<int> unflushed_files_;
  std::map<std::string, std::uint64_t> unflushed_folders_;
  int unflushed_error_ = 0;
  bool whole_volumes_ = false;
};

}  // namespace keldar

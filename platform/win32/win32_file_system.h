// The file system of a Windows computer (see platform/file_system.h for the
// contract), through the wide functions: paths are Windows-1251 text turned
// into UTF-16 at this edge, long ones passed with the "\\?\" prefix. Names
// match by the system's own rules: its case folding (which folds every
// letter, not only ASCII) and its wildcards. A reparse point that stands
// for another item (a symbolic link, a junction) is a link and is never
// followed; other reparse points (cloud placeholders, deduplicated files)
// are the files and folders they hold. Errors are the system's own codes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace keldar {

class Win32FileSystem : public FileSystem {
 public:
  Win32FileSystem();

  char separator() const override { return '\\'; }
  bool is_drive_root(std::string_view path) const override;

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
  // Replaces `to` (missing or a file) by the contents of the open file
  // `source` through a temporary beside it: see the .cpp.
  int replace_with_copy(void* source, const std::wstring& to, CopyObserver* observer = nullptr);
  // Writes `data` to `to` through a temporary beside it.
  int replace_with_data(std::string_view data, const std::wstring& to);
  // A new temporary file (reserved name form) in `folder`, open for
  // writing, with the given attributes: 0 and its path and handle, or the
  // error.
  int create_temporary(const std::wstring& folder, std::uint32_t attributes, std::wstring& path,
                       void*& handle);
  // Renames the finished temporary over `to`; removes it on failure.
  int put_in_place(const std::wstring& temporary, const std::wstring& to);

  const std::uint64_t pid_;
  std::uint64_t temporary_counter_ = 0;
  std::unique_ptr<char[]> buffer_;
  // A folder on each volume (by serial number) that received copies since
  // the last flush().
  std::map<std::uint32_t, std::wstring> unflushed_;
};

}  // namespace keldar

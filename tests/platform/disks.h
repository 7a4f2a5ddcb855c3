// The file systems the platform suites run against, each with a fresh empty
// folder to work in and the means to make what the interface cannot: a
// symbolic link (add_link is false where the system cannot make one), a
// read-only file. kFoldsEveryLetter: whether names are found whatever the
// case of every letter (Windows' own rule), not only of ASCII letters.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake/fake_file_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/text.h"
#ifdef _WIN32
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_file_system.h"
#else
#include "platform/posix/posix_file_system.h"
#endif

namespace keldar::test {

// The fake, with the folder C:\T on an exact-time volume.
class FakeDisk {
 public:
  static constexpr const char* kName = "Fake";
  static constexpr bool kFoldsEveryLetter = false;
  FakeDisk() {
    fake.add_volume("C:\\");
    fake.make_folders(root());
  }
  FileSystem& fs() { return fake; }
  std::string root() const { return "C:\\T"; }
  // A link at `path`; the fake's links lead nowhere, so `target` stays as
  // it is whatever happens to the link.
  bool add_link(std::string_view path, std::string_view /*target*/) {
    fake.add_item(path, ItemKind::kLink);
    return true;
  }
  void set_read_only(std::string_view path) { fake.set_read_only(path); }
  bool read_only(std::string_view path) { return fake.read_only(path); }

  FakeFileSystem fake;
};

#ifndef _WIN32
// The Linux layer on a new folder of /dev/shm, or of /tmp where there is
// no /dev/shm, removed at the end.
class PosixDisk {
 public:
  static constexpr const char* kName = "Posix";
  static constexpr bool kFoldsEveryLetter = false;
  PosixDisk() {
    std::string pattern =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/keldar-disk-XXXXXX" : "/tmp/keldar-disk-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
  }
  ~PosixDisk() {
    if (!root_.empty()) {
      ::nftw(
          root_.c_str(),
          [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
          FTW_DEPTH | FTW_PHYS);
    }
  }
  PosixDisk(const PosixDisk&) = delete;
  PosixDisk& operator=(const PosixDisk&) = delete;

  FileSystem& fs() { return posix; }
  const std::string& root() const { return root_; }
  // A path of the interface (Windows-1251, either separator) as Linux names it.
  static std::string native(std::string_view path) {
    std::string n = to_utf8_lossy(path);
    for (char& c : n) {
      if (c == '\\') c = '/';
    }
    return n;
  }
  bool add_link(std::string_view path, std::string_view target) {
    return ::symlink(native(target).c_str(), native(path).c_str()) == 0;
  }
  void set_read_only(std::string_view path) { (void)::chmod(native(path).c_str(), 0444); }
  bool read_only(std::string_view path) {
    struct stat st;
    return ::lstat(native(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
  }

  PosixFileSystem posix;

 private:
  std::string root_;
};

#else
// The Windows layer on a new folder of the user's temporary folder, removed
// at the end.
class Win32Disk {
 public:
  static constexpr const char* kName = "Win32";
  static constexpr bool kFoldsEveryLetter = true;
  Win32Disk() {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return;
    for (unsigned i = 0; i < 1000 && root_.empty(); ++i) {
      std::wstring folder = std::wstring(temp, n) + L"keldar-disk-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(i);
      if (::CreateDirectoryW(folder.c_str(), nullptr)) {
        bool carriable;
        root_ = win32::narrow(folder, carriable);
        if (!carriable) root_.clear();
      }
    }
  }
  ~Win32Disk() {
    if (!root_.empty()) remove_tree(wide(root_));
  }
  Win32Disk(const Win32Disk&) = delete;
  Win32Disk& operator=(const Win32Disk&) = delete;

  FileSystem& fs() { return win32; }
  const std::string& root() const { return root_; }
  static std::wstring wide(std::string_view path) { return win32::widen(path).value_or(L""); }
  // False where the system makes no link: Wine 8 makes none, and Windows
  // only with Developer Mode or the right to make links.
  bool add_link(std::string_view path, std::string_view target) {
    DWORD attributes = ::GetFileAttributesW(wide(target).c_str());
    DWORD flags = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    }
    if (!::CreateSymbolicLinkW(wide(path).c_str(), wide(target).c_str(), flags)) return false;
    attributes = ::GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }
  void set_read_only(std::string_view path) {
    ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  bool read_only(std::string_view path) {
    DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  }

  Win32FileSystem win32;

 private:
  static void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool folder_itself = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (folder_itself) {
          remove_tree(path);
        } else if (!::DeleteFileW(path.c_str())) {
          ::RemoveDirectoryW(path.c_str());
        }
      } while (::FindNextFileW(h, &data));
      ::FindClose(h);
    }
    ::RemoveDirectoryW(folder.c_str());
  }

  std::string root_;
};
#endif

// Another disk seen through the fault-injecting wrapper with no fault set:
// it must answer exactly as the disk itself.
// The layer of the system the tests run on.
#ifdef _WIN32
using NativeDisk = Win32Disk;
#else
using NativeDisk = PosixDisk;
#endif

template <class Disk>
class Wrapped : public Disk {
 public:
  static constexpr const char* kName = "Wrapped";
  FileSystem& fs() { return faults; }
  FaultyFileSystem faults{Disk::fs()};
};

}  // namespace keldar::test

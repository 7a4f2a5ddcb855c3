// The file systems the platform suites run against, each with a fresh empty
// folder to work in and the means to make what the interface cannot: a
// symbolic link, a read-only file.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake/fake_file_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "platform/text.h"

namespace keldar::test {

// The fake, with the folder C:\T on an exact-time volume.
class FakeDisk {
 public:
  static constexpr const char* kName = "Fake";
  FakeDisk() {
    fake.add_volume("C:\\");
    fake.make_folders(root());
  }
  FileSystem& fs() { return fake; }
  std::string root() const { return "C:\\T"; }
  // A link at `path`; the fake's links lead nowhere, so `target` stays as
  // it is whatever happens to the link.
  void add_link(std::string_view path, std::string_view /*target*/) {
    fake.add_item(path, ItemKind::kLink);
  }
  void set_read_only(std::string_view path) { fake.set_read_only(path); }
  bool read_only(std::string_view path) { return fake.read_only(path); }

  FakeFileSystem fake;
};

// The Linux layer on a new folder of /dev/shm, or of /tmp where there is
// no /dev/shm, removed at the end.
class PosixDisk {
 public:
  static constexpr const char* kName = "Posix";
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
  void add_link(std::string_view path, std::string_view target) {
    (void)::symlink(native(target).c_str(), native(path).c_str());
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

// Another disk seen through the fault-injecting wrapper with no fault set:
// it must answer exactly as the disk itself.
template <class Disk>
class Wrapped : public Disk {
 public:
  static constexpr const char* kName = "Wrapped";
  FileSystem& fs() { return faults; }
  FaultyFileSystem faults{Disk::fs()};
};

}  // namespace keldar::test

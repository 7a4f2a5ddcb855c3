#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "format/carrier_files.h"
#include "platform/errors.h"
#include "platform/posix/posix_volume.h"
#include "platform/text.h"

namespace keldar {
namespace {

using posix::error_code;
using posix::error_for;
using posix::parent_of;

constexpr long kMsdosMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kFuseMagic = 0x65735546;
constexpr std::size_t kCopyBuffer = 1 << 20;
// Copies from this size on start their write-back as soon as they are written.
constexpr off_t kStartWriteBackFrom = 1 << 20;

// Closes a descriptor on every path out of a function.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports what close said (a delayed write error).
  int close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// The errno of a write to a file open for writing. Permissions were
// settled when it was opened; fusefat refuses writes so (EPERM) when its
// volume is full.
int write_error(int e) { return e == EPERM ? ENOSPC : e; }

// errno of a failed write of all of `size` bytes, or 0.
int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return write_error(errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int pwrite_all(int fd, const char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return write_error(errno);
    }
    data += n;
    offset += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Copies everything from `in` to the empty file `out`; errno or 0. The
// kernel copies when it can (copy_file_range, tried when `kernel_copy` is
// true, which is cleared when the kernel cannot); otherwise, or when it
// stops short of the size the source had, a plain read/write loop through
// `buffer` goes on from where it stopped. An observer sees every block, so
// its copy is read and written here, never by the kernel.
int copy_contents(int in, int out, off_t size_hint, bool& kernel_copy,
                  std::unique_ptr<char[]>& buffer, CopyObserver* observer) {
  off_t in_offset = 0;
  off_t out_offset = 0;
  for (;;) {
    if (kernel_copy && !observer) {
      ssize_t n = ::copy_file_range(in, &in_offset, out, &out_offset, 1 << 30, 0);
      if (n > 0) continue;
      if (n == 0 && in_offset >= size_hint) return 0;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL &&
          errno != EBADF) {
        return errno;
      }
      kernel_copy = false;  // not supported here, or stopped early: read and write
      continue;
    }
    if (!buffer) buffer.reset(new char[kCopyBuffer]);
    ssize_t n = ::pread(in, buffer.get(), kCopyBuffer, in_offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (observer) observer->data(buffer.get(), static_cast<std::size_t>(n));
    if (int e = pwrite_all(out, buffer.get(), static_cast<std::size_t>(n), out_offset)) return e;
    in_offset += n;
    out_offset += n;
  }
}

// A volume query on a missing path fails as for a drive that is not there.
int volume_error(int errnum) { return errnum == ENOENT ? err::kPathNotFound : error_code(errnum); }

ItemKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return ItemKind::kFile;
  if (S_ISDIR(mode)) return ItemKind::kFolder;
  if (S_ISLNK(mode)) return ItemKind::kLink;
  return ItemKind::kOther;
}

struct timespec to_timespec(const struct statx_timestamp& t) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(t.tv_sec);
  ts.tv_nsec = static_cast<long>(t.tv_nsec);
  return ts;
}

// Makes a rename in `folder` durable; folders that cannot be synced are
// left as they are.
void sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string read_text_file(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Opens a file for reading without blocking on FIFOs or following a link;
// 0 or the error, and kAccessDenied for anything but a regular file.
int open_regular(const std::string& native, int& fd, struct stat& st) {
  fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) return errno == ELOOP ? err::kAccessDenied : error_for(errno, native);
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    fd = -1;
    return error_code(e);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    fd = -1;
    return err::kAccessDenied;
  }
  return err::kOk;  // O_NONBLOCK means nothing to a plain file
}

// Whether `native` may be replaced by a new file: it is missing or a
// regular file. A link, a folder or a device is never replaced by a copy or
// a write: 5.
int replaceable(const std::string& native, struct stat& old, bool& exists) {
  exists = ::lstat(native.c_str(), &old) == 0;
  return exists && !S_ISREG(old.st_mode) ? err::kAccessDenied : err::kOk;
}

class PosixAppendFile final : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override {
    if (fd_ >= 0) (void)close();
  }

  int append(std::string_view bytes) override {
    if (fd_ < 0) return err::kInvalidParameter;
    if (error_ != 0) return error_;
    buffer_.append(bytes);
    if (buffer_.size() >= kFlushSize) flush();
    return error_;
  }

  int close() override {
    if (fd_ < 0) return error_;
    flush();
    if (::fsync(fd_) != 0 && error_ == 0 && errno != EINVAL && errno != EROFS) {
      error_ = error_code(errno);
    }
    if (::close(fd_) != 0 && error_ == 0) error_ = error_code(errno);
    fd_ = -1;
    return error_;
  }

 private:
  static constexpr std::size_t kFlushSize = 64 * 1024;

  void flush() {
    if (error_ == 0 && !buffer_.empty()) {
      if (int e = write_all(fd_, buffer_.data(), buffer_.size())) error_ = error_code(e);
    }
    buffer_.clear();
  }

  int fd_;
  int error_ = 0;
  std::string buffer_;
};

}  // namespace

// --- directory search -------------------------------------------------------

namespace {

// Whether `pattern` matches every name ("*" or "*.*").
bool matches_every_name(std::string_view pattern) { return pattern == "*" || pattern == "*.*"; }

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The Windows-1251 name of the item whose Linux name is `name`, and
// whether it can travel.
void take_name(std::string_view name, DirItem& item) {
  item.carriable = name.find('\\') == std::string_view::npos;
  if (is_ascii(name)) {
    item.name.assign(name);  // ASCII is the same text in Windows-1251
  } else if (!item.carriable || !from_utf8(name, item.name)) {
    item.carriable = false;
    item.name = from_utf8_lossy(name);
  }
  if (!item.carriable) {
    for (char& c : item.name) {
      if (c == '\\') c = '?';
    }
  }
}

// Reads the next names of `dir` that match `pattern` into `batch` (emptied
// first), up to its capacity; `item` is room for converting a name. True
// when the folder has no more names, with the error of the read in `error`.
bool read_batch(DIR* dir, std::string_view pattern, posix::StatBatch& batch, DirItem& item,
                int& error) {
  const bool every_name = matches_every_name(pattern);
  batch.clear(::dirfd(dir));
  while (!batch.full()) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (!entry) {
      error = errno;
      return true;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!every_name) {
      take_name(name, item);
      if (!posix::match_pattern(pattern, item.name)) continue;
    }
    batch.add(name);
  }
  return false;
}

}  // namespace

int PosixFileSystem::list_folder(std::string_view folder, std::string_view pattern,
                                 ItemVisitor& visitor) {
  std::string native;
  if (int rc = resolver_.resolve(folder, native)) return rc;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), ::closedir);
  if (!dir) {
    int e = errno;
    if (e == ENOENT) return err::kPathNotFound;
    if (e == ENOTDIR) {
      // The item itself is no folder (267), or a file stands on the way (3).
      struct stat st;
      return ::lstat(native.c_str(), &st) == 0 ? err::kDirectory : err::kPathNotFound;
    }
    return error_code(e);
  }
  // The items are read a batch at a time; the status of each (one call per
  // item, relative to the open folder) is asked ahead by the helper thread
  // in a batch big enough to pay for waking it. One batch per depth of the
  // folders being listed, kept for the next listing at that depth.
  constexpr std::size_t kWorthHelping = 32;
  if (batches_.size() <= depth_) batches_.push_back(std::make_unique<posix::StatBatch>());
  posix::StatBatch& batch = *batches_[depth_];
  struct Depth {
    explicit Depth(std::size_t& depth) : depth(++depth) {}
    ~Depth() { --depth; }
    std::size_t& depth;
  } deeper(depth_);
  DirItem item;  // one for all items: its name's room is reused
  for (;;) {
    int read_error = 0;
    const bool ended = read_batch(dir.get(), pattern, batch, item, read_error);
    posix::StatAhead::Offer offer(ahead_, batch, batch.size() >= kWorthHelping);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      const posix::ItemStatus& status = ahead_.status(batch, i);
      if (status.error == ENOENT) continue;  // removed while listing
      if (status.error != 0) return error_code(status.error);
      take_name(batch.name(i), item);
      item.kind = kind_of(status.mode);
      item.size = status.size;
      item.last_write = status.last_write;
      if (!visitor.visit(item)) return err::kOk;
    }
    if (ended) return read_error != 0 ? error_code(read_error) : err::kOk;
  }
}

int PosixFileSystem::search(std::string_view folder, std::string_view pattern,
                            std::vector<DirItem>& items) {
  return search_by_listing(folder, pattern, items);
}

int PosixFileSystem::lookup(std::string_view path, std::string& native, struct stat& st) {
  // The exact spelling first: one call of the system for most items.
  if (int rc = posix::PathResolver::as_spelled(path, native)) return rc;
  if (::lstat(native.c_str(), &st) == 0) return err::kOk;
  if (errno != ENOENT) return error_for(errno, native);
  std::string resolved = resolver_.resolve_missing(native);
  if (resolved == native) return error_for(ENOENT, native);  // no other spelling either
  native = std::move(resolved);
  if (::lstat(native.c_str(), &st) != 0) return error_for(errno, native);
  return err::kOk;
}

int PosixFileSystem::item_kind(std::string_view path, ItemKind& kind) {
  std::string native;
  struct stat st;
  if (int rc = lookup(path, native, st)) return rc;
  kind = kind_of(st.st_mode);
  return err::kOk;
}

int PosixFileSystem::item_info(std::string_view path, DirItem& item) {
  std::string native;
  struct stat st;
  if (int rc = lookup(path, native, st)) return rc;
  item.kind = kind_of(st.st_mode);
  item.size = static_cast<std::uint64_t>(st.st_size);
  item.last_write = posix::to_file_time(st.st_mtim);
  return err::kOk;
}

// --- volumes ----------------------------------------------------------------

int PosixFileSystem::volume(std::string_view path, VolumeInfo& info) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return volume_error(errno);
  struct statfs fs;
  if (::statfs(native.c_str(), &fs) != 0) return volume_error(errno);

  bool exact = true;
  if (fs.f_type == kMsdosMagic || fs.f_type == kExfatMagic) {
    exact = false;
  } else if (fs.f_type == kFuseMagic) {
    // FUSE does not say what it serves: the mount table and the volume do.
    auto mounts = posix::parse_mountinfo(read_text_file("/proc/self/mountinfo"));
    char* real = ::realpath(native.c_str(), nullptr);
    std::string real_path = real ? real : native;
    std::free(real);
    const posix::MountEntry* mount =
        posix::find_mount(mounts, major(st.st_dev), minor(st.st_dev), real_path);
    if (mount) exact = posix::has_exact_times(*mount);
  }

  std::uint32_t serial = static_cast<std::uint32_t>(fs.f_fsid.__val[0]) ^
                         static_cast<std::uint32_t>(fs.f_fsid.__val[1]);
  if (serial == 0) {  // FUSE gives no id: the mount's device number tells volumes apart
    auto dev = static_cast<std::uint64_t>(st.st_dev);
    serial = static_cast<std::uint32_t>(dev) ^ static_cast<std::uint32_t>(dev >> 32);
  }
  info.exact_times = exact;
  info.serial = serial;
  info.fs_name = exact ? "NTFS" : "FAT";
  return err::kOk;
}

int PosixFileSystem::free_space(std::string_view path, FreeSpace& space) {
  std::string native;
  if (int rc = posix::PathResolver::as_spelled(path, native)) return rc;
  struct statvfs vfs;
  if (::statvfs(native.c_str(), &vfs) != 0) {
    if (errno != ENOENT) return volume_error(errno);
    if (int rc = resolver_.resolve(path, native)) return rc;
    if (::statvfs(native.c_str(), &vfs) != 0) return volume_error(errno);
  }
  std::uint64_t fragment = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (fragment == 0) fragment = 512;
  std::uint64_t sector = fragment < 512 ? fragment : 512;
  std::uint64_t per_cluster = fragment / sector;
  if (per_cluster == 0) per_cluster = 1;
  if (per_cluster > UINT32_MAX) per_cluster = UINT32_MAX;
  std::uint64_t cluster = per_cluster * sector;
  // Fragments counted in clusters.
  auto clusters = [&](std::uint64_t n) {
    return n / cluster * fragment + n % cluster * fragment / cluster;
  };
  space.bytes_per_sector = static_cast<std::uint32_t>(sector);
  space.sectors_per_cluster = static_cast<std::uint32_t>(per_cluster);
  space.free_clusters = clusters(vfs.f_bavail);
  space.total_clusters = clusters(vfs.f_blocks);
  return err::kOk;
}

int PosixFileSystem::folder_identity(std::string_view path, FolderIdentity& identity) {
  // Without its trailing separators: "name/" would follow a link.
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  std::string native;
  struct stat st;
  if (int rc = lookup(path, native, st)) return rc;
  if (!S_ISDIR(st.st_mode)) return err::kDirectory;
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  return err::kOk;
}

// --- times ------------------------------------------------------------------

int PosixFileSystem::get_times(std::string_view path, FileTimes& times) {
  std::string native;
  if (int rc = posix::PathResolver::as_spelled(path, native)) return rc;
  struct statx sx;
  int found =
      ::statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx);
  if (found != 0 && errno == ENOENT) {
    // Not as spelled: another spelling, or missing.
    std::string resolved = resolver_.resolve_missing(native);
    if (resolved == native) return error_for(ENOENT, native);
    native = std::move(resolved);
    found = ::statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                    &sx);
  }
  if (found == 0) {
    bool born = (sx.stx_mask & STATX_BTIME) != 0;
    times.creation = posix::to_file_time(to_timespec(born ? sx.stx_btime : sx.stx_ctime));
    times.last_access = posix::to_file_time(to_timespec(sx.stx_atime));
    times.last_write = posix::to_file_time(to_timespec(sx.stx_mtime));
    return err::kOk;
  }
  if (errno != ENOSYS) return error_for(errno, native);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return error_for(errno, native);
  times.creation = posix::to_file_time(st.st_ctim);
  times.last_access = posix::to_file_time(st.st_atim);
  times.last_write = posix::to_file_time(st.st_mtim);
  return err::kOk;
}

int PosixFileSystem::set_times(std::string_view path, const FileTimes& times) {
  std::string native;
  if (int rc = posix::PathResolver::as_spelled(path, native)) return rc;
  struct timespec ts[2];
  const FileTime given[2] = {times.last_access, times.last_write};
  for (int i = 0; i < 2; ++i) {
    if (given[i] == 0) {
      ts[i].tv_sec = 0;
      ts[i].tv_nsec = UTIME_OMIT;
    } else if (!posix::from_file_time(given[i], ts[i])) {
      return err::kInvalidParameter;
    }
  }
  // The creation time cannot be set on Linux. With nothing to set, the
  // system would not even look for the item.
  if (times.last_access == 0 && times.last_write == 0) {
    if (int rc = resolver_.resolve(path, native)) return rc;
    struct stat st;
    return ::lstat(native.c_str(), &st) == 0 ? err::kOk : error_for(errno, native);
  }
  // The exact spelling first, as resolve would try it, without looking
  // first: a scan that rounds the time of every file of a fresh tree makes
  // one call of the system per file instead of two.
  // A folder whose entries the resolver keeps stays listed.
  auto change = resolver_.before_times(native);
  if (::utimensat(AT_FDCWD, native.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0) {
    resolver_.after_times(change);
    return err::kOk;
  }
  if (errno != ENOENT) return error_for(errno, native);
  if (int rc = resolver_.resolve(path, native)) return rc;
  change = resolver_.before_times(native);
  if (::utimensat(AT_FDCWD, native.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0) {
    return error_for(errno, native);
  }
  resolver_.after_times(change);
  return err::kOk;
}

// --- items ------------------------------------------------------------------

int PosixFileSystem::create_folder(std::string_view path) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  auto change = resolver_.before_change(native);
  if (::mkdir(native.c_str(), 0777) != 0) {
    int e = errno;
    if (e == ENOENT) return err::kPathNotFound;
    return error_code(e);
  }
  resolver_.after_change(change, native, true);
  // The copies made inside it later are reached through its name.
  struct stat parent;
  const std::string folder = parent_of(native);
  if (::stat(folder.c_str(), &parent) == 0) {
    unflushed_folders_.try_emplace(folder, static_cast<std::uint64_t>(parent.st_dev));
  }
  return err::kOk;
}

int PosixFileSystem::create_temporary(const std::string& folder, std::string& path, int& fd) {
  std::string prefix = folder;
  if (prefix.back() != '/') prefix += '/';
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = prefix + temporary_name(static_cast<std::uint64_t>(pid_), ++temporary_counter_);
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return err::kOk;
    if (errno != EEXIST) return error_for(errno, path);
  }
  return err::kFileExists;
}

int PosixFileSystem::replace_with_copy(int source, const struct stat& st,
                                       const std::string& to_native, bool durable,
                                       CopyObserver* observer) {
  auto change = resolver_.before_change(to_native);
  std::string temporary;
  int raw_fd = -1;
  if (int rc = create_temporary(parent_of(to_native), temporary, raw_fd)) return rc;
  Descriptor out(raw_fd);
  auto fail = [&](int e) {
    ::unlink(temporary.c_str());
    return error_code(e);
  };

  // Where the kernel cannot copy between two volumes, it is not asked again.
  struct stat written;
  const auto devices =
      std::make_pair(static_cast<std::uint64_t>(st.st_dev),
                     ::fstat(out.get(), &written) == 0 ? static_cast<std::uint64_t>(written.st_dev)
                                                       : ~std::uint64_t{0});
  bool kernel_copy = !no_kernel_copy_.contains(devices);
  if (int e = copy_contents(source, out.get(), st.st_size, kernel_copy, copy_buffer_, observer)) {
    return fail(e);
  }
  if (observer && !observer->accept()) {
    ::unlink(temporary.c_str());
    return err::kCrc;
  }
  if (!kernel_copy && !observer) no_kernel_copy_.insert(devices);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.get(), times) != 0) return fail(errno);
  // Volumes that hold no permission bits (FAT) refuse this; that is fine.
  (void)::fchmod(out.get(), st.st_mode & 0777);
  const bool wait_now = durable || devices.second == ~std::uint64_t{0};
  if (wait_now) {
    if (::fsync(out.get()) != 0) return fail(errno);
    if (int e = out.close()) return fail(e);
  } else {
    // A big copy starts its write to the disk now, so that flush() finds
    // little left to wait for; for small ones the call costs more than it
    // saves (about 75 us a file on an ext4 disk).
    if (st.st_size >= kStartWriteBackFrom) {
      (void)::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    // What closing the copy would report (a network or FUSE volume writes
    // it out then, and may fail) is known before the copy takes the
    // destination's place: a second descriptor is closed, and the first
    // kept for flush(). Without one to spare the copy is closed now, and
    // flush() waits for its whole volume.
    const int second = ::dup(out.get());
    if (second < 0) {
      if (int e = out.close()) return fail(e);
    } else if (::close(second) != 0) {
      return fail(errno);
    }
  }
  if (::rename(temporary.c_str(), to_native.c_str()) != 0) {
    int e = errno;
    ::unlink(temporary.c_str());
    return error_for(e, to_native);
  }
  resolver_.after_change(change, to_native, true);
  if (!wait_now) {
    unflushed_folders_.try_emplace(parent_of(to_native), devices.second);
    keep_unflushed(out.release());  // -1 when it was closed already
  }
  // Some FUSE volumes (fusefat) stamp a renamed file with the time of the
  // rename: read the time back and set it again where it was lost. Less than
  // two seconds apart is the rounding of FAT times.
  struct stat done;
  if (is_fuse(devices.second, to_native) && ::lstat(to_native.c_str(), &done) == 0 &&
      std::llabs(static_cast<long long>(done.st_mtim.tv_sec - st.st_mtim.tv_sec)) >= 2 &&
      ::utimensat(AT_FDCWD, to_native.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    return error_for(errno, to_native);
  }
  return err::kOk;
}

bool PosixFileSystem::is_fuse(std::uint64_t device, const std::string& native) {
  auto known = fuse_devices_.find(device);
  if (known != fuse_devices_.end()) return known->second;
  struct statfs fs;
  const bool fuse = ::statfs(native.c_str(), &fs) != 0 || fs.f_type == kFuseMagic;
  fuse_devices_.emplace(device, fuse);
  return fuse;
}

int PosixFileSystem::copy_file(std::string_view from, std::string_view to, CopyObserver* observer) {
  std::string from_native, to_native;
  // The source as spelled first: it mostly is.
  int fd = -1;
  struct stat st;
  if (int rc = posix::PathResolver::as_spelled(from, from_native)) return rc;
  int rc = open_regular(from_native, fd, st);
  if (rc == err::kFileNotFound || rc == err::kPathNotFound) {
    if ((rc = resolver_.resolve(from, from_native))) return rc;
    rc = open_regular(from_native, fd, st);
  }
  if (rc) return rc;
  Descriptor source(fd);
  // The destination as spelled first too; what is there tells at once
  // whether it may be replaced.
  if (int rc = posix::PathResolver::as_spelled(to, to_native)) return rc;
  struct stat old;
  bool exists = ::lstat(to_native.c_str(), &old) == 0;
  if (!exists && errno == ENOENT) {
    std::string resolved = resolver_.resolve_missing(to_native);
    if (resolved != to_native) {
      to_native = std::move(resolved);
      exists = ::lstat(to_native.c_str(), &old) == 0;
    }
  }
  if (exists && !S_ISREG(old.st_mode)) return err::kAccessDenied;
  return replace_with_copy(source.get(), st, to_native, false, observer);
}

namespace {

// The error of fsync or close, but not of a volume that keeps nothing to
// wait for (some FUSE volumes, read-only ones).
int wait_error(int e) { return e == EINVAL || e == EROFS || e == ENOSYS ? 0 : error_code(e); }

}  // namespace

PosixFileSystem::~PosixFileSystem() {
  for (int fd : unflushed_files_) ::close(fd);
}

void PosixFileSystem::keep_unflushed(int fd) {
  if (!whole_volumes_ && fd >= 0) {
    unflushed_files_.push_back(fd);
    if (unflushed_files_.size() <= kKeptOpen) return;
    // Each fsync costs the disk a flush of its cache: for many copies one
    // flush of each volume is cheaper, even though it waits for other
    // programs' writes too.
    fd = -1;
  }
  whole_volumes_ = true;  // also for a copy that could not be kept open
  for (int kept : unflushed_files_) {
    if (::close(kept) != 0 && unflushed_error_ == err::kOk) unflushed_error_ = wait_error(errno);
  }
  unflushed_files_.clear();
  if (fd >= 0 && ::close(fd) != 0 && unflushed_error_ == err::kOk) {
    unflushed_error_ = wait_error(errno);
  }
}

int PosixFileSystem::flush() {
  int first_error = unflushed_error_;
  for (int fd : unflushed_files_) {
    int code = ::fsync(fd) == 0 ? err::kOk : wait_error(errno);
    if (::close(fd) != 0 && code == err::kOk) code = wait_error(errno);
    if (first_error == err::kOk) first_error = code;
  }
  std::set<std::uint64_t> synced;
  for (const auto& [folder, device] : unflushed_folders_) {
    if (whole_volumes_ && synced.contains(device)) continue;
    // The folder may be gone by now: its removal is then kept by the
    // nearest folder still there. A volume no longer reachable (pulled,
    // unmounted) cannot have the copies: that is a failure, not a success.
    std::string path = folder;
    int fd = -1;
    while ((fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0 && path.size() > 1) {
      path = parent_of(path);
    }
    int code = err::kNotReady;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == device) {
      const int done = whole_volumes_ ? ::syncfs(fd) : ::fsync(fd);
      code = done == 0 ? err::kOk : wait_error(errno);
      synced.insert(device);
    }
    if (fd >= 0) ::close(fd);
    if (first_error == err::kOk) first_error = code;
  }
  unflushed_files_.clear();
  unflushed_folders_.clear();
  unflushed_error_ = err::kOk;
  whole_volumes_ = false;
  return first_error;
}

int PosixFileSystem::set_normal_attributes(std::string_view path) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return error_for(errno, native);
  if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR)) return err::kOk;
  if (::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
    int e = errno;
    if (e == ENOSYS || e == EOPNOTSUPP) return err::kOk;  // no permission bits here
    return error_for(e, native);
  }
  return err::kOk;
}

int PosixFileSystem::delete_file(std::string_view path) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  auto change = resolver_.before_change(native);
  if (::unlink(native.c_str()) != 0) return error_for(errno, native);
  resolver_.after_change(change, native, false);
  return err::kOk;
}

int PosixFileSystem::remove_folder(std::string_view path) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  auto change = resolver_.before_change(native);
  if (::rmdir(native.c_str()) != 0) {
    int e = errno;
    if (e == ENOTEMPTY || e == EEXIST) return err::kDirNotEmpty;
    if (e == ENOTDIR) {
      struct stat st;
      if (::lstat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return err::kDirectory;
      return err::kPathNotFound;
    }
    return error_for(e, native);
  }
  resolver_.after_change(change, native, false);
  return err::kOk;
}

// --- whole files ------------------------------------------------------------

int PosixFileSystem::read_file(std::string_view path, std::string& data) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  int fd;
  struct stat st;
  if (int rc = open_regular(native, fd, st)) return rc;
  Descriptor file(fd);
  std::string text;
  text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return error_code(errno);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  data = std::move(text);
  return err::kOk;
}

int PosixFileSystem::read_through(std::string_view path, CopyObserver& observer) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  int fd;
  struct stat st;
  if (int rc = open_regular(native, fd, st)) return rc;
  Descriptor file(fd);
  (void)::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  if (!copy_buffer_) copy_buffer_.reset(new char[kCopyBuffer]);
  for (;;) {
    ssize_t n = ::read(file.get(), copy_buffer_.get(), kCopyBuffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return error_code(errno);
    }
    if (n == 0) return err::kOk;
    observer.data(copy_buffer_.get(), static_cast<std::size_t>(n));
  }
}

int PosixFileSystem::write_file(std::string_view path, std::string_view data) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  struct stat old;
  bool replaces;
  if (int rc = replaceable(native, old, replaces)) return rc;
  auto change = resolver_.before_change(native);
  std::string folder = parent_of(native);

  std::string temporary;
  int raw_fd = -1;
  if (int rc = create_temporary(folder, temporary, raw_fd)) return rc;
  Descriptor out(raw_fd);
  auto fail = [&](int e) {
    ::unlink(temporary.c_str());
    return error_code(e);
  };
  if (replaces) (void)::fchmod(out.get(), old.st_mode & 07777);  // keep the file's permissions
  if (int e = write_all(out.get(), data.data(), data.size())) return fail(e);
  if (::fsync(out.get()) != 0) return fail(errno);
  if (int e = out.close()) return fail(e);
  if (::rename(temporary.c_str(), native.c_str()) != 0) {
    int e = errno;
    ::unlink(temporary.c_str());
    return error_for(e, native);
  }
  sync_folder(folder);
  resolver_.after_change(change, native, true);
  return err::kOk;
}

int PosixFileSystem::open_append(std::string_view path, bool truncate,
                                 std::unique_ptr<AppendFile>& file) {
  std::string native;
  if (int rc = resolver_.resolve(path, native)) return rc;
  // A read-only file is not written in place, even by a user whom the
  // system would let.
  struct stat st;
  if (::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
    return err::kAccessDenied;
  }
  auto change = resolver_.before_change(native);
  int flags =
      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | (truncate ? O_TRUNC : 0);
  int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0) return errno == ELOOP ? err::kAccessDenied : error_for(errno, native);
  resolver_.after_change(change, native, true);
  file = std::make_unique<PosixAppendFile>(fd);
  return err::kOk;
}

int PosixFileSystem::move_file(std::string_view from, std::string_view to) {
  std::string from_native, to_native;
  if (int rc = resolver_.resolve(from, from_native)) return rc;
  if (int rc = resolver_.resolve(to, to_native)) return rc;
  auto from_change = resolver_.before_change(from_native);
  auto to_change = resolver_.before_change(to_native);
  if (::rename(from_native.c_str(), to_native.c_str()) == 0) {
    resolver_.after_change(from_change, from_native, false);
    resolver_.after_change(to_change, to_native, true);
    return err::kOk;
  }
  int e = errno;
  if (e != EXDEV) {
    struct stat st;
    if (e == ENOENT && ::lstat(from_native.c_str(), &st) == 0) return error_for(e, to_native);
    return error_for(e, from_native);
  }

  // Another volume: copy beside `to`, replace it, then remove the source.
  int fd;
  struct stat st;
  if (int rc = open_regular(from_native, fd, st)) return rc;
  Descriptor source(fd);
  if (int rc = replace_with_copy(source.get(), st, to_native, true)) return rc;
  source.close();
  if (::unlink(from_native.c_str()) != 0) return error_for(errno, from_native);
  resolver_.after_change(from_change, from_native, false);
  return err::kOk;
}

}  // namespace keldar

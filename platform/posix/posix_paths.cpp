#include "platform/posix/posix_paths.h"

#include <dirent.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar::posix {

int error_code(int errnum) {
  switch (errnum) {
    case 0:
      return err::kOk;
    case ENOENT:
      return err::kFileNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return err::kAccessDenied;
    case EROFS:
      return err::kWriteProtect;
    case ENOSPC:
    case EDQUOT:
      return err::kDiskFull;
    case ENOTEMPTY:
      return err::kDirNotEmpty;
    case EEXIST:
      return err::kAlreadyExists;
    case ENAMETOOLONG:
      return err::kFilenameTooLong;
    case ENOTDIR:
      return err::kPathNotFound;
    case EIO:
      return err::kIoDevice;
    case EBUSY:
    case ETXTBSY:
      return err::kSharingViolation;
    case EMFILE:
    case ENFILE:
      return err::kTooManyOpenFiles;
    case EXDEV:
      return err::kNotSameDevice;
    case EINVAL:
      return err::kInvalidParameter;
    case ENXIO:
    case ENODEV:
    case ENOTCONN:
      return err::kNotReady;
    case ENOMEM:
      return err::kNotEnoughMemory;
    case ELOOP:
      return err::kInvalidName;
    default:
      return err::kGenFailure;
  }
}

int error_for(int errnum, const std::string& native) {
  if (errnum != ENOENT) return error_code(errnum);
  struct stat st;
  std::string parent = parent_of(native);
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return err::kFileNotFound;
  return err::kPathNotFound;
}

namespace {

// Length of `native` without trailing slashes, keeping a lone "/".
std::size_t trimmed_length(const std::string& native) {
  std::size_t n = native.size();
  while (n > 1 && native[n - 1] == '/') --n;
  return n;
}

}  // namespace

std::string parent_of(const std::string& native) {
  std::size_t n = trimmed_length(native);
  std::size_t slash = native.rfind('/', n == 0 ? 0 : n - 1);
  if (slash == std::string::npos) return ".";
  while (slash > 0 && native[slash - 1] == '/') --slash;
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

std::string last_component(const std::string& native) {
  std::size_t n = trimmed_length(native);
  std::size_t slash = native.rfind('/', n == 0 ? 0 : n - 1);
  if (slash == std::string::npos) return native.substr(0, n);
  if (slash + 1 >= n) return native.substr(0, n);  // "/" itself
  return native.substr(slash + 1, n - slash - 1);
}

namespace {

constexpr auto kTicks = static_cast<std::int64_t>(kTicksPerSecond);
constexpr std::int64_t kEpochSeconds =
    static_cast<std::int64_t>(kFileTimeUnixEpoch) / kTicks;  // 1601 -> 1970

}  // namespace

FileTime to_file_time(const struct timespec& ts) {
  std::int64_t seconds = ts.tv_sec;
  if (seconds < -kEpochSeconds) return 0;  // before 1601: no time
  constexpr std::int64_t kMaxSeconds =
      std::numeric_limits<std::int64_t>::max() / kTicks - kEpochSeconds - 1;
  if (seconds > kMaxSeconds) seconds = kMaxSeconds;
  return static_cast<FileTime>((seconds + kEpochSeconds) * kTicks + ts.tv_nsec / 100);
}

bool from_file_time(FileTime time, struct timespec& ts) {
  if (time > static_cast<FileTime>(std::numeric_limits<std::int64_t>::max())) return false;
  std::int64_t ticks =
      static_cast<std::int64_t>(time) - static_cast<std::int64_t>(kFileTimeUnixEpoch);
  std::int64_t seconds = ticks / kTicks;
  std::int64_t rest = ticks % kTicks;
  if (rest < 0) {
    rest += kTicks;
    --seconds;
  }
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return true;
}

namespace {

bool wildcard_match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || fold_ascii(pattern[p]) == fold_ascii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool match_pattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;  // every name, the common case
  if (wildcard_match(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    return wildcard_match(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

// --- PathResolver -----------------------------------------------------------

bool PathResolver::Stamp::operator==(const Stamp& other) const {
  return dev == other.dev && ino == other.ino && mtime.tv_sec == other.mtime.tv_sec &&
         mtime.tv_nsec == other.mtime.tv_nsec && ctime.tv_sec == other.ctime.tv_sec &&
         ctime.tv_nsec == other.ctime.tv_nsec;
}

bool PathResolver::stamp_of(const std::string& folder, Stamp& stamp) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  stamp.dev = st.st_dev;
  stamp.ino = st.st_ino;
  stamp.mtime = st.st_mtim;
  stamp.ctime = st.st_ctim;
  return true;
}

std::string PathResolver::find_in(const std::string& folder, const std::string& name,
                                  const struct stat* status) {
  Stamp stamp;
  if (status && S_ISDIR(status->st_mode)) {
    stamp.dev = status->st_dev;
    stamp.ino = status->st_ino;
    stamp.mtime = status->st_mtim;
    stamp.ctime = status->st_ctim;
  } else if (!stamp_of(folder, stamp)) {
    cache_valid_ = false;
    return {};
  }
  if (!cache_valid_ || cached_folder_ != folder || !(cached_stamp_ == stamp)) {
    cache_valid_ = false;
    cached_names_.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return {};
    while (const dirent* entry = ::readdir(dir.get())) {
      std::string_view entry_name = entry->d_name;
      if (entry_name == "." || entry_name == "..") continue;
      cached_names_.emplace(fold_ascii(entry_name), std::string(entry_name));  // first one wins
    }
    // The stamp was taken before listing: a change during the listing
    // shows as a newer stamp at the next look-up.
    cached_folder_ = folder;
    cached_stamp_ = stamp;
    cache_valid_ = true;
  }
  auto it = cached_names_.find(fold_ascii(name));
  return it == cached_names_.end() ? std::string() : it->second;
}

namespace {

std::string join(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + '/' + name;
}

}  // namespace

int PathResolver::as_spelled(std::string_view path, std::string& native) {
  if (path.empty()) return err::kPathNotFound;
  std::string text(path);
  if (text.find('\0') != std::string::npos) return err::kInvalidName;
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  auto utf8 = to_utf8(text);
  if (!utf8) return err::kInvalidName;
  native = std::move(*utf8);
  return err::kOk;
}

int PathResolver::resolve(std::string_view path, std::string& native) {
  std::string spelled;
  if (int rc = as_spelled(path, spelled)) return rc;

  struct stat st;
  if (::lstat(spelled.c_str(), &st) == 0 || errno != ENOENT) {
    native = std::move(spelled);  // exists as spelled, or fails for another reason
    return err::kOk;
  }
  native = resolve_missing(std::move(spelled));
  return err::kOk;
}

std::string PathResolver::resolve_missing(std::string spelled) {
  struct stat st;
  const bool absolute = spelled.front() == '/';
  const bool trailing_slash = spelled.size() > 1 && spelled.back() == '/';
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < spelled.size();) {
    std::size_t slash = spelled.find('/', i);
    if (slash == std::string::npos) slash = spelled.size();
    if (slash > i) parts.emplace_back(spelled, i, slash - i);
    i = slash + 1;
  }
  auto prefix = [&](std::size_t count) {
    std::string s = absolute ? "/" : "";
    for (std::size_t i = 0; i < count; ++i) s = join(s, parts[i]);
    return s;
  };

  // The longest leading part that exists as spelled; the whole path does not.
  std::size_t known = parts.empty() ? 0 : parts.size() - 1;
  bool base_status = false;  // `st` is the status of `base`
  for (; known > 0; --known) {
    if (::lstat(prefix(known).c_str(), &st) == 0) {
      base_status = true;
      break;
    }
    if (errno != ENOENT) return spelled;
  }

  std::string base = prefix(known);
  std::size_t i = known;
  for (; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part == "." || part == "..") {
      base = join(base, part);
      base_status = false;
      continue;
    }
    if (i > known) {
      std::string exact = join(base, part);
      if (::lstat(exact.c_str(), &st) == 0) {
        base = std::move(exact);
        base_status = true;
        continue;
      }
      base_status = false;
      if (errno != ENOENT) break;
    }
    std::string found = find_in(base.empty() ? "." : base, part, base_status ? &st : nullptr);
    if (found.empty()) break;
    base = join(base, found);
    base_status = false;
  }
  for (; i < parts.size(); ++i) base = join(base, parts[i]);  // the missing rest, as given
  if (base.empty()) base.push_back('.');
  if (trailing_slash && base.back() != '/') base += '/';
  return base;
}

PathResolver::Change PathResolver::before_change(const std::string& native) {
  Change change;
  change.folder = parent_of(native);
  if (cache_valid_ && cached_folder_ == change.folder) {
    Stamp stamp;
    change.listing_current = stamp_of(change.folder, stamp) && stamp == cached_stamp_;
  }
  return change;
}

void PathResolver::after_change(const Change& change, const std::string& native, bool created) {
  if (!cache_valid_ || cached_folder_ != change.folder) return;
  Stamp stamp;
  if (!change.listing_current || !created || !stamp_of(change.folder, stamp)) {
    cache_valid_ = false;  // a removal may uncover another spelling: list again
    return;
  }
  cached_stamp_ = stamp;
  std::string name = last_component(native);
  cached_names_.emplace(fold_ascii(name), name);
}

PathResolver::Change PathResolver::before_times(const std::string& native) {
  Change change;
  if (cache_valid_ && cached_folder_ == native) {
    Stamp stamp;
    change.folder = native;
    change.listing_current = stamp_of(native, stamp) && stamp == cached_stamp_;
  }
  return change;
}

void PathResolver::after_times(const Change& change) {
  if (!change.listing_current || !cache_valid_ || cached_folder_ != change.folder) return;
  Stamp stamp;
  if (stamp_of(change.folder, stamp)) {
    cached_stamp_ = stamp;
  } else {
    cache_valid_ = false;
  }
}

}  // namespace keldar::posix

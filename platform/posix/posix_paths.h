// Helpers of the Linux file system: error numbers, file times, the Windows
// wildcard rules and the case-insensitive resolution of paths.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/file_system.h"

namespace keldar::posix {

// The Windows code of an errno value (ENOENT gives 2; see error_for).
int error_code(int errnum);
// As error_code, but ENOENT tells a missing item (2) from a missing folder
// that should hold it (3) by looking at the parent of `native`.
int error_for(int errnum, const std::string& native);

// Parent folder and last component of a Linux path ("/a/b" -> "/a", "b";
// "/a" -> "/", "a"; "a" -> ".", "a"). Trailing slashes are ignored.
std::string parent_of(const std::string& native);
std::string last_component(const std::string& native);

FileTime to_file_time(const struct timespec& ts);
// false when the time lies beyond what a timespec can hold.
bool from_file_time(FileTime time, struct timespec& ts);

// Windows wildcard match of a Windows-1251 name: ASCII case ignored, '*' any
// run of characters, '?' exactly one, and a pattern ending in ".*" also
// matches the name without that extension ("*.*" matches every name).
bool match_pattern(std::string_view pattern, std::string_view name);

// Turns Windows-1251 paths into the Linux paths that name the items: '\'
// becomes '/', the text becomes UTF-8, and each existing component is
// matched whatever the case of its ASCII letters. The exact spelling is
// tried first; only when it does not exist is the folder listed for an entry
// equal but for ASCII case (the first listed wins). A component that does
// not exist keeps the spelling given. The last component is never followed
// when it is a symbolic link; the components before it resolve through the
// system as usual.
//
// The listing of one folder is kept for the next look-up there, as long as
// the folder's device, inode, change and modification times are unchanged,
// so that copying many new files into one folder does not list it once per
// file. Changes this process makes are announced with before_change /
// after_change so that they keep the listing instead of spoiling it. On
// kernels whose folder times are coarse (a clock tick of a few milliseconds),
// a change by another program within the same tick as this process's last
// look at the folder can go unseen until the folder changes again.
class PathResolver {
 public:
  // 0 and the Linux path, or 123 when the text cannot be converted (a byte
  // without a character, a NUL), or 3 for an empty path.
  int resolve(std::string_view path, std::string& native);
  // The rest of resolve for a path `spelled` (as_spelled's result) that was
  // just found not to exist as spelled: its Linux path, other spellings of
  // its existing components taken.
  std::string resolve_missing(std::string spelled);
  // The Linux path as spelled, without looking at the disk: '\' as '/',
  // UTF-8. The same codes as resolve. For an operation that tries the exact
  // spelling first and resolves only when it is not there.
  static int as_spelled(std::string_view path, std::string& native);

  // Brackets a change to the entries of the folder that holds `native`.
  struct Change {
    std::string folder;
    bool listing_current = false;
  };
  Change before_change(const std::string& native);
  // `created`: `native` now exists (made by this change); otherwise an entry
  // was removed.
  void after_change(const Change& change, const std::string& native, bool created);
  // Brackets a change of the times of the item `native` itself: when it is
  // the listed folder, its listing stays as it was.
  Change before_times(const std::string& native);
  void after_times(const Change& change);

 private:
  struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    struct timespec mtime = {};
    struct timespec ctime = {};
    bool operator==(const Stamp& other) const;
  };
  static bool stamp_of(const std::string& folder, Stamp& stamp);
  // The name in `folder` equal to `name` but for ASCII case; empty if none.
  // `status`, when given, is the folder's status just taken.
  std::string find_in(const std::string& folder, const std::string& name,
                      const struct stat* status = nullptr);

  std::string cached_folder_;
  Stamp cached_stamp_;
  bool cache_valid_ = false;
  std::unordered_map<std::string, std::string> cached_names_;  // folded -> actual
};

}  // namespace keldar::posix

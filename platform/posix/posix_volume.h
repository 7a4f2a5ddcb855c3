// Which kind of volume holds a path: one with exact file times, or a FAT-like
// one with two-second times. Kernel file systems tell by their type; a FUSE
// mount tells by its subtype ("fuse.fusefat") or, when it has none
// ("fuseblk" of ntfs-3g and exfat-fuse alike, "fuse" of ntfs-3g on an image
// file), by the boot sector of its source, the udev record of its device,
// and last by the names it shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace keldar::posix {

// One line of /proc/self/mountinfo.
struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string mount_point;
  std::string fs_type;  // "ext4", "fuse.fusefat", "fuseblk" ...
  std::string source;   // "/dev/loop0", "fusefat" ...
};

std::vector<MountEntry> parse_mountinfo(std::string_view text);

// The mount of a file on device major:minor at `real_path` (a path without
// links): an entry of that device, otherwise the entry whose mount point is
// the longest leading part of `real_path`. The last such entry wins, as it
// is the one on top when mounts are stacked. nullptr when none fits.
const MountEntry* find_mount(const std::vector<MountEntry>& mounts, unsigned major, unsigned minor,
                             std::string_view real_path);

enum class TimeKind { kUnknown, kExact, kFatLike };

// From the file-system type alone; kUnknown for "fuse" and "fuseblk".
TimeKind time_kind_of_type(std::string_view fs_type);
// From the first 512 bytes of a volume; kUnknown when no signature fits.
TimeKind time_kind_of_boot_sector(std::string_view sector);
// From a udev database record ("E:ID_FS_TYPE=ntfs" ...).
TimeKind time_kind_of_udev_record(std::string_view record);

// Everything together for one mount, reading the source and the udev
// record when the type does not tell. A mount that tells nothing counts
// as exact.
bool has_exact_times(const MountEntry& mount);

}  // namespace keldar::posix

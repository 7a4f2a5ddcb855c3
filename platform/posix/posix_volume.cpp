#include "platform/posix/posix_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>

namespace keldar::posix {
namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                               (field[i + 3] - '0'));
      i += 3;
      continue;
    }
    out += field[i];
  }
  return out;
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t space = line.find(' ', i);
    if (space == std::string_view::npos) space = line.size();
    if (space > i) fields.push_back(line.substr(i, space - i));
    i = space + 1;
  }
  return fields;
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// At most `limit` bytes from the start of a regular file or block device.
// Anything else (a FIFO, a terminal, /dev/fuse) is not opened: reading it
// could block.
std::string read_head(const std::string& path, std::size_t limit) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) return {};
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  std::string data(limit, '\0');
  std::size_t got = 0;
  while (got < limit) {
    ssize_t n = ::pread(fd, data.data() + got, limit - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return data;
}

std::string device_id(unsigned major, unsigned minor) {
  return std::to_string(major) + ":" + std::to_string(minor);
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::vector<std::string_view> fields = split_fields(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source ...
    if (fields.size() < 9) continue;
    std::size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 1 >= fields.size()) continue;
    MountEntry entry;
    std::string_view device = fields[2];
    std::size_t colon = device.find(':');
    if (colon == std::string_view::npos) continue;
    try {
      entry.major = static_cast<unsigned>(std::stoul(std::string(device.substr(0, colon))));
      entry.minor = static_cast<unsigned>(std::stoul(std::string(device.substr(colon + 1))));
    } catch (...) {
      continue;
    }
    entry.mount_point = unescape(fields[4]);
    entry.fs_type = unescape(fields[dash + 1]);
    if (dash + 2 < fields.size()) entry.source = unescape(fields[dash + 2]);
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

const MountEntry* find_mount(const std::vector<MountEntry>& mounts, unsigned major, unsigned minor,
                             std::string_view real_path) {
  const MountEntry* by_device = nullptr;
  const MountEntry* by_path = nullptr;
  for (const MountEntry& m : mounts) {
    if (m.major == major && m.minor == minor) by_device = &m;
    std::string_view point = m.mount_point;
    bool leads =
        real_path.substr(0, point.size()) == point &&
        (point == "/" || real_path.size() == point.size() || real_path[point.size()] == '/');
    if (leads && (!by_path || point.size() >= by_path->mount_point.size())) by_path = &m;
  }
  return by_device ? by_device : by_path;
}

TimeKind time_kind_of_type(std::string_view fs_type) {
  std::string type = lower(fs_type);
  if (type == "vfat" || type == "msdos" || type == "exfat" || type == "fat" || type == "umsdos") {
    return TimeKind::kFatLike;
  }
  if (type == "fuse" || type == "fuseblk") return TimeKind::kUnknown;
  std::string_view subtype;
  if (type.rfind("fuse.", 0) == 0) {
    subtype = std::string_view(type).substr(5);
  } else if (type.rfind("fuseblk.", 0) == 0) {
    subtype = std::string_view(type).substr(8);
  } else {
    return TimeKind::kExact;
  }
  if (contains(subtype, "ntfs")) return TimeKind::kExact;
  if (contains(subtype, "fat") || contains(subtype, "msdos")) return TimeKind::kFatLike;
  return TimeKind::kExact;
}

TimeKind time_kind_of_boot_sector(std::string_view sector) {
  if (sector.size() < 512) return TimeKind::kUnknown;
  std::string_view oem = sector.substr(3, 8);
  if (oem == "NTFS    ") return TimeKind::kExact;
  if (oem == "EXFAT   ") return TimeKind::kFatLike;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sector[i]); };
  bool jump = byte(0) == 0xEB || byte(0) == 0xE9;
  unsigned bytes_per_sector = byte(11) | (byte(12) << 8);
  bool sector_size_ok = bytes_per_sector >= 512 && bytes_per_sector <= 4096 &&
                        (bytes_per_sector & (bytes_per_sector - 1)) == 0;
  bool label = sector.substr(54, 3) == "FAT" || sector.substr(82, 3) == "FAT";
  if (jump && sector_size_ok && label) return TimeKind::kFatLike;
  return TimeKind::kUnknown;
}

TimeKind time_kind_of_udev_record(std::string_view record) {
  constexpr std::string_view kKey = "E:ID_FS_TYPE=";
  for (std::size_t start = 0; start < record.size();) {
    std::size_t end = record.find('\n', start);
    if (end == std::string_view::npos) end = record.size();
    std::string_view line = record.substr(start, end - start);
    start = end + 1;
    if (line.substr(0, kKey.size()) != kKey) continue;
    std::string_view type = line.substr(kKey.size());
    if (type.empty()) return TimeKind::kUnknown;
    TimeKind kind = time_kind_of_type(type);
    return kind == TimeKind::kUnknown ? TimeKind::kExact : kind;
  }
  return TimeKind::kUnknown;
}

bool has_exact_times(const MountEntry& mount) {
  TimeKind kind = time_kind_of_type(mount.fs_type);
  if (kind != TimeKind::kUnknown) return kind == TimeKind::kExact;

  // The volume's own first sector: the device of "fuseblk", the image file
  // that "fuse" mounts were given.
  std::vector<std::string> sources;
  if (!mount.source.empty() && mount.source.front() == '/') sources.push_back(mount.source);
  if (mount.major != 0) {
    std::string id = device_id(mount.major, mount.minor);
    sources.push_back("/dev/block/" + id);
    std::string uevent = read_head("/sys/dev/block/" + id + "/uevent", 4096);
    std::size_t at = uevent.find("DEVNAME=");
    if (at != std::string::npos) {
      std::size_t end = uevent.find('\n', at);
      sources.push_back("/dev/" + uevent.substr(at + 8, end == std::string::npos ? std::string::npos
                                                                                 : end - at - 8));
    }
  }
  for (const std::string& source : sources) {
    kind = time_kind_of_boot_sector(read_head(source, 512));
    if (kind != TimeKind::kUnknown) return kind == TimeKind::kExact;
  }
  if (mount.major != 0) {
    kind = time_kind_of_udev_record(
        read_head("/run/udev/data/b" + device_id(mount.major, mount.minor), 65536));
    if (kind != TimeKind::kUnknown) return kind == TimeKind::kExact;
  }
  std::string names = lower(mount.source + " " + mount.fs_type);
  if (contains(names, "ntfs")) return true;
  if (contains(names, "fat") || contains(names, "msdos")) return false;
  return true;
}

}  // namespace keldar::posix

#include "sync/file_ops.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "lists/list_file.h"
#include "lists/scan.h"
#include "lists/stamps.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "sync/content_check.h"

namespace keldar {

namespace {

// Clusters kept free on top of what a copy needs.
constexpr std::uint64_t kReserveClusters = 4;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// `path` without its trailing separators, unless it is a drive root.
std::string item_path(const FileSystem& fs, std::string path) {
  while (path.size() > 1 && is_separator(path.back()) && !fs.is_drive_root(path)) {
    path.pop_back();
  }
  return path;
}

bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  }
  return true;
}

// The times of the folder that holds an item, kept while the item is
// created, replaced or deleted, on volumes that keep exact times (on the
// others a folder's times are not worth keeping).
class ParentTimes {
 public:
  ParentTimes(FileSystem& fs, bool exact_volume, CopyPass& pass)
      : fs_(fs), exact_(exact_volume), pass_(pass) {}
  ParentTimes(const ParentTimes&) = delete;
  ParentTimes& operator=(const ParentTimes&) = delete;

  int save(const std::string& path) {
    if (!exact_) return 0;
    std::string parent = path;
    if (!parent.empty() && is_separator(parent.back())) parent.pop_back();
    std::size_t last = parent.find_last_of("\\/");
    if (last == std::string::npos) return 0;
    parent.resize(last + 1);
    if (fs_.is_drive_root(parent)) {
      // A drive root's times are not kept.
      path_.clear();
      saved_ = true;
      return 0;
    }
    parent.pop_back();
    FileTimes times;
    if (const FileTimes* known = pass_.folder_times(parent)) {
      times = *known;
    } else {
      int code = fs_.get_times(parent, times);
      if (code != err::kOk) return code;
      pass_.set_folder_times(parent, times);
    }
    path_ = std::move(parent);
    times_ = times;
    saved_ = true;
    return 0;
  }

  int restore() {
    if (!saved_) return 0;
    saved_ = false;
    if (path_.empty()) return -1;
    int code = fs_.set_times(path_, times_);
    path_.clear();
    return code;
  }

 private:
  FileSystem& fs_;
  bool exact_;
  CopyPass& pass_;
  bool saved_ = false;
  std::string path_;
  FileTimes times_;
};

// Refuses a path on which an existing component from `guard` on (a
// component starting at or after that index) is a symbolic link, a device
// or the like: nothing is ever read or written through one. Components
// that do not exist end the walk.
//
// What the walk saw: whether the whole path exists and what it is, and the
// deepest folder on it (with its separator) found from `guard` on.
// `missing`: the path was found not to exist (2 or 3), rather than not
// told. Every component is asked anew for each path: a folder seen by an
// earlier copy may have been replaced by a link since.
struct PathCheck {
  bool exists = false;
  bool missing = false;
  DirItem item;
  std::string folder;
};

int check_no_links(FileSystem& fs, const std::string& path, std::size_t guard, PathCheck& check) {
  check = PathCheck();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) continue;
    if (i > start && start >= guard) {
      DirItem item;
      int code = fs.item_info(path.substr(0, i), item);
      if (code != err::kOk) {
        check.missing = code == err::kFileNotFound || code == err::kPathNotFound;
        return 0;
      }
      if (item.kind == ItemKind::kLink || item.kind == ItemKind::kOther) {
        return err::kAccessDenied;
      }
      if (i == path.size()) {
        check.exists = true;
        check.item = item;
      } else if (item.kind == ItemKind::kFolder) {
        check.folder = path.substr(0, i + 1);
      }
    }
    start = i + 1;
  }
  return 0;
}

// Free clusters and the cluster size of the volume that holds `path`; false
// when the query fails. A volume that tells no size has room for anything
// as far as the checks go: only the copy's own disk-full error stops it.
bool free_clusters(FileSystem& fs, const std::string& path, std::uint64_t& clusters,
                   std::uint64_t& cluster_size) {
  FreeSpace space;
  if (fs.free_space(path, space) != err::kOk) return false;
  cluster_size = static_cast<std::uint64_t>(space.sectors_per_cluster) * space.bytes_per_sector;
  clusters = space.total_clusters == 0 ? UINT64_MAX : space.free_clusters;
  return cluster_size != 0;
}

// Whether `bytes` fit on the volume of `folder` with the reserve left over
// (a free-space query that fails counts as no room). What the pass knows
// is taken when it leaves room beyond its slack; else the volume is asked.
bool has_room(Env& env, CopyPass& pass, const std::string& folder, std::uint64_t bytes) {
  constexpr std::int64_t kMaxAge = 2;
  const std::int64_t now = env.clock.now();
  CopyPass::Space* known = pass.space(folder);
  if (known && now - known->taken < kMaxAge && now >= known->taken &&
      bytes / known->cluster_size + kReserveClusters + known->slack <= known->clusters) {
    return true;
  }
  CopyPass::Space fresh;
  if (!free_clusters(env.fs, folder, fresh.clusters, fresh.cluster_size)) return false;
  fresh.slack = fresh.clusters == UINT64_MAX ? 0 : fresh.clusters / 32;
  fresh.taken = now;
  pass.set_space(folder, fresh);
  return bytes / fresh.cluster_size + kReserveClusters <= fresh.clusters;
}

// The folder of the source that corresponds to the destination folder
// `prefix`: the source up to where the rest of the destination starts,
// when that rest first occurs at the very end of the source.
std::string matching_source_folder(const std::string& destination, std::size_t prefix_size,
                                   const std::string& source) {
  std::string_view rest = std::string_view(destination).substr(prefix_size);
  std::size_t at = source.find(rest);
  if (at == std::string::npos || at + rest.size() != source.size()) return {};
  return source.substr(0, at);
}

struct Sides {
  std::string destination;
  std::string source;
  std::size_t base = 0;  // length of the destination's folder part
  // Where the destination's links check starts: the length of the object
  // folder or the carrier folder with its separator, above which nothing is
  // made.
  std::size_t guard = 0;
  std::size_t source_guard = 0;
  bool exact_destination = false;
};

// The guard of a path on the carrier: the object's carrier folder itself
// comes from the carrier too and is checked along with its members.
std::size_t carrier_guard(const ObjectRun& run) { return run.carrier.folder.size(); }

bool entry_usable(const ObjectRun& run, std::size_t index) {
  return index < run.list.entries.size();
}

bool is_folder_path(const std::string& path) { return !path.empty() && is_separator(path.back()); }

// The destination and source of entry `name` and where each may be
// checked and made.
Sides sides_of(const ObjectRun& run, const std::string& name, bool towards_object) {
  const std::string object_file = run.object_path(name);
  const std::string carrier_file = run.carrier_path(name);
  const std::size_t object_base = run.object_path("\\").size();
  const std::size_t carrier_base = run.carrier_path("\\").size();
  Sides s;
  if (towards_object) {
    s.destination = object_file;
    s.source = carrier_file;
    s.base = object_base;
    s.guard = object_base;
    s.source_guard = carrier_guard(run);
    s.exact_destination = run.list.exact_object;
  } else {
    s.destination = carrier_file;
    s.source = object_file;
    s.base = carrier_base;
    s.guard = carrier_guard(run);
    s.source_guard = object_base;
    s.exact_destination = run.exact_carrier();
  }
  return s;
}

// A folder just made on the way to a copy has its source folder's times:
// its own entry (relative name `relative`) is in place on that side now.
void folder_made(const ObjectRun& run, std::string_view relative, bool towards_object) {
  FileList& list = run.list;
  for (std::size_t k = list.entries.size(); k-- > 0;) {
    ListEntry& e = list.entries[k];
    if (!equal_folded(e.name(), relative)) continue;
    if (towards_object) {
      e.object_stamp = e.carrier_stamp;
    } else {
      e.carrier_stamp = e.object_stamp;
      e.state = static_cast<std::uint8_t>(run.computer + 1);
      list.dirty = true;
    }
    return;
  }
}

// Makes the folders missing on the way to the destination, from the top
// down, with the times of their source folders. `existing` is the deepest
// folder known to exist (every folder above it exists too) and becomes the
// deepest one made. The object folder and the carrier folder themselves are
// never made.
int make_missing_folders(Env& env, const ObjectRun& run, const Sides& s, bool towards_object,
                         std::string& existing, CopyPass& pass) {
  FileSystem& fs = env.fs;
  ParentTimes parent(fs, s.exact_destination, pass);
  for (std::size_t i = existing.size(); i < s.destination.size(); ++i) {
    if (!is_separator(s.destination[i])) continue;
    const std::string prefix = s.destination.substr(0, i + 1);
    const std::string folder = item_path(fs, prefix);
    ItemKind kind;
    if (fs.item_kind(folder, kind) == err::kOk &&
        (kind == ItemKind::kFolder || (kind == ItemKind::kLink && i < s.guard))) {
      existing = prefix;
      continue;
    }
    // One that is missing was removed or its volume went away, and a folder
    // made now would stand in for it on whatever lies beneath.
    if (i < s.guard) return err::kPathNotFound;
    const std::string source_folder = matching_source_folder(s.destination, i + 1, s.source);
    (void)parent.save(prefix);
    if (!has_room(env, pass, existing.empty() ? prefix : existing, 0)) return kNoSpaceCode;
    if (int code = fs.create_folder(folder)) return code;
    pass.wrote(0);
    existing = prefix;
    if (!source_folder.empty() && copy_folder_times(env, prefix, source_folder) == err::kOk &&
        i >= s.base) {
      folder_made(run, std::string_view(prefix).substr(s.base), towards_object);
    }
    (void)parent.restore();
  }
  return err::kOk;
}

// Copies the file of `s` when there is room for it beside the old one.
int copy_file_with_room(Env& env, const Sides& s, PathCheck& source, bool replacing,
                        const std::string& existing, CopyPass& pass, ContentCheck& check) {
  FileSystem& fs = env.fs;
  if (!source.exists) {
    DirItem item;  // not there, or before the guard: ask the disk what it is
    if (int code = fs.item_info(s.source, item)) return code;
    source.item = item;
  }
  if (source.item.kind != ItemKind::kFile) return err::kAccessDenied;
  // The copy is written beside the destination and renamed over it, so
  // while it is written the old file still holds its clusters: the new
  // file needs room of its own, whatever the old one's size.
  if (!has_room(env, pass, existing.empty() ? s.destination : existing, source.item.size)) {
    return kNoSpaceCode;
  }
  if (replacing) (void)fs.set_normal_attributes(s.destination);
  ParentTimes parent(fs, s.exact_destination, pass);
  (void)parent.save(s.destination);
  const int result = fs.copy_file(s.source, s.destination, &check);
  (void)parent.restore();
  if (result == err::kOk) pass.wrote(source.item.size);
  return result;
}

}  // namespace

const FileTimes* CopyPass::folder_times(const std::string& folder) const {
  auto it = times_.find(folder);
  return it == times_.end() ? nullptr : &it->second;
}

CopyPass::Space* CopyPass::space(const std::string& folder) {
  auto it = spaces_.find(folder);
  return it == spaces_.end() ? nullptr : &it->second;
}

void CopyPass::wrote(std::uint64_t bytes) {
  for (auto& [folder, space] : spaces_) {
    if (space.clusters == UINT64_MAX) continue;  // a volume that tells no size
    // Rounded up, and a cluster more for the folder entry.
    const std::uint64_t used = (bytes + space.cluster_size - 1) / space.cluster_size + 1;
    space.clusters = space.clusters > used ? space.clusters - used : 0;
  }
}

int copy_folder_times(Env& env, const std::string& destination, const std::string& source) {
  if (!is_folder_path(destination) || !is_folder_path(source)) return kNoSpaceCode;
  FileTimes times;
  int code = env.fs.get_times(item_path(env.fs, source), times);
  if (code != err::kOk) return code;
  const std::string target = item_path(env.fs, destination);
  (void)env.fs.set_times(target, times);
  FileTimes check;
  return env.fs.get_times(target, check);
}

int object_stamp_now(Env& env, const ObjectRun& run, std::size_t index, std::uint32_t& stamp) {
  stamp = 0;
  if (!entry_usable(run, index)) return err::kInvalidParameter;
  const ListEntry& entry = run.list.entries[index];
  if (entry.unsafe) return err::kInvalidName;
  return stamp_now(env.fs, env.clock, item_path(env.fs, run.object_path(entry.name())),
                   run.list.exact_object, env.log.daylight(), stamp);
}

bool unchanged_since_scan(Env& env, const ObjectRun& run, std::size_t index) {
  if (!entry_usable(run, index)) return false;
  const ListEntry& entry = run.list.entries[index];
  if (entry.unsafe) return false;
  std::uint32_t now = 0;
  if (object_stamp_now(env, run, index, now) != 0) return false;
  // The scan keeps the listed stamp where the two differ in the daylight
  // marker only (two-second volumes); that is the same file.
  return now == entry.object_stamp ||
         differ_in_daylight_only(now, entry.object_stamp, run.list.exact_object);
}

int copy_entry(Env& env, const ObjectRun& run, std::size_t index, bool towards_object,
               CopyPass* given_pass) {
  if (!entry_usable(run, index)) return err::kInvalidParameter;
  CopyPass own_pass;
  CopyPass& pass = given_pass ? *given_pass : own_pass;
  if (!carrier_in_place(env, run.carrier, false)) return err::kNotReady;
  FileList& list = run.list;
  if (list.entries[index].unsafe) return err::kInvalidName;
  const Sides s = sides_of(run, std::string(list.entries[index].name()), towards_object);

  PathCheck destination;
  PathCheck source;
  if (int code = check_no_links(env.fs, s.destination, s.guard, destination)) return code;
  if (int code = check_no_links(env.fs, s.source, s.source_guard, source)) return code;
  const bool replacing = destination.exists && destination.item.kind == ItemKind::kFile;
  const bool folder_entry = is_folder_path(s.destination);
  // A file just found missing is as the scan saw it when the scan saw none.
  const bool missing_as_scanned = destination.missing && list.entries[index].object_stamp == 0;
  if (towards_object && !folder_entry && !missing_as_scanned &&
      !unchanged_since_scan(env, run, index)) {
    return kChangedSinceScan;
  }
  std::string existing = destination.folder;
  if (int code = make_missing_folders(env, run, s, towards_object, existing, pass)) return code;
  if (folder_entry) pass.forget_times(item_path(env.fs, s.destination));
  // A carrier copy with a record is verified as it is brought here. A copy
  // put on the carrier loses its old record at once (a failure may leave
  // either version there) and gets a new one once it is in place.
  const std::string name(list.entries[index].name());
  ContentCheck check(towards_object ? copy_sum(list, list.entries[index]) : nullptr);
  // The sum file is written with the list: a copy put again under the same
  // state and stamp must not leave its old record there.
  if (!towards_object && list.sums.erase(name) != 0) list.dirty = true;
  const int result = folder_entry
                         ? copy_folder_times(env, s.destination, s.source)
                         : copy_file_with_room(env, s, source, replacing, existing, pass, check);
  if (result == err::kCrc && check.damaged()) return kDamagedCopyCode;
  if (result != 0) return result;

  ListEntry& e = list.entries[index];
  const bool daylight = env.log.daylight();
  if (towards_object) {
    e.object_stamp =
        convert_stamp(e.carrier_stamp, run.exact_carrier(), list.exact_object, daylight);
  } else {
    e.carrier_stamp =
        convert_stamp(e.object_stamp, list.exact_object, run.exact_carrier(), daylight);
    if (check.accepted()) {
      // Recorded with the state both callers give the copy: this computer's.
      list.dirty = true;
      list.sums.insert_or_assign(
          name, SumRecord{name, check.size(), e.carrier_stamp,
                          static_cast<std::uint8_t>(run.computer + 1), check.hash()});
    }
  }
  return 0;
}

int delete_entry(Env& env, const ObjectRun& run, std::size_t index, bool on_carrier,
                 CopyPass* pass) {
  if (!entry_usable(run, index)) return err::kInvalidParameter;
  FileList& list = run.list;
  if (list.entries[index].unsafe) return err::kInvalidName;
  const std::string name(list.entries[index].name());
  const std::string path = on_carrier ? run.carrier_path(name) : run.object_path(name);
  if (on_carrier && !carrier_in_place(env, run.carrier)) return err::kNotReady;
  const std::size_t guard = on_carrier ? carrier_guard(run) : run.object_path("\\").size();
  PathCheck check;
  CopyPass own_pass;
  if (!pass) pass = &own_pass;
  if (int code = check_no_links(env.fs, path, guard, check)) return code;
  const bool folder = is_folder_path(path);
  if (!on_carrier && !folder) {
    // A file already gone needs no check: there is nothing left to lose.
    std::uint32_t now = 0;
    if (int code = object_stamp_now(env, run, index, now)) return code;
    if (now != 0 && !unchanged_since_scan(env, run, index)) return kChangedSinceScan;
  }

  ParentTimes parent(env.fs, on_carrier ? run.exact_carrier() : list.exact_object, *pass);
  (void)parent.save(path);
  const std::string item = item_path(env.fs, path);
  (void)env.fs.set_normal_attributes(item);
  int code = folder ? env.fs.remove_folder(item) : env.fs.delete_file(item);
  if (code == err::kFileNotFound) code = 0;
  (void)parent.restore();
  if (code != 0) return code;
  if (folder) pass->forget_folder_times();
  ListEntry& e = list.entries[index];
  if (on_carrier) {
    e.carrier_stamp = 0;
  } else {
    e.object_stamp = 0;
  }
  return 0;
}

}  // namespace keldar

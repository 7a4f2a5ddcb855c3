#include "lists/scan.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "lists/list_file.h"
#include "lists/stamps.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::string with_separator(const FileSystem& fs, std::string folder) {
  if (folder.empty() || !is_separator(folder.back())) folder += fs.separator();
  return folder;
}

// The names of the items of one folder listing taken so far, to find a
// later name equal to one of them but for the case of ASCII letters. The
// list holds the names of the items entered in it (after the folder's
// relative name of `prefix` bytes, a folder's with a trailing '\'): an open
// table of their entry numbers, at most half full, and copies of the few
// names taken but not entered.
class TakenNames {
 public:
  TakenNames(const FileList& list, std::size_t prefix) : list_(list), prefix_(prefix) {}

  // Whether an item taken before has `name`. Keeps its hash for take().
  bool has(std::string_view name) {
    hash_ = folded_hash(name);
    if (slots_.empty()) return false;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash_ & mask; slots_[slot] != kEmpty; slot = (slot + 1) & mask) {
      if (equal_folded(name_of(slots_[slot]), name)) return true;
    }
    return false;
  }

  // Takes the name last asked about: entered in the list at `position`, or
  // not entered (-1). False when memory is exhausted.
  bool take(std::string_view name, long position) {
    try {
      std::uint32_t value = static_cast<std::uint32_t>(position);
      if (position < 0) {
        value = kNotEntered | static_cast<std::uint32_t>(not_entered_.size());
        not_entered_.emplace_back(name);
      }
      if ((count_ + 1) * 2 > slots_.size()) grow();
      insert(value, hash_);
      ++count_;
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static constexpr std::uint32_t kNotEntered = 0x80000000u;

  std::string_view name_of(std::uint32_t value) const {
    if (value & kNotEntered) return not_entered_[value & ~kNotEntered];
    std::string_view name = list_.entries[value].name().substr(prefix_);
    if (!name.empty() && name.back() == '\\') name.remove_suffix(1);
    return name;
  }

  void insert(std::uint32_t value, std::uint64_t hash) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
    slots_[slot] = value;
  }

  void grow() {
    std::vector<std::uint32_t> old(std::max<std::size_t>(16, slots_.size() * 2), kEmpty);
    old.swap(slots_);
    for (std::uint32_t value : old) {
      if (value != kEmpty) insert(value, folded_hash(name_of(value)));
    }
  }

  const FileList& list_;
  std::size_t prefix_;
  std::vector<std::uint32_t> slots_;
  std::size_t count_ = 0;
  std::vector<std::string> not_entered_;
  std::uint64_t hash_ = 0;
};

// Deletes the leftover temporary `name` of a killed run from `folder`, with
// a log line. The folder keeps its times: its stamp is taken already, and
// the deletion is the program's own, not a change of the user's that the
// next Synchronize would pass on.
void remove_leftover(Env& env, const std::string& folder, const std::string& name) {
  std::string self = folder;
  while (self.size() > 1 && is_separator(self.back())) self.pop_back();
  FileTimes times;
  const bool times_known = env.fs.get_times(self, times) == err::kOk;
  if (env.fs.delete_file(folder + name) == err::kOk) {
    if (times_known) (void)env.fs.set_times(self, times);
    env.log.line(cp1251("Удален временный файл ") + folder + name);
  }
}

// The leftovers of a list or table write that a killed run left in the
// carrier folder itself.
void remove_carrier_leftovers(Env& env, const Carrier& carrier) {
  std::vector<DirItem> items;
  if (env.fs.search(carrier.folder, "~kld*.tmp", items) != err::kOk) return;
  for (const DirItem& item : items) {
    if (item.kind == ItemKind::kFile && item.carriable && is_temporary_name(item.name)) {
      remove_leftover(env, carrier.folder, item.name);
    }
  }
}

// One scan of an object folder or a carrier folder into the current list.
class Scanner {
 public:
  Scanner(Env& env, const ObjectRun& run, bool carrier, Leftovers leftovers)
      : env_(env),
        run_(run),
        list_(run.list),
        carrier_(carrier),
        remove_leftovers_(leftovers == Leftovers::kRemove),
        marking_(run.marking(env.log.daylight())),
        seconds_(env.clock) {}

  // Scans `folder` (ending in a separator) with `pattern`; `relative` is
  // the relative name of the folder ("" for the top). False on failure.
  bool scan(const std::string& folder, std::string_view pattern, const std::string& relative,
            bool nested) {
    Listing listing(*this, folder, pattern, relative, nested);
    int code = env_.fs.list_folder(folder, pattern, listing);
    if (listing.failed) return false;
    if (code != err::kOk && code != err::kFileNotFound && code != err::kPathNotFound) {
      env_.log.line(cp1251("Ошибка чтения папки ") + folder + ": " + error_line(code));
      unreadable_ = true;
    }
    return true;
  }

 private:
  // The items of one folder as they are listed, each entered at once.
  class Listing final : public ItemVisitor {
   public:
    Listing(Scanner& scanner, const std::string& folder, std::string_view pattern,
            const std::string& relative, bool nested)
        : s_(scanner),
          folder_(folder),
          pattern_(pattern),
          relative_(relative),
          nested_(nested),
          taken_(scanner.list_, relative.size()) {}

    bool visit(const DirItem& item) override {
      if (s_.env_.stop.pending()) return false;
      if (!s_.usable(folder_, item) || !unique(item)) return true;
      std::uint32_t stamp = take_stamp(s_.env_, item, folder_, s_.list_.exact_object, s_.seconds_);
      const bool folder_item = item.kind == ItemKind::kFolder;
      if (folder_item && !nested_) return not_entered(item);
      name_.assign(relative_).append(item.name);
      if (folder_item) name_ += '\\';
      if (name_.size() > kMaxListName) {
        s_.env_.log.line(cp1251("Слишком длинное имя, не обрабатывается: ") + folder_ + item.name);
        return not_entered(item);
      }
      long position = 0;
      ListEntry* e = s_.list_.find_or_add(name_, s_.carrier_ ? 0 : stamp, s_.carrier_ ? stamp : 0,
                                          s_.marking_, s_.run_.names, &position);
      if (e == nullptr || !taken_.take(item.name, position)) return fail();
      s_.env_.progress.show(position);
      if (folder_item &&
          !s_.scan(with_separator(s_.env_.fs, folder_ + item.name), pattern_, name_, nested_)) {
        return fail();
      }
      return true;
    }

    bool failed = false;

   private:
    // Whether no item before `item` has its name but for case; logs when
    // one has.
    bool unique(const DirItem& item) {
      if (!taken_.has(item.name)) return true;
      s_.env_.log.line(cp1251("Имя отличается от другого только регистром, не обрабатывается: ") +
                       folder_ + item.name);
      return false;
    }
    bool not_entered(const DirItem& item) { return taken_.take(item.name, -1) || fail(); }
    bool fail() {
      failed = true;
      return false;
    }

    Scanner& s_;
    const std::string& folder_;
    std::string_view pattern_;
    const std::string& relative_;
    bool nested_;
    TakenNames taken_;
    std::string name_;  // the relative name of an item, one buffer for all
  };

  // Whether an item may enter the list; logs why not.
  bool usable(const std::string& folder, const DirItem& item) {
    // A name that no Windows folder could hold (a character such as ':' or
    // '*' from a Linux disk) would be refused by every computer that loads
    // the list; it cannot travel.
    if (!item.carriable || !is_safe_relative_name(item.name)) {
      env_.log.line(cp1251("Имя не может быть перенесено, не обрабатывается: ") + folder +
                    item.name);
      return false;
    }
    if (item.kind == ItemKind::kLink || item.kind == ItemKind::kOther) {
      env_.log.line(cp1251(item.kind == ItemKind::kLink ? "Ссылка не обрабатывается: "
                                                        : "Особый файл не обрабатывается: ") +
                    folder + item.name);
      return false;
    }
    if (item.kind == ItemKind::kFile && is_temporary_name(item.name)) {
      // A leftover of an interrupted copy: it never travels. Only a run
      // that writes removes it; a Compare changes no file.
      if (remove_leftovers_) remove_leftover(env_, folder, item.name);
      return false;
    }
    return true;
  }

  Env& env_;
  const ObjectRun& run_;
  FileList& list_;
  bool carrier_;
  bool remove_leftovers_;
  Marking marking_;
  StampSeconds seconds_;  // with the offset of local time from UTC of the scan's start
  bool unreadable_ = false;

 public:
  // Whether some folder could not be read: its files are not known to be
  // gone.
  bool unreadable() const { return unreadable_; }
};

// The stamp of the folder itself, or nullopt when it is not a folder.
std::optional<std::uint32_t> folder_stamp(Env& env, const std::string& folder, bool exact_object) {
  std::string path = folder;
  while (path.size() > 1 && is_separator(path.back())) path.pop_back();
  ItemKind kind;
  FileTimes times;
  if (env.fs.item_kind(path, kind) != err::kOk || kind != ItemKind::kFolder ||
      env.fs.get_times(path, times) != err::kOk) {
    return std::nullopt;
  }
  DirItem item;
  item.kind = ItemKind::kFolder;
  item.name = path;  // the folder itself, in no folder
  item.last_write = times.last_write;
  StampSeconds seconds(env.clock);
  return take_stamp(env, item, "", exact_object, seconds);
}

bool folder_exists(FileSystem& fs, std::string path) {
  while (path.size() > 1 && is_separator(path.back())) path.pop_back();
  ItemKind kind;
  return fs.item_kind(path, kind) == err::kOk && kind == ItemKind::kFolder;
}

// Whether the list holds a file that this computer had at its last
// synchronisation.
bool had_files_here(const FileList& list, int computer) {
  for (const ListEntry& e : list.entries) {
    if (!e.is_folder() && e.list_stamps[computer] != 0) return true;
  }
  return false;
}

// The volume that holds `folder`. A folder that does not exist yet (it may
// be created from the carrier) is on the volume of its nearest existing
// parent, as a drive answers for any folder on it.
int object_volume(FileSystem& fs, const std::string& folder, VolumeInfo& volume) {
  std::string path = folder;
  for (;;) {
    int code = fs.volume(path, volume);
    if ((code != err::kFileNotFound && code != err::kPathNotFound) || fs.is_drive_root(path)) {
      return code;
    }
    while (!path.empty() && is_separator(path.back())) path.pop_back();
    std::size_t last = path.find_last_of("\\/");
    if (last == std::string::npos) return code;
    path.resize(last + 1);
  }
}

// Scans the current object's carrier folder into `list`, with the folder's
// own stamp as the root entry's carrier stamp. False on failure.
bool scan_carrier_folder(Env& env, const ObjectRun& run, Leftovers leftovers) {
  FileList& list = run.list;
  const std::string carrier_folder = run.carrier_path("\\");
  const std::string carrier_item = carrier_folder.substr(0, carrier_folder.size() - 1);
  ItemKind kind = ItemKind::kFolder;
  if (env.fs.item_kind(carrier_item, kind) == err::kOk && kind != ItemKind::kFolder) {
    // The carrier comes from elsewhere: a link or a file in place of the
    // object's carrier folder is never followed or written through.
    env.log.line(cp1251("На носителе вместо папки объекта не папка, не обрабатывается: ") +
                 carrier_item);
    return true;
  }
  if (auto stamp = folder_stamp(env, carrier_folder, list.exact_object)) {
    ListEntry* root = list.find("\\");
    if (root != nullptr) {
      root->carrier_stamp = mark_volume_kind(*stamp, run.exact_carrier(), env.log.daylight());
    }
  }
  return Scanner(env, run, true, leftovers)
      .scan(carrier_folder, "*.*", "", run.record.allow_nested());
}

}  // namespace

std::string_view path_folder(std::string_view object_path) {
  std::size_t last = object_path.find_last_of("\\/");
  return last == std::string_view::npos ? std::string_view{} : object_path.substr(0, last + 1);
}

std::string_view path_pattern(std::string_view object_path) {
  return object_path.substr(path_folder(object_path).size());
}

std::uint32_t take_stamp(Env& env, const DirItem& item, std::string_view folder, bool exact_object,
                         StampSeconds& seconds) {
  const FileTime time = exact_object ? two_second_time(item.last_write) : item.last_write;
  if (time != item.last_write) {
    FileTimes times;
    times.last_write = time;
    std::string path(folder);
    path += item.name;
    (void)env.fs.set_times(path, times);
  }
  return seconds(time);
}

long fill_object_list(Env& env, const ObjectRun& run, Leftovers leftovers) {
  const std::string own_path = run.record.path(run.computer);
  if (own_path.empty()) return 0;
  FileList& list = run.list;
  bool opened = false;
  long n = load_list_file(env, run, opened);
  if (n < 0) return -1;
  std::string report = opened ? std::to_string(n) : std::string();

  const std::string& folder = run.object_folder;
  VolumeInfo volume;
  int code = object_volume(env.fs, folder.empty() ? own_path : folder, volume);
  if (code != err::kOk) {
    log_system_error(env.log, code);
  } else {
    list.exact_object = volume.exact_times;
    list.object_present = !list.unreadable;
  }

  std::uint32_t root_stamp = 0;
  if (!env.fs.is_drive_root(folder)) {
    root_stamp = folder_stamp(env, folder, list.exact_object).value_or(volume.serial);
  }
  if (list.find_or_add("\\", root_stamp, 0, run.marking(env.log.daylight()), run.names) ==
      nullptr) {
    return -1;
  }
  // A vanished folder is not an empty one: while the list shows files that
  // this computer had, a missing object folder (an unmounted drive, a
  // renamed folder) makes the object unreachable rather than emptied.
  if (list.object_present && !folder_exists(env.fs, folder) && had_files_here(list, run.computer)) {
    env.log.line(cp1251("Папка объекта отсутствует: ") + folder);
    list.object_present = false;
  }
  // A volume that did not answer has been reported; there is nothing to scan.
  if (list.object_present) {
    Scanner scanner(env, run, false, leftovers);
    if (!scanner.scan(folder, run.pattern, "", run.record.allow_nested())) return -1;
    // Files under a folder that could not be read would look deleted.
    if (scanner.unreadable()) list.object_present = false;
  }
  if (static_cast<long>(list.entries.size()) > n) {
    list.dirty = true;
    report += "+" + std::to_string(static_cast<long>(list.entries.size()) - n);
    n = static_cast<long>(list.entries.size());
  }

  if (!scan_carrier_folder(env, run, leftovers)) return -1;
  if (static_cast<long>(list.entries.size()) > n) {
    list.dirty = true;
    report += ":+" + std::to_string(static_cast<long>(list.entries.size()) - n);
    n = static_cast<long>(list.entries.size());
  }

  if (report.size() < 10) report.resize(10, ' ');
  env.log.line(report + "->" + own_path);
  list.shrink_to_fit();
  list.raise_state(run.computer, 1);
  return n;
}

long fill_all_lists(Env& env, Workspace& w, Leftovers leftovers) {
  w.lists.release();
  if (!require_computer(env.log, w.computer, cp1251("заполнение списков"))) return -1;
  env.log.line(cp1251("Заполнение локальных списков файлов..."));
  if (leftovers == Leftovers::kRemove) remove_carrier_leftovers(env, w.carrier);
  if (!w.lists.create(w.objects.count())) return -1;
  for (int i = 0; i < w.objects.count(); ++i) {
    const long result = fill_object_list(env, w.object_run(i), leftovers);
    if (result < 0) return result;
  }
  env.progress.clear();
  env.log.line(std::string(76, '-'));
  w.lists.set_complete(!env.stop.pending());
  return 0;
}

}  // namespace keldar

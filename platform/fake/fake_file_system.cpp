#include "platform/fake/fake_file_system.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {

struct FakeFileSystem::Node {
  ItemKind kind = ItemKind::kFile;
  std::uint64_t id = 0;
  std::string name;
  bool carriable = true;
  bool read_only = false;
  std::string data;
  FileTimes times;
  std::vector<std::unique_ptr<Node>> children;      // in creation order
  std::unordered_map<std::string, Node*> first_of;  // folded name -> first carriable entry
  bool has_case_twins = false;                      // some entries share a folded name

  Node* find(std::string_view child_name) const {
    auto it = first_of.find(fold_ascii(child_name));
    return it == first_of.end() ? nullptr : it->second;
  }
  // Also finds an entry that cannot be carried, by its display name.
  Node* find_any(std::string_view child_name) const {
    if (Node* n = find(child_name)) return n;
    for (const auto& c : children) {
      if (!c->carriable && c->name == child_name) return c.get();
    }
    return nullptr;
  }
};

struct FakeFileSystem::Volume {
  std::string root;  // as added, with '\' and a final separator
  std::string key;   // root folded
  bool exact_times = true;
  std::uint32_t serial = 0;
  std::uint64_t capacity = 0;
  std::uint32_t cluster_size = 1;
  bool size_unknown = false;
  std::uint64_t device = 0;
  std::uint64_t used_clusters = 0;
  Node top;
};

// Where a path leads: the folder that holds the item (nullptr for a volume
// root), the item (nullptr when it does not exist) and its name as given.
struct FakeFileSystem::Place {
  Volume* volume = nullptr;
  Node* folder = nullptr;
  Node* node = nullptr;
  std::string name;
};

class FakeFileSystem::Appender : public AppendFile {
 public:
  Appender(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

  int append(std::string_view bytes) override {
    if (closed_) return err::kInvalidFunction;
    int rc = fs_.append_to(path_, bytes);
    if (rc != 0 && first_error_ == 0) first_error_ = rc;
    return rc;
  }

  int close() override {
    if (closed_) return 0;
    closed_ = true;
    return first_error_;
  }

 private:
  FakeFileSystem& fs_;
  std::string path_;
  bool closed_ = false;
  int first_error_ = 0;
};

namespace {

std::string with_backslashes(std::string_view text) {
  std::string s(text);
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool valid_component(std::string_view name, bool allow_question_mark) {
  if (name == "." || name == "..") return false;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20) return false;
    if (c == '?' && allow_question_mark) continue;
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return false;
  }
  return true;
}

// '*' any run, '?' one character, other bytes equal ignoring ASCII case.
bool glob(std::string_view pattern, std::string_view name) {
  std::size_t i = 0, j = 0;
  std::size_t star = std::string_view::npos, mark = 0;
  while (j < name.size()) {
    if (i < pattern.size() && pattern[i] == '*') {
      star = i++;
      mark = j;
    } else if (i < pattern.size() &&
               (pattern[i] == '?' || fold_ascii(pattern[i]) == fold_ascii(name[j]))) {
      ++i;
      ++j;
    } else if (star != std::string_view::npos) {
      i = star + 1;
      j = ++mark;
    } else {
      return false;
    }
  }
  while (i < pattern.size() && pattern[i] == '*') ++i;
  return i == pattern.size();
}

// The key of an unmounted folder: folded, '\' only, no trailing separator.
std::string mount_key(std::string_view path) {
  std::string key = fold_ascii(with_backslashes(path));
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

[[noreturn]] void misuse(std::string_view what, std::string_view path) {
  throw std::invalid_argument("FakeFileSystem: " + std::string(what) + ": " + std::string(path));
}

}  // namespace

FakeFileSystem::FakeFileSystem() = default;
FakeFileSystem::~FakeFileSystem() = default;

bool FakeFileSystem::is_drive_root(std::string_view path) const {
  if (path.size() != 3) return false;
  char letter = fold_ascii(path[0]);
  return letter >= 'A' && letter <= 'Z' && path[1] == ':' && path[2] == '\\';
}

bool FakeFileSystem::name_matches(std::string_view pattern, std::string_view name) {
  if (glob(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         glob(pattern.substr(0, pattern.size() - 2), name);
}

FileTime FakeFileSystem::round_up_two_seconds(FileTime t) {
  FileTime rest = t % kTwoSecondTicks;
  return rest == 0 ? t : t - rest + kTwoSecondTicks;
}

// --- inner workings ---------------------------------------------------------

int FakeFileSystem::parse(std::string_view path, bool for_helper, Volume*& volume,
                          std::vector<std::string>& parts) const {
  std::string folded = fold_ascii(with_backslashes(path));
  volume = nullptr;
  for (const auto& v : volumes_) {
    if (folded.starts_with(v->key) && (!volume || v->key.size() > volume->key.size())) {
      volume = v.get();
    }
  }
  if (!volume) return err::kPathNotFound;
  parts.clear();
  std::size_t i = volume->key.size();
  while (i < path.size()) {
    std::size_t end = i;
    while (end < path.size() && !is_separator(path[end])) ++end;
    if (end > i) {
      std::string_view part = path.substr(i, end - i);
      if (!valid_component(part, for_helper)) return err::kInvalidName;
      parts.emplace_back(part);
    }
    i = end + 1;
  }
  return 0;
}

int FakeFileSystem::locate(std::string_view path, Place& place) {
  std::vector<std::string> parts;
  place = Place{};
  if (int rc = parse(path, false, place.volume, parts)) return rc;
  Node* node = &place.volume->top;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (node->kind != ItemKind::kFolder) return err::kPathNotFound;
    Node* next = node->find(parts[k]);
    if (!next && k + 1 < parts.size()) return err::kPathNotFound;
    place.folder = node;
    place.name = parts[k];
    node = next;
  }
  place.node = node;
  return 0;
}

// Creates the missing folders on the way.
FakeFileSystem::Place FakeFileSystem::locate_for_helper(std::string_view path) {
  std::vector<std::string> parts;
  Place place;
  if (parse(path, true, place.volume, parts) != 0) misuse("not a path on a volume", path);
  Node* node = &place.volume->top;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (!node) {
      node = &add_child(*place.volume, *place.folder, place.name, ItemKind::kFolder, false);
    }
    if (node->kind != ItemKind::kFolder) misuse("not a folder on the way", path);
    place.folder = node;
    place.name = parts[k];
    node = node->find_any(parts[k]);
  }
  place.node = node;
  return place;
}

FakeFileSystem::Node* FakeFileSystem::find_for_helper(std::string_view path) const {
  std::vector<std::string> parts;
  Volume* volume = nullptr;
  if (parse(path, true, volume, parts) != 0) misuse("not a path on a volume", path);
  Node* node = &volume->top;
  for (const auto& part : parts) {
    if (node->kind != ItemKind::kFolder) return nullptr;
    node = node->find_any(part);
    if (!node) return nullptr;
  }
  return node;
}

FileTime FakeFileSystem::stored(const Volume& volume, FileTime t) const {
  return volume.exact_times ? t : round_up_two_seconds(t);
}

FakeFileSystem::Node& FakeFileSystem::add_child(Volume& volume, Node& folder, std::string name,
                                                ItemKind kind, bool touch_folder) {
  auto child = std::make_unique<Node>();
  child->kind = kind;
  child->id = ++last_id_;
  child->name = std::move(name);
  FileTime t = stored(volume, now_);
  child->times = {t, t, t};
  Node& ref = *child;
  folder.children.push_back(std::move(child));
  // A first entry of the same folded name stays first.
  if (!folder.first_of.emplace(fold_ascii(ref.name), &ref).second) folder.has_case_twins = true;
  if (touch_folder) folder.times.last_write = t;
  return ref;
}

void FakeFileSystem::remove_child(Volume& volume, Node& folder, Node& child, bool touch_folder) {
  volume.used_clusters -= clusters(volume, child.data.size());
  std::string key = fold_ascii(child.name);
  auto it = std::find_if(folder.children.begin(), folder.children.end(),
                         [&](const auto& c) { return c.get() == &child; });
  auto entry = folder.first_of.find(key);
  bool was_first = entry != folder.first_of.end() && entry->second == &child;
  folder.children.erase(it);  // child is gone from here on
  if (was_first) folder.first_of.erase(entry);
  if (was_first && folder.has_case_twins) {
    for (const auto& c : folder.children) {
      if (c->carriable && equal_ignoring_ascii_case(c->name, key)) {
        folder.first_of.emplace(key, c.get());
        break;
      }
    }
  }
  if (touch_folder) folder.times.last_write = stored(volume, now_);
}

void FakeFileSystem::set_data(Volume& volume, Node& file, std::string data) {
  volume.used_clusters -= clusters(volume, file.data.size());
  volume.used_clusters += clusters(volume, data.size());
  file.data = std::move(data);
}

std::uint64_t FakeFileSystem::clusters(const Volume& volume, std::uint64_t bytes) const {
  return (bytes + volume.cluster_size - 1) / volume.cluster_size;
}

std::uint64_t FakeFileSystem::free_clusters(const Volume& volume) const {
  std::uint64_t total = volume.capacity / volume.cluster_size;
  return total > volume.used_clusters ? total - volume.used_clusters : 0;
}

// --- FileSystem -------------------------------------------------------------

int FakeFileSystem::search(std::string_view folder, std::string_view pattern,
                           std::vector<DirItem>& items) {
  items.clear();
  Place place;
  if (int rc = locate(folder, place)) return rc;
  if (!place.node) return err::kPathNotFound;
  if (place.node->kind != ItemKind::kFolder) return err::kDirectory;
  for (const auto& c : place.node->children) {
    if (!name_matches(pattern, c->name)) continue;
    DirItem item;
    item.kind = c->kind;
    item.name = c->name;
    item.carriable = c->carriable;
    item.size = c->data.size();
    item.last_write = c->times.last_write;
    items.push_back(std::move(item));
  }
  return 0;
}

int FakeFileSystem::item_kind(std::string_view path, ItemKind& kind) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  kind = place.node->kind;
  return 0;
}

int FakeFileSystem::item_info(std::string_view path, DirItem& item) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  item.kind = place.node->kind;
  item.size = place.node->data.size();
  item.last_write = place.node->times.last_write;
  return 0;
}

int FakeFileSystem::volume(std::string_view path, VolumeInfo& info) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kPathNotFound;
  const Volume* v = place.volume;
  info.exact_times = v->exact_times;
  info.serial = v->serial;
  info.fs_name = v->exact_times ? "NTFS" : "FAT";
  return 0;
}

int FakeFileSystem::free_space(std::string_view path, FreeSpace& space) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kPathNotFound;
  const Volume* v = place.volume;
  space.bytes_per_sector = v->cluster_size % 512 == 0 ? 512 : v->cluster_size;
  space.sectors_per_cluster = v->cluster_size / space.bytes_per_sector;
  space.free_clusters = v->size_unknown ? 0 : free_clusters(*v);
  space.total_clusters = v->size_unknown ? 0 : v->capacity / v->cluster_size;
  return 0;
}

int FakeFileSystem::folder_identity(std::string_view path, FolderIdentity& identity) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  if (place.node->kind != ItemKind::kFolder) return err::kDirectory;
  identity = {place.volume->device, place.node->id};
  return 0;
}

int FakeFileSystem::get_times(std::string_view path, FileTimes& times) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  times = place.node->times;
  return 0;
}

int FakeFileSystem::set_times(std::string_view path, const FileTimes& times) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  Node& n = *place.node;
  if (times.creation != 0) n.times.creation = stored(*place.volume, times.creation);
  if (times.last_access != 0) n.times.last_access = stored(*place.volume, times.last_access);
  if (times.last_write != 0) n.times.last_write = stored(*place.volume, times.last_write);
  return 0;
}

int FakeFileSystem::create_folder(std::string_view path) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (place.node) return err::kAlreadyExists;
  if (place.folder->read_only) return err::kAccessDenied;
  add_child(*place.volume, *place.folder, place.name, ItemKind::kFolder, true);
  return 0;
}

int FakeFileSystem::copy_file(std::string_view from, std::string_view to, CopyObserver* observer) {
  Place src, dst;
  if (int rc = locate(from, src)) return rc;
  if (!src.node) return err::kFileNotFound;
  if (src.node->kind != ItemKind::kFile) return err::kAccessDenied;
  if (int rc = locate(to, dst)) return rc;
  if (!dst.folder) return err::kAccessDenied;  // a volume root
  if (dst.node && dst.node->kind != ItemKind::kFile) return err::kAccessDenied;
  if (dst.folder->read_only) return err::kAccessDenied;
  if (clusters(*dst.volume, src.node->data.size()) > free_clusters(*dst.volume)) {
    return err::kDiskFull;
  }
  if (dst.node == src.node) return 0;
  if (observer) {
    observer->data(src.node->data.data(), src.node->data.size());
    if (!observer->accept()) return err::kCrc;
  }
  Node& out =
      dst.node ? *dst.node : add_child(*dst.volume, *dst.folder, dst.name, ItemKind::kFile, false);
  set_data(*dst.volume, out, src.node->data);
  FileTime t = stored(*dst.volume, now_);
  out.times = {t, t, stored(*dst.volume, src.node->times.last_write)};
  out.read_only = src.node->read_only && dst.volume->exact_times;
  dst.folder->times.last_write = t;
  return 0;
}

int FakeFileSystem::flush() { return 0; }

int FakeFileSystem::set_normal_attributes(std::string_view path) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  place.node->read_only = false;
  return 0;
}

int FakeFileSystem::delete_file(std::string_view path) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  if (!place.folder || place.node->kind == ItemKind::kFolder || place.folder->read_only) {
    return err::kAccessDenied;
  }
  remove_child(*place.volume, *place.folder, *place.node, true);
  return 0;
}

int FakeFileSystem::remove_folder(std::string_view path) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  if (!place.folder) return err::kAccessDenied;
  if (place.node->kind != ItemKind::kFolder) return err::kDirectory;
  if (!place.node->children.empty()) return err::kDirNotEmpty;
  if (place.folder->read_only) return err::kAccessDenied;
  remove_child(*place.volume, *place.folder, *place.node, true);
  return 0;
}

int FakeFileSystem::read_file(std::string_view path, std::string& data) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  if (place.node->kind != ItemKind::kFile) return err::kAccessDenied;
  data = place.node->data;
  return 0;
}

int FakeFileSystem::read_through(std::string_view path, CopyObserver& observer) {
  std::string data;
  if (int rc = read_file(path, data)) return rc;
  observer.data(data.data(), data.size());
  return 0;
}

int FakeFileSystem::write_file(std::string_view path, std::string_view data) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.folder) return err::kAccessDenied;
  if (place.node && place.node->kind != ItemKind::kFile) return err::kAccessDenied;
  if (place.folder->read_only) return err::kAccessDenied;
  if (clusters(*place.volume, data.size()) > free_clusters(*place.volume)) return err::kDiskFull;
  Node& out = place.node
                  ? *place.node
                  : add_child(*place.volume, *place.folder, place.name, ItemKind::kFile, false);
  set_data(*place.volume, out, std::string(data));
  FileTime t = stored(*place.volume, now_);
  out.times = {t, t, t};
  place.folder->times.last_write = t;
  return 0;
}

int FakeFileSystem::open_append(std::string_view path, bool truncate,
                                std::unique_ptr<AppendFile>& file) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.folder) return err::kAccessDenied;
  FileTime t = stored(*place.volume, now_);
  if (place.node) {
    if (place.node->kind != ItemKind::kFile || place.node->read_only) return err::kAccessDenied;
    if (truncate) {
      set_data(*place.volume, *place.node, std::string());
      place.node->times.last_write = t;
    }
  } else {
    if (place.folder->read_only) return err::kAccessDenied;
    add_child(*place.volume, *place.folder, place.name, ItemKind::kFile, true);
  }
  file = std::make_unique<Appender>(*this, std::string(path));
  return 0;
}

int FakeFileSystem::append_to(const std::string& path, std::string_view bytes) {
  Place place;
  if (int rc = locate(path, place)) return rc;
  if (!place.node) return err::kFileNotFound;
  Node& n = *place.node;
  if (n.kind != ItemKind::kFile) return err::kAccessDenied;
  std::uint64_t growth = clusters(*place.volume, n.data.size() + bytes.size()) -
                         clusters(*place.volume, n.data.size());
  if (growth > free_clusters(*place.volume)) return err::kDiskFull;
  set_data(*place.volume, n, n.data + std::string(bytes));
  n.times.last_write = stored(*place.volume, now_);
  return 0;
}

int FakeFileSystem::move_file(std::string_view from, std::string_view to) {
  Place src, dst;
  if (int rc = locate(from, src)) return rc;
  if (!src.node) return err::kFileNotFound;
  if (!src.folder || src.node->kind != ItemKind::kFile) return err::kAccessDenied;
  if (int rc = locate(to, dst)) return rc;
  if (!dst.folder) return err::kAccessDenied;
  if (dst.node == src.node) return 0;
  const bool replaces_link = dst.node && dst.node->kind == ItemKind::kLink;
  if (dst.node && !replaces_link && dst.node->kind != ItemKind::kFile) return err::kAccessDenied;
  if (src.folder->read_only || dst.folder->read_only) return err::kAccessDenied;
  bool same_volume = src.volume == dst.volume;
  if (!same_volume && clusters(*dst.volume, src.node->data.size()) > free_clusters(*dst.volume)) {
    return err::kDiskFull;
  }
  Node& out =
      dst.node ? *dst.node : add_child(*dst.volume, *dst.folder, dst.name, ItemKind::kFile, false);
  out.kind = ItemKind::kFile;
  set_data(*dst.volume, out, src.node->data);
  const FileTimes& t = src.node->times;
  out.times = {stored(*dst.volume, t.creation), stored(*dst.volume, t.last_access),
               stored(*dst.volume, t.last_write)};
  out.read_only = src.node->read_only && (same_volume || dst.volume->exact_times);
  dst.folder->times.last_write = stored(*dst.volume, now_);
  remove_child(*src.volume, *src.folder, *src.node, true);
  return 0;
}

// --- volumes ----------------------------------------------------------------

void FakeFileSystem::add_volume(std::string_view root, bool exact_times, std::uint32_t serial,
                                std::uint64_t capacity_bytes, std::uint32_t cluster_size) {
  if (root.empty() || cluster_size == 0) misuse("bad volume", root);
  auto v = std::make_unique<Volume>();
  v->root = with_backslashes(root);
  if (v->root.back() != '\\') v->root += '\\';
  v->key = fold_ascii(v->root);
  for (const auto& other : volumes_) {
    if (other->key == v->key) misuse("volume added twice", root);
  }
  v->exact_times = exact_times;
  v->serial = serial;
  v->capacity = capacity_bytes;
  v->cluster_size = cluster_size;
  v->top.kind = ItemKind::kFolder;
  v->top.id = ++last_id_;
  v->device = volumes_.size() + 1;
  FileTime t = stored(*v, now_);
  v->top.times = {t, t, t};
  volumes_.push_back(std::move(v));
}

void FakeFileSystem::set_capacity(std::string_view root, std::uint64_t capacity_bytes) {
  Volume* v = nullptr;
  std::vector<std::string> parts;
  if (parse(root, true, v, parts) != 0 || !parts.empty()) misuse("no such volume", root);
  v->capacity = capacity_bytes;
}

void FakeFileSystem::set_size_unknown(std::string_view root, bool unknown) {
  Volume* v = nullptr;
  std::vector<std::string> parts;
  if (parse(root, true, v, parts) != 0 || !parts.empty()) misuse("no such volume", root);
  v->size_unknown = unknown;
}

// Puts `other` where the folder at `path` is, and that folder into `other`.
void FakeFileSystem::swap_folder(std::string_view path, std::unique_ptr<Node>& other) {
  Place place = locate_for_helper(path);
  if (!place.folder || !place.node || place.node->kind != ItemKind::kFolder) {
    misuse("not a folder below a volume root", path);
  }
  auto slot = std::find_if(place.folder->children.begin(), place.folder->children.end(),
                           [&](const auto& c) { return c.get() == place.node; });
  Volume& volume = *place.volume;
  volume.used_clusters += tree_clusters(volume, *other) - tree_clusters(volume, **slot);
  std::swap(*slot, other);
  auto first = place.folder->first_of.find(fold_ascii(place.node->name));
  if (first != place.folder->first_of.end() && first->second == place.node) {
    first->second = slot->get();
  }
}

std::uint64_t FakeFileSystem::tree_clusters(const Volume& volume, const Node& node) const {
  std::uint64_t n = clusters(volume, node.data.size());
  for (const auto& c : node.children) n += tree_clusters(volume, *c);
  return n;
}

void FakeFileSystem::unmount_folder(std::string_view path) {
  std::string key = mount_key(path);
  if (unmounted_.contains(key)) misuse("unmounted already", path);
  Node* mounted = find_for_helper(path);
  if (!mounted) misuse("missing", path);
  auto stand_in = std::make_unique<Node>();
  stand_in->kind = ItemKind::kFolder;
  stand_in->id = ++last_id_;
  stand_in->name = mounted->name;
  stand_in->times = mounted->times;
  swap_folder(path, stand_in);
  unmounted_.emplace(std::move(key), std::move(stand_in));
}

void FakeFileSystem::remount_folder(std::string_view path) {
  auto it = unmounted_.find(mount_key(path));
  if (it == unmounted_.end()) misuse("not unmounted", path);
  swap_folder(path, it->second);
  unmounted_.erase(it);
}

std::uint64_t FakeFileSystem::free_bytes(std::string_view root) const {
  Volume* v = nullptr;
  std::vector<std::string> parts;
  if (parse(root, true, v, parts) != 0 || !parts.empty()) misuse("no such volume", root);
  return free_clusters(*v) * v->cluster_size;
}

// --- test helpers -----------------------------------------------------------

void FakeFileSystem::write(std::string_view path, std::string_view contents, FileTime last_write) {
  Place place = locate_for_helper(path);
  if (!place.folder || place.name.find('?') != std::string::npos) misuse("not a file name", path);
  if (place.node && place.node->kind != ItemKind::kFile) misuse("not a file", path);
  Node& n = place.node
                ? *place.node
                : add_child(*place.volume, *place.folder, place.name, ItemKind::kFile, false);
  set_data(*place.volume, n, std::string(contents));
  FileTime t = stored(*place.volume, now_);
  n.times = {t, t, stored(*place.volume, last_write != 0 ? last_write : now_)};
  n.read_only = false;
}

void FakeFileSystem::make_folders(std::string_view path) {
  Place place = locate_for_helper(path);
  if (!place.folder) return;  // a volume root
  if (place.node) {
    if (place.node->kind != ItemKind::kFolder) misuse("not a folder", path);
    return;
  }
  if (place.name.find('?') != std::string::npos) misuse("not a folder name", path);
  add_child(*place.volume, *place.folder, place.name, ItemKind::kFolder, false);
}

void FakeFileSystem::add_item(std::string_view path, ItemKind kind, bool carriable) {
  Place place = locate_for_helper(path);
  if (!place.folder || place.node) misuse("exists already", path);
  if (carriable && place.name.find('?') != std::string::npos) misuse("not a name", path);
  Node& n = add_child(*place.volume, *place.folder, place.name, kind, false);
  if (!carriable) {
    n.carriable = false;
    auto entry = place.folder->first_of.find(fold_ascii(n.name));
    if (entry != place.folder->first_of.end() && entry->second == &n) {
      place.folder->first_of.erase(entry);
    }
  }
}

void FakeFileSystem::add_case_twin(std::string_view path, std::string_view contents) {
  Place place = locate_for_helper(path);
  if (!place.node || !place.node->carriable || place.node->name == place.name) {
    misuse("no entry that differs only in case", path);
  }
  Node& n = add_child(*place.volume, *place.folder, place.name, ItemKind::kFile, false);
  set_data(*place.volume, n, std::string(contents));
}

void FakeFileSystem::remove_tree(std::string_view path) {
  Place place = locate_for_helper(path);
  if (!place.folder || !place.node) misuse("nothing to remove", path);
  Volume& volume = *place.volume;
  volume.used_clusters -=
      tree_clusters(volume, *place.node) - clusters(volume, place.node->data.size());
  remove_child(volume, *place.folder, *place.node, false);
}

void FakeFileSystem::set_read_only(std::string_view path, bool read_only) {
  Node* n = find_for_helper(path);
  if (!n) misuse("missing", path);
  n->read_only = read_only;
}

bool FakeFileSystem::read_only(std::string_view path) const {
  Node* n = find_for_helper(path);
  if (!n) misuse("missing", path);
  return n->read_only;
}

void FakeFileSystem::set_raw_times(std::string_view path, const FileTimes& times) {
  Node* n = find_for_helper(path);
  if (!n) misuse("missing", path);
  if (times.creation != 0) n->times.creation = times.creation;
  if (times.last_access != 0) n->times.last_access = times.last_access;
  if (times.last_write != 0) n->times.last_write = times.last_write;
}

std::optional<std::string> FakeFileSystem::contents(std::string_view path) const {
  Node* n = find_for_helper(path);
  if (!n || n->kind != ItemKind::kFile) return std::nullopt;
  return n->data;
}

bool FakeFileSystem::exists(std::string_view path) const { return find_for_helper(path); }

FileTimes FakeFileSystem::times(std::string_view path) const {
  Node* n = find_for_helper(path);
  if (!n) misuse("missing", path);
  return n->times;
}

std::vector<std::string> FakeFileSystem::all_paths() const {
  std::vector<std::string> out;
  std::function<void(const Node&, const std::string&)> walk = [&](const Node& folder,
                                                                  const std::string& prefix) {
    for (const auto& c : folder.children) {
      out.push_back(prefix + c->name);
      if (c->kind == ItemKind::kFolder) walk(*c, out.back() + '\\');
    }
  };
  for (const auto& v : volumes_) walk(v->top, v->root);
  return out;
}

}  // namespace keldar

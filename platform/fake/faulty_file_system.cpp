#include "platform/fake/faulty_file_system.h"

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

// A path as rules see it: ASCII case folded, '\' for every separator.
std::string folded(std::string_view path) {
  std::string s = fold_ascii(path);
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// A folder as rules hold it: folded, ending in one '\'.
std::string folder_key(std::string_view folder) {
  std::string key = folded(folder);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key + '\\';
}

bool below(std::string_view path, const std::string& folder) {
  std::string p = folded(path) + '\\';
  return p.starts_with(folder);
}

}  // namespace

class FaultyFileSystem::Appender : public AppendFile {
 public:
  Appender(FaultyFileSystem& fs, std::string path, std::unique_ptr<AppendFile> inner)
      : fs_(fs), path_(std::move(path)), inner_(std::move(inner)) {}

  int append(std::string_view bytes) override {
    int rc = fs_.enter({path_});
    Budget* charge = nullptr;
    if (rc == 0) rc = fs_.room_for(path_, bytes.size(), charge);
    if (rc == 0) rc = inner_->append(bytes);
    if (rc == 0 && charge) charge->bytes -= bytes.size();
    if (rc != 0 && first_error_ == 0) first_error_ = rc;
    return rc;
  }

  int close() override {
    int rc = fs_.enter({path_});
    // The file below is closed whatever happens here: a vanished volume
    // keeps no open file.
    int inner = inner_->close();
    if (first_error_ != 0) return first_error_;
    return rc != 0 ? rc : inner;
  }

 private:
  FaultyFileSystem& fs_;
  std::string path_;
  std::unique_ptr<AppendFile> inner_;
  int first_error_ = 0;
};

// --- faults -----------------------------------------------------------------

void FaultyFileSystem::set_fail_at(std::uint64_t n, int code, bool from_then_on) {
  fail_countdown_ = n;
  fail_code_ = code;
  fail_on_ = from_then_on;
  failing_ = false;
}

void FaultyFileSystem::fail_path(std::string_view text, int code) {
  path_rules_.push_back({folded(text), code});
}

void FaultyFileSystem::clear_failures() {
  fail_countdown_ = 0;
  failing_ = false;
  path_rules_.clear();
}

void FaultyFileSystem::limit_space(std::string_view folder, std::optional<std::uint64_t> bytes) {
  std::string key = folder_key(folder);
  std::erase_if(budgets_, [&](const Budget& b) { return b.folder == key; });
  if (bytes) budgets_.push_back({key, *bytes});
}

void FaultyFileSystem::set_volume_gone(std::string_view folder, bool gone) {
  std::string key = folder_key(folder);
  std::erase(gone_, key);
  if (gone) gone_.push_back(key);
}

void FaultyFileSystem::lose_unflushed() {
  for (auto it = unflushed_.rbegin(); it != unflushed_.rend(); ++it) {
    if (it->existed) {
      (void)inner_.write_file(it->to, it->data);
      (void)inner_.set_times(it->to, it->times);
    } else {
      (void)inner_.delete_file(it->to);
    }
  }
  unflushed_.clear();
}

int FaultyFileSystem::enter(std::initializer_list<std::string_view> paths) {
  ++calls_;
  if (failing_) return fail_code_;
  if (fail_countdown_ > 0 && --fail_countdown_ == 0) {
    failing_ = fail_on_;
    return fail_code_;
  }
  for (std::string_view p : paths) {
    if (gone(p)) return err::kNotReady;
    std::string text = folded(p);
    for (const Rule& rule : path_rules_) {
      if (text.find(rule.text) != std::string::npos) return rule.code;
    }
  }
  return 0;
}

bool FaultyFileSystem::gone(std::string_view path) const {
  return std::any_of(gone_.begin(), gone_.end(),
                     [&](const std::string& folder) { return below(path, folder); });
}

FaultyFileSystem::Budget* FaultyFileSystem::budget_of(std::string_view path) {
  Budget* found = nullptr;  // the innermost limit holds
  for (Budget& b : budgets_) {
    if (below(path, b.folder) && (!found || b.folder.size() > found->folder.size())) found = &b;
  }
  return found;
}

int FaultyFileSystem::room_for(std::string_view path, std::uint64_t bytes, Budget*& charge) {
  charge = budget_of(path);
  if (charge && bytes > charge->bytes) return err::kDiskFull;
  return 0;
}

// --- FileSystem -------------------------------------------------------------

int FaultyFileSystem::search(std::string_view folder, std::string_view pattern,
                             std::vector<DirItem>& items) {
  if (int rc = enter({folder})) {
    items.clear();
    return rc;
  }
  return inner_.search(folder, pattern, items);
}

int FaultyFileSystem::item_kind(std::string_view path, ItemKind& kind) {
  if (int rc = enter({path})) return rc;
  return inner_.item_kind(path, kind);
}

int FaultyFileSystem::item_info(std::string_view path, DirItem& item) {
  if (int rc = enter({path})) return rc;
  return inner_.item_info(path, item);
}

int FaultyFileSystem::volume(std::string_view path, VolumeInfo& info) {
  if (int rc = enter({path})) return rc;
  return inner_.volume(path, info);
}

int FaultyFileSystem::free_space(std::string_view path, FreeSpace& space) {
  if (int rc = enter({path})) return rc;
  if (int rc = inner_.free_space(path, space)) return rc;
  const Budget* budget = budget_of(path);
  const std::uint64_t cluster =
      std::uint64_t{space.sectors_per_cluster} * std::uint64_t{space.bytes_per_sector};
  if (budget && cluster != 0) {
    space.free_clusters = std::min(space.free_clusters, budget->bytes / cluster);
  }
  return 0;
}

int FaultyFileSystem::folder_identity(std::string_view path, FolderIdentity& identity) {
  if (int rc = enter({path})) return rc;
  return inner_.folder_identity(path, identity);
}

int FaultyFileSystem::get_times(std::string_view path, FileTimes& times) {
  if (int rc = enter({path})) return rc;
  return inner_.get_times(path, times);
}

int FaultyFileSystem::set_times(std::string_view path, const FileTimes& times) {
  if (int rc = enter({path})) return rc;
  return inner_.set_times(path, times);
}

int FaultyFileSystem::create_folder(std::string_view path) {
  if (int rc = enter({path})) return rc;
  return inner_.create_folder(path);
}

int FaultyFileSystem::copy_file(std::string_view from, std::string_view to,
                                CopyObserver* observer) {
  if (int rc = enter({from, to})) return rc;
  Budget* charge = budget_of(to);
  DirItem source;
  if (charge && inner_.item_info(from, source) == 0 && source.size > charge->bytes) {
    return err::kDiskFull;
  }
  Copy undo;
  undo.to = to;
  ItemKind kind;
  if (inner_.item_kind(to, kind) == 0 && kind == ItemKind::kFile) {
    undo.existed = inner_.read_file(to, undo.data) == 0 && inner_.get_times(to, undo.times) == 0;
  }
  if (int rc = inner_.copy_file(from, to, observer)) return rc;
  if (charge) charge->bytes -= std::min(charge->bytes, source.size);
  unflushed_.push_back(std::move(undo));
  return 0;
}

int FaultyFileSystem::flush() {
  if (int rc = enter({})) return rc;
  int rc = inner_.flush();
  for (const Copy& copy : unflushed_) {
    if (rc == 0 && gone(copy.to)) rc = err::kNotReady;
  }
  if (rc == 0) unflushed_.clear();
  return rc;
}

int FaultyFileSystem::set_normal_attributes(std::string_view path) {
  if (int rc = enter({path})) return rc;
  return inner_.set_normal_attributes(path);
}

int FaultyFileSystem::delete_file(std::string_view path) {
  if (int rc = enter({path})) return rc;
  return inner_.delete_file(path);
}

int FaultyFileSystem::remove_folder(std::string_view path) {
  if (int rc = enter({path})) return rc;
  return inner_.remove_folder(path);
}

int FaultyFileSystem::read_file(std::string_view path, std::string& data) {
  if (int rc = enter({path})) return rc;
  return inner_.read_file(path, data);
}

int FaultyFileSystem::read_through(std::string_view path, CopyObserver& observer) {
  if (int rc = enter({path})) return rc;
  return inner_.read_through(path, observer);
}

int FaultyFileSystem::write_file(std::string_view path, std::string_view data) {
  if (int rc = enter({path})) return rc;
  Budget* charge = nullptr;
  if (int rc = room_for(path, data.size(), charge)) return rc;
  if (int rc = inner_.write_file(path, data)) return rc;
  if (charge) charge->bytes -= data.size();
  return 0;
}

int FaultyFileSystem::open_append(std::string_view path, bool truncate,
                                  std::unique_ptr<AppendFile>& file) {
  if (int rc = enter({path})) return rc;
  std::unique_ptr<AppendFile> inner;
  if (int rc = inner_.open_append(path, truncate, inner)) return rc;
  file = std::make_unique<Appender>(*this, std::string(path), std::move(inner));
  return 0;
}

int FaultyFileSystem::move_file(std::string_view from, std::string_view to) {
  if (int rc = enter({from, to})) return rc;
  // A move within the folder of one limit is a rename that needs no room.
  Budget* charge = budget_of(to);
  DirItem source;
  if (charge == budget_of(from) || inner_.item_info(from, source) != 0) charge = nullptr;
  if (charge && source.size > charge->bytes) return err::kDiskFull;
  if (int rc = inner_.move_file(from, to)) return rc;
  if (charge) charge->bytes -= source.size;
  return 0;
}

}  // namespace keldar

#include "lists/removal.h"

#include <vector>

#include "lists/scan.h"
#include "platform/errors.h"

namespace keldar {
namespace {

// "*", "*.*" and the like: a search that would find an empty folder's own
// "." and ".." entries where the system reports them.
bool matches_every_name(std::string_view pattern) {
  return pattern.find('*') != std::string_view::npos &&
         pattern.find_first_not_of("*.") == std::string_view::npos;
}

}  // namespace

bool delete_tree(Env& env, const std::string& folder, std::string_view pattern, bool delete_files,
                 bool keep_folder, long* deleted) {
  long own = 0;
  if (deleted == nullptr) deleted = &own;
  std::vector<DirItem> items;
  if (env.fs.search(folder, pattern, items) != err::kOk) return true;
  // Nothing of the pattern: the folder is left alone, unless the pattern
  // matches every name; then the folder is empty and goes.
  if (items.empty() && !matches_every_name(pattern)) return true;
  std::string self = folder;
  while (self.size() > 1 && (self.back() == '\\' || self.back() == '/')) self.pop_back();
  // A folder that may not be written keeps its files on Linux, where a
  // read-only attribute of a Windows folder would not.
  if (delete_files) (void)env.fs.set_normal_attributes(self);
  // A folder that stays keeps its times: the deletions are the program's,
  // not a change of the user's that the next Synchronize would pass on.
  FileTimes times;
  const bool times_known = keep_folder && env.fs.get_times(self, times) == err::kOk;
  bool kept = false;
  std::string prefix = folder;
  if (prefix.empty() || (prefix.back() != '\\' && prefix.back() != '/')) {
    prefix += env.fs.separator();
  }
  for (const DirItem& item : items) {
    if (env.stop.pending()) break;
    const std::string full_path = prefix + item.name;
    if (item.kind == ItemKind::kFolder) {
      std::string sub = full_path;
      sub += env.fs.separator();
      if (!delete_tree(env, sub, pattern, delete_files, false, deleted)) kept = true;
    } else if (delete_files) {
      (void)env.fs.set_normal_attributes(full_path);
      (void)env.fs.delete_file(full_path);
      env.progress.show(++*deleted);
    } else {
      kept = true;
    }
  }
  if (times_known) (void)env.fs.set_times(self, times);
  if (kept) return false;
  if (keep_folder) return true;
  (void)env.fs.set_normal_attributes(self);
  return env.fs.remove_folder(self) == err::kOk;
}

namespace {

// A stop request that never comes: the deletions of the dialogs run
// outside any run.
class NoStop : public StopRequest {
 public:
  bool pending() const override { return false; }
  void request() override {}
};

}  // namespace

void delete_object_list(Env& env, Workspace& w, int index) {
  const std::int16_t id = w.objects.record(index).id();
  (void)env.fs.delete_file(w.carrier.path(list_file(id)));
  (void)env.fs.delete_file(w.carrier.path(sum_file(id)));
  const std::string carrier_folder = object_carrier_folder(w.carrier, id);
  std::string item = carrier_folder.substr(0, carrier_folder.size() - 1);
  ItemKind kind;
  if (env.fs.item_kind(item, kind) == err::kOk && kind == ItemKind::kLink) {
    // A link in place of the carrier folder is removed, not followed.
    (void)env.fs.delete_file(item);
  } else {
    NoStop no_stop;
    Env whole{env.fs, env.clock, env.host, env.log, no_stop};
    (void)delete_tree(whole, carrier_folder, "*.*", true);
  }
  w.lists.release();
}

}  // namespace keldar

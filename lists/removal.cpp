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

bool delete_tree(Context& ctx, const std::string& folder, std::string_view pattern,
                 bool delete_files, bool keep_folder) {
  std::vector<DirItem> items;
  if (ctx.fs.search(folder, pattern, items) != err::kOk) return true;
  // Nothing of the pattern: the folder is left alone, unless the pattern
  // matches every name; then the folder is empty and goes.
  if (items.empty() && !matches_every_name(pattern)) return true;
  std::string self = folder;
  while (self.size() > 1 && (self.back() == '\\' || self.back() == '/')) self.pop_back();
  // A folder that may not be written keeps its files on Linux, where a
  // read-only attribute of a Windows folder would not.
  if (delete_files) (void)ctx.fs.set_normal_attributes(self);
  bool kept = false;
  std::string prefix = folder;
  if (prefix.empty() || (prefix.back() != '\\' && prefix.back() != '/')) {
    prefix += ctx.fs.separator();
  }
  for (const DirItem& item : items) {
    if (!ctx.queue.running()) break;
    const std::string full_path = prefix + item.name;
    if (item.kind == ItemKind::kFolder) {
      std::string sub = full_path;
      sub += ctx.fs.separator();
      if (!delete_tree(ctx, sub, pattern, delete_files)) kept = true;
    } else if (delete_files) {
      (void)ctx.fs.set_normal_attributes(full_path);
      (void)ctx.fs.delete_file(full_path);
      ++ctx.deleted;
      ctx.progress.show(ctx.deleted);
    } else {
      kept = true;
    }
  }
  if (kept) return false;
  if (keep_folder) return true;
  (void)ctx.fs.set_normal_attributes(self);
  return ctx.fs.remove_folder(self) == err::kOk;
}

void delete_object_list(Context& ctx) {
  (void)ctx.fs.delete_file(ctx.config_path(list_file_name(ctx.object().id()) + ".QRN"));
  const std::string carrier_folder = carrier_path(ctx, "\\");
  std::string item = carrier_folder.substr(0, carrier_folder.size() - 1);
  ItemKind kind;
  if (ctx.fs.item_kind(item, kind) == err::kOk && kind == ItemKind::kLink) {
    // A link in place of the carrier folder is removed, not followed.
    (void)ctx.fs.delete_file(item);
  } else {
    ctx.queue.set(op::kDeleteTree);
    (void)delete_tree(ctx, carrier_folder, "*.*", true);
    ctx.queue.set(op::kNone);
  }
  ctx.lists.release();
}

}  // namespace keldar

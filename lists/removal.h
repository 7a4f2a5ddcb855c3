// Removing folder trees and an object's list with its carrier folder.
#pragma once

#include <string>
#include <string_view>

#include "lists/run.h"

namespace keldar {

// Deletes the files of `pattern` in `folder` (ending in a separator) and in
// every folder below it, then the folders, bottom up. With `delete_files`
// false only folders without files are removed. Read-only files are made
// writable first. Links inside the tree are removed as links, never
// followed. Each deleted file advances `*deleted` (when given), which the
// progress field shows. With `keep_folder` `folder` itself stays (emptied)
// with its times.
// Returns true when the folder was removed (or kept as asked) or held
// nothing of the pattern, false when something was kept.
bool delete_tree(Env& env, const std::string& folder, std::string_view pattern, bool delete_files,
                 bool keep_folder = false, long* deleted = nullptr);

// Removes the list file and the sum file of object `index` and its carrier
// folder with all it holds, then releases all lists. Must not run while a worker runs.
void delete_object_list(Env& env, Workspace& workspace, int index);

}  // namespace keldar

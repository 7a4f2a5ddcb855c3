// Removing folder trees and an object's list with its carrier folder.
#pragma once

#include <string>
#include <string_view>

#include "lists/context.h"

namespace keldar {

// Deletes the files of `pattern` in `folder` (ending in a separator) and in
// every folder below it, then the folders, bottom up. With `delete_files`
// false only folders without files are removed. Read-only files are made
// writable first. Links inside the tree are removed as links, never
// followed. Each deleted file advances ctx.deleted. With `keep_folder`
// `folder` itself stays (emptied). Returns true when the folder was removed
// (or kept as asked) or held nothing of the pattern, false when something
// was kept.
bool delete_tree(Context& ctx, const std::string& folder, std::string_view pattern,
                 bool delete_files, bool keep_folder = false);

// Removes the current object's list file and its carrier folder with all it
// holds, then releases all lists. Must not run while a worker runs.
void delete_object_list(Context& ctx);

}  // namespace keldar

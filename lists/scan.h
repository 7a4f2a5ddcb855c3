// Filling the file lists: load each list file, then scan the object folder
// on this computer and the object's carrier folder, entering every file and
// folder found with its stamp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lists/run.h"
#include "lists/stamps.h"
#include "platform/file_system.h"

namespace keldar {

// The folder of an object path such as "/home/ann/work/*.*" or
// "D:\WORK\*.*": the text up to and including its last separator ('\' or
// '/'); and the pattern after it.
std::string_view path_folder(std::string_view object_path);
std::string_view path_pattern(std::string_view object_path);

// The unmarked stamp of an item found in `folder` (ending in a separator),
// its seconds taken by `seconds`. On an exact-time
// object volume a time that is not a whole two seconds is rounded to the
// nearest one (an odd second rounds down) and written back to the item.
std::uint32_t take_stamp(Env& env, const DirItem& item, std::string_view folder, bool exact_object,
                         StampSeconds& seconds);

// How a fill treats the leftover temporaries of a killed run: a run that
// writes removes them, a Compare leaves every file as it is.
enum class Leftovers { kKeep, kRemove };

// Fills the list of `run` (loaded first): 0 when the object has no folder on
// this computer, -1 on failure, else the number of entries. Logs the count
// line.
long fill_object_list(Env& env, const ObjectRun& run, Leftovers leftovers);

// Releases the lists and fills every object's list anew: 0, or the negative
// result of the first object that failed. Logs the opening and closing
// lines; with Leftovers::kRemove also removes those in the carrier folder.
long fill_all_lists(Env& env, Workspace& workspace, Leftovers leftovers);

}  // namespace keldar

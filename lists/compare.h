// Comparing an object with its file list: what changed here since this
// computer last synchronised, and what the carrier holds for it. Changes
// nothing; its whole output is log lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "lists/run.h"
#include "lists/stamps.h"

namespace keldar {

// Logs the marker directly followed by the name.
void log_marked(Log& log, std::string_view marker, std::string_view name);

// Compares the object of `run` with its list. Returns the number of entries
// examined.
long compare_object(Env& env, const ObjectRun& run);

}  // namespace keldar

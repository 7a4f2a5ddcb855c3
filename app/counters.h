// The change counters of the objects and masks dialogs, which the main
// window logs after the dialog has closed.
#pragma once

#include "lists/run.h"

namespace keldar {

struct ChangeCounters {
  int added = 0;
  int changed = 0;
  int deleted = 0;
};

// One line per non-zero counter: deleted, added, changed, in this order,
// each text followed by " %i".
void log_object_counters(Log& log, const ChangeCounters& counters);
void log_mask_counters(Log& log, const ChangeCounters& counters);

}  // namespace keldar

// The synchronisation actions on the current object: Action 2 (object to
// carrier), Action 1 (carrier to object), the etalon copy, and the check of
// the carrier copies. Each walks the
// object's list from its last entry to its first, polls the stop request,
// logs one line per entry it acts on and a summary, and returns the number
// of entries examined, or -1 when no lists are held (the etalon copy fills
// them instead).
#pragma once

#include "lists/run.h"

namespace keldar {

long action2(Env& env, const ObjectRun& run);
long action1(Env& env, const ObjectRun& run);
long etalon_copy(Env& env, const ObjectRun& run);
// Loads the object's list and reads every carrier copy of it that has a
// sum record (copy_sum), logging "ERC=" and the reason for each one that is
// not the recorded copy or cannot be read. Scans no folder and changes
// nothing: the list is left clean. Ends with a count of the copies checked,
// found damaged and without a record.
long verify_copies(Env& env, const ObjectRun& run);

}  // namespace keldar

// The holder rule: from the list stamps, whether an entry has to travel and
// which computer's version it is.
#pragma once

#include <cstdint>

#include "lists/run.h"

namespace keldar {

// 0: nothing has to travel; 1..4: the number of the computer whose version
// has to travel; in the after-applying form, for a delete command only, -1:
// the command is still needed. Reads the current object's record, the force
// flag and the current computer; changes nothing.
std::int16_t holder_rule(const ObjectRun& run, const ListEntry& entry, bool after_applying);
// The same with `object_stamp` standing for the entry's object stamp.
std::int16_t holder_rule(const ObjectRun& run, const ListEntry& entry, bool after_applying,
                         std::uint32_t object_stamp);

}  // namespace keldar

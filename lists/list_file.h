// The list file NNNNN.QRN in the carrier folder.
//
//   offset 0  magic 0xE5
//   offset 1  list state of computers 0..3, one byte each
//   offset 5  entry records to the end of the file: four list stamps
//             (uint32 each), name length n (uint16, 0..259), entry state
//             (byte), then n name bytes without a terminator
//
// Object and carrier stamps are not stored.
#pragma once

#include <string>

#include "lists/run.h"

namespace keldar {

// The list file's bytes: the header, then every entry that has a nonzero
// stamp; names are cut to 259 bytes.
std::string encode_list(const FileList& list);

// Resets the list of `run` and loads its file. Returns the number of
// entries held, or -1 when memory or the name store ran out. `opened` tells
// whether the file could be read. A damaged tail ends the load; names that
// must not be used to build a path are kept, marked unsafe, and logged.
// The list's sum file is read with it: one that is missing, unreadable,
// damaged or too big for the list gives no records (its copies are not
// verified), never an error.
long load_list_file(Env& env, const ObjectRun& run, bool& opened);

// The sum record of the carrier copy of `entry`: the one of its name,
// written with the entry's state and with its carrier stamp (or one that
// differs from it in the daylight marker only); nullptr when there is none,
// and the copy is not verified.
const SumRecord* copy_sum(const FileList& list, const ListEntry& entry);

// Writes the file of every dirty list, each through a temporary renamed
// over the old file, and logs one line per list: the number of records
// written ("%5i") or "ErrOp" / "ErrWr", then "->" and the path. A list that
// could not be written stays dirty and its old file stays as it was.
// Lists that a stop request left incomplete are never written, nor is any
// list on a carrier gone or replaced since start-up (carrier_in_place).
// Every copy made so far is flushed to its disk first; when that fails, no
// list is written (each logs the error as a failed write). Returns false
// when some list could not be written.
// Each list's sum file is written just before it (the records whose copies
// are still on the carrier as recorded, see copy_sum), or removed when no
// record is left. Only a failure is logged ("ErrWr->" and the path); the
// old sum file is then removed rather than left behind.
bool write_lists(Env& env, Workspace& workspace);

}  // namespace keldar

// The object and mask tables administered without a window: listed, and
// changed by driving the objects and masks dialogs' own logic, so a change
// is checked, logged, counted and saved exactly as in the window.
#pragma once

#include "app/batch.h"
#include "app/program.h"
#include "app/session.h"

namespace keldar {

// Carries out `command` in a started program. Listings are shown to the
// host alone, not logged. A change is refused, with a message to the host,
// while another run holds the carrier (kCarrierBusy), on an unidentified
// computer (kUnidentified), for a path or pattern the tables cannot store
// or a mask index that does not exist (kUsage), when an object id is not in
// the table (kFailures), and when the deletion of an object is not answered
// Да (kInterrupted). Returns that status, or 0; the dialogs' own failures
// (a damaged or unwritable table) show in the run's failures.
int administer(Program& program, Session& session, const AdminCommand& command);

// The index of the object with `id`, or -1 after logging that there is none
// (which counts as a failure of the run).
int find_object(Session& session, int id);

}  // namespace keldar

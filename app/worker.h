// The worker runs: the operations of the run queue applied to every object
// (Compare, Synchronize) or to the current object (the objects dialog).
#pragma once

#include "app/session.h"

namespace keldar {

// The outcome of a run, for the batch exit status.
struct RunOutcome {
  bool interrupted = false;  // a stop request ended the run
  bool failed = false;       // lists could not be filled or written, or an operation failed
  bool unreachable = false;  // an object's folder could not be examined
};

// Runs the queued operations over all objects, on the calling thread. The
// queue must hold the operations (Compare: 1, 0, 0). Polls the stop request.
RunOutcome run_all_objects(Session& session);

// The Compare banner: the timestamp text of now, 23 "=|" and " СРАВНИТЬ".
void log_compare_banner(Session& session);

}  // namespace keldar

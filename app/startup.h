// Start-up: find the carrier, open the log, identify this computer and load
// the tables; and the end of a run.
#pragma once

#include <string_view>

#include "app/session.h"

namespace keldar {

// The drive of the identification file chosen by the program's argument
// text (what follows the program name): "1" -> 'D', "2" -> 'E', "3" -> 'F',
// anything else or nothing -> 'C'. Only the first character after leading
// blanks counts.
char identification_drive(std::string_view argument_text);

enum class StartResult {
  kReady,          // start-up finished; the computer may still be unidentified
  kIdFileFailed,   // the identification file could not be created
  kFifthComputer,  // the computer table holds four other computers
  kNoCarrier,      // the current directory (the carrier) cannot be had
};

// Runs the start-up sequence in `session`, with the identification file of
// `drive`. Every step is logged. On kIdFileFailed and kFifthComputer the host
// was shown the message and the program is to end; the log is still open.
StartResult start_up(Session& session, char drive);

// The end of a run: the dirty lists are written, the end banner and its
// separator logged, the lists released, and the log closed and moved back to
// the carrier. Returns the result code of closing the log.
int finish_run(Session& session);

}  // namespace keldar

// The state one run of the program shares between its parts: where the
// carrier is, which computer this is, the tables, the log.
#pragma once

#include <cstdint>
#include <string>

#include "app/operation_log.h"
#include "lists/context.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/host.h"
#include "platform/system.h"
#include "store/computer_table.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {

// What went wrong during a run, for the exit status of batch runs.
struct Failures {
  bool config_file = false;   // a table file could not be read, created or written
  bool log_file = false;      // the log could not be opened, written or moved back
  bool unidentified = false;  // the computer could not be identified
  bool lists = false;         // a file list could not be filled or written
};

class Session : public Context {
 public:
  // The operation log is constructed after the Context that refers to it;
  // nothing logs before the Session is complete.
  Session(FileSystem& fs, System& system, Clock& clock, Host& host)
      : Context(fs, clock, host, operation_log), system(system), operation_log(fs, host, clock) {}

  System& system;
  OperationLog operation_log;

  std::string id_file;  // this computer's identification file
  ComputerTable computers;
  Failures failures;
};

}  // namespace keldar

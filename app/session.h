// The state one run of the program shares between its parts: where the
// carrier is, which computer this is, the tables, the log.
#pragma once

#include <cstdint>
#include <string>

#include "app/operation_log.h"
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
};

class Session {
 public:
  Session(FileSystem& fs, System& system, Clock& clock, Host& host)
      : fs(fs), system(system), clock(clock), host(host), log(fs, host, clock) {}

  FileSystem& fs;
  System& system;
  Clock& clock;
  Host& host;
  OperationLog log;

  std::string config_dir;  // the carrier folder, ending in a separator
  std::string id_file;     // this computer's identification file
  bool exact_time_carrier = false;
  int computer = -1;  // this computer's slot, -1 until identified

  ComputerTable computers;
  MaskTable masks;
  ObjectTable objects;
  Failures failures;

  std::string config_path(const char* file_name) const { return config_dir + file_name; }

  // Whether this computer is identified. When it is not, logs one line saying
  // that `what` cannot be done and returns false.
  bool require_computer(std::string_view what);
};

}  // namespace keldar

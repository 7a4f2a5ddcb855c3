// The state one run of the program shares between its parts: where the
// carrier is, which computer this is, the tables and lists, the log, and
// the run queue with the flags it runs by.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/operation_log.h"
#include "app/run_queue.h"
#include "lists/run.h"
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

// The carrier, the tables and lists (Workspace), and what the run layer
// adds to them. Members are made in the order they are declared, each from
// those before it.
class Session : public Workspace {
 public:
  Session(FileSystem& fs, System& system, Clock& clock, Host& host)
      : fs(fs), clock(clock), host(host), system(system), operation_log(fs, host, clock) {}

  FileSystem& fs;
  Clock& clock;
  Host& host;
  System& system;
  OperationLog operation_log;
  Log& log = operation_log;
  RunQueue queue;
  // What the list and synchronisation operations work with.
  Env env{fs, clock, host, operation_log, queue};

  // How the run queue's operations run: without the permission checks
  // (force), as the rebuild of Replace object, on which object, and what
  // operation 6 deletes (the tree of this path pattern, with its files when
  // `delete_files` is set).
  bool force = false;
  bool rebuild = false;
  int current_object = 0;
  std::string operand_path;
  bool delete_files = false;

  std::string id_file;  // this computer's identification file
  // Another run of the program held the carrier when this one started.
  bool carrier_busy = false;
  ComputerTable computers;
  Failures failures;

  // Whether this computer is identified; logs one line when it is not.
  bool require_computer(std::string_view what) {
    return keldar::require_computer(log, computer, what);
  }
  const ObjectRecord& object() const { return objects.record(current_object); }
  FileList& list() { return lists.list(current_object); }
  // The current object as the operations act on it (its list held).
  ObjectRun current_run() { return object_run(current_object, force, rebuild); }
};

}  // namespace keldar

// What the list and synchronisation operations work with: the platform and
// the log (Env), the carrier, the tables (Workspace) and the one object an
// operation acts on (ObjectRun). The run queue that decides which operation
// runs when, and the flags it sets, belong to the run layer (app/); the
// operations only poll its stop request.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lists/file_list.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/host.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {

// The operation log as the operations see it.
class Log {
 public:
  virtual ~Log() = default;
  // Logs one line (Windows-1251, no line end). Any thread.
  virtual void line(std::string_view text) = 0;
  // Whether daylight saving time was in effect at the last time conversion.
  virtual bool daylight() const = 0;
  // Told of every failure that log_system_error reports (a copy, a deletion
  // or a list write that failed).
  virtual void note_failure() {}
};

// The stop request of the run an operation belongs to: every long loop
// polls it before each step, and an operation that cannot go on (a
// question answered Отмена, the carrier gone) makes it. Any thread.
class StopRequest {
 public:
  virtual ~StopRequest() = default;
  virtual bool pending() const = 0;
  virtual void request() = 0;
};

// The short progress text of long loops, passed on to the host at most about
// twenty times a second; clear() always passes the empty text.
class Progress {
 public:
  explicit Progress(Host& host) : host_(host) {}
  void show(long value);
  void clear();

 private:
  Host& host_;
  std::chrono::steady_clock::time_point last_{};
};

// The platform, the log, the progress field and the stop request.
struct Env {
  Env(FileSystem& fs, Clock& clock, Host& host, Log& log, StopRequest& stop)
      : fs(fs), clock(clock), host(host), log(log), stop(stop), progress(host) {}

  FileSystem& fs;
  Clock& clock;
  Host& host;
  Log& log;
  StopRequest& stop;
  Progress progress;
};

// The carrier folder: the configuration folder the program was started in.
struct Carrier {
  std::string folder;  // ending in a separator
  bool exact_times = false;
  // The folder's identity, taken at start-up: the carrier must stay that
  // very folder until the program ends (see carrier_in_place).
  std::optional<FolderIdentity> identity;
  bool lost = false;  // found gone or replaced since start-up

  std::string path(std::string_view file_name) const { return folder + std::string(file_name); }
};

// Whether the carrier folder is still the folder it was at start-up (same
// device and inode); true when no identity was taken. A carrier pulled,
// unmounted or replaced (an empty mount point left behind) must receive
// nothing more: the first call that finds it so marks it lost for good and,
// with `report`, logs the not-ready error (21); without, the caller reports
// that code itself. Later calls are false at once. False makes the stop
// request.
bool carrier_in_place(Env& env, Carrier& carrier, bool report = true);

// One object as an operation acts on it: its record, its list, its folder
// on this computer and its carrier folder, and how the run treats it.
struct ObjectRun {
  const ObjectRecord& record;
  FileList& list;
  NameStore& names;  // where the list's names are kept
  const MaskTable& masks;
  Carrier& carrier;
  int computer = -1;           // this computer's slot
  std::string object_folder;   // ending in a separator; empty when the object has none here
  std::string pattern;         // of the object's files ("*.*" when none is given)
  std::string carrier_folder;  // the carrier folder + NNNNN, ending in a separator
  bool force = false;          // act without the permission checks
  // Replace object: the run emptied the object folder itself before filling
  // the lists, so what is missing there was removed by the run, not by the
  // user.
  bool rebuild = false;

  // The object folder or the object's carrier folder followed by a relative
  // name ("\" adds nothing).
  std::string object_path(std::string_view relative_name) const;
  std::string carrier_path(std::string_view relative_name) const;
  bool exact_object() const { return list.exact_object; }
  bool exact_carrier() const { return carrier.exact_times; }
  // What find_or_add needs to mark stamps now.
  Marking marking(bool daylight) const { return {computer, daylight, carrier.exact_times}; }
};

// The carrier and the tables of a run: what the operations over all objects
// (filling and writing the lists) work through.
struct Workspace {
  Carrier carrier;
  int computer = -1;  // this computer's slot, -1 until identified
  MaskTable masks;
  ObjectTable objects;
  ListTable lists;

  // The run of object `index` (whose list must be held).
  ObjectRun object_run(int index, bool force = false, bool rebuild = false);
};

// The carrier folder of the object with id `id`: the carrier folder +
// NNNNN, ending in a separator.
std::string object_carrier_folder(const Carrier& carrier, std::int16_t id);

// Whether this computer is identified. When it is not, logs one line
// saying that `what` cannot be done and returns false.
bool require_computer(Log& log, int computer, std::string_view what);

// Logs "code: text" with the system's text of a file-operation result code;
// nothing for 0, and a fixed line for the not-enough-space code 0x7FFF and
// for the damaged-copy code 0x7FFD.
void log_system_error(Log& log, int code);

// The not-enough-space result of the file operations.
inline constexpr int kNoSpaceCode = 0x7FFF;
// A carrier copy whose content is not the one recorded when it was put on
// the carrier (see the sum file).
inline constexpr int kDamagedCopyCode = 0x7FFD;

}  // namespace keldar

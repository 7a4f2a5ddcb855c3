// What the list and synchronisation operations share during a run: the
// carrier, this computer, the tables and lists, the log and the run queue.
#pragma once

#include <array>
#include <atomic>
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

// Operation codes of the run queue.
namespace op {
inline constexpr std::int16_t kNone = 0;
inline constexpr std::int16_t kCompare = 1;
inline constexpr std::int16_t kEtalon = 2;
inline constexpr std::int16_t kAction2 = 3;
inline constexpr std::int16_t kAction1 = 4;
inline constexpr std::int16_t kFill = 5;
inline constexpr std::int16_t kDeleteTree = 6;
}  // namespace op

// Up to three operations run one after the other. Slot 0 holds the one being
// executed; setting it to 0 is the stop request, which every loop polls.
class RunQueue {
 public:
  void set(std::int16_t first, std::int16_t second = 0, std::int16_t third = 0) {
    slots_[1] = second;
    slots_[2] = third;
    slots_[0] = first;
  }
  std::int16_t current() const { return slots_[0]; }
  std::int16_t next() const { return slots_[1]; }
  bool running() const { return slots_[0] != 0; }
  // Whether one of the three slots holds `operation`.
  bool holds(std::int16_t operation) const {
    for (const auto& slot : slots_) {
      if (slot == operation) return true;
    }
    return false;
  }
  // Whether the run changes files: anything but a Compare. Only such runs
  // remove the leftovers of a killed run.
  bool writes() const { return running() && !holds(op::kCompare); }
  void request_stop() { slots_[0] = 0; }
  // Slot 0 itself, for a signal handler's stop request (lock-free).
  std::atomic<std::int16_t>& stop_slot() { return slots_[0]; }
  // slot 0 = slot 1, slot 1 = slot 2, slot 2 = 0.
  void shift() {
    slots_[0] = slots_[1].load();
    slots_[1] = slots_[2].load();
    slots_[2] = 0;
  }

 private:
  std::array<std::atomic<std::int16_t>, 3> slots_{};
};

// The short progress text of long loops, passed on to the host at most about
// twenty times a second; finish() always passes the empty text.
class Progress {
 public:
  explicit Progress(Host& host) : host_(host) {}
  void show(long value);
  void clear();

 private:
  Host& host_;
  std::chrono::steady_clock::time_point last_{};
};

struct Context {
  Context(FileSystem& fs, Clock& clock, Host& host, Log& log)
      : fs(fs), clock(clock), host(host), log(log), progress(host) {}

  FileSystem& fs;
  Clock& clock;
  Host& host;
  Log& log;
  Progress progress;

  std::string config_dir;  // the carrier folder, ending in a separator
  // The carrier folder's identity, taken at start-up: the carrier must stay
  // that very folder until the program ends (see carrier_in_place).
  std::optional<FolderIdentity> carrier_identity;
  bool carrier_lost = false;  // found gone or replaced since start-up
  bool exact_time_carrier = false;
  int computer = -1;  // this computer's slot, -1 until identified

  MaskTable masks;
  ObjectTable objects;
  ListTable lists;
  RunQueue queue;
  bool force = false;  // act without the permission checks
  // Replace object: the run emptied the object folder itself before filling
  // the lists, so what is missing there was removed by the run, not by the
  // user.
  bool rebuild = false;
  int current_object = 0;  // index in the object table
  // Operation 6 deletes the tree of this path pattern, with its files when
  // `delete_files` is set.
  std::string operand_path;
  bool delete_files = false;

  // Counters of the comparison; `deleted` is advanced by tree deletion too.
  long added = 0;
  long changed = 0;
  long deleted = 0;

  // Whether this computer is identified. When it is not, logs one line
  // saying that `what` cannot be done and returns false.
  bool require_computer(std::string_view what);
  // What find_or_add needs to mark stamps now.
  Marking marking() const { return {computer, log.daylight(), exact_time_carrier}; }

  std::string config_path(std::string_view file_name) const {
    return config_dir + std::string(file_name);
  }
  const ObjectRecord& object() const { return objects.record(current_object); }
  FileList& list() { return lists.list(current_object); }
};

}  // namespace keldar

namespace keldar {

// Logs "code: text" with the system's text of a file-operation result code;
// nothing for 0, and a fixed line for the not-enough-space code 0x7FFF.
void log_system_error(Log& log, int code);

// The not-enough-space result of the file operations.
inline constexpr int kNoSpaceCode = 0x7FFF;

// Whether the carrier folder is still the folder it was at start-up (same
// device and inode); true when no identity was taken. A carrier pulled,
// unmounted or replaced (an empty mount point left behind) must receive
// nothing more: the first call that finds it so marks it lost for good and,
// with `report`, logs the not-ready error (21); without, the caller reports
// that code itself. Later calls are false at once. False stops the run.
bool carrier_in_place(Context& ctx, bool report = true);

}  // namespace keldar

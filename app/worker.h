// The worker runs: the operations of the run queue applied to every object
// (Compare, Synchronize) or to the current object (the objects dialog), on a
// thread of their own, one run at a time.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

#include "app/session.h"

namespace keldar {

// The outcome of a run, for the batch exit status.
struct RunOutcome {
  bool interrupted = false;  // a stop request ended the run
  bool failed = false;       // lists could not be filled or written, or an operation failed
  bool unreachable = false;  // an object's folder could not be examined
};

// Runs the queued operations over all objects, on the calling thread. The
// queue must hold the operations (Compare: 1, 0, 0; Synchronize: 4, 3, 0).
// Polls the stop request.
RunOutcome run_all_objects(Session& session);

// Runs the queued operations on the current object, on the calling thread,
// with the force flag, operand path and delete-files flag as prepared.
RunOutcome run_one_object(Session& session);

// The banners of Compare, Synchronize and the check of the carrier copies:
// the timestamp text of now, then 23 "=|" and " СРАВНИТЬ", 20 "=|", "=" and
// " СИНХРОНИЗАЦИЯ", or 20 "=|" and " ПРОВЕРКА КОПИЙ".
void log_compare_banner(Session& session);
void log_sync_banner(Session& session);
void log_verify_banner(Session& session);

// The single-object operations of the objects dialog.
enum class ObjectOperation { kCompare, kReplace, kCopy, kEtalon, kFromCarrier, kClear };
std::optional<ObjectOperation> parse_object_operation(std::string_view name);

// The preparation of a single-object operation on object `index`: its
// question (Replace object only), its log lines and file deletion, the force
// flag, the operand path and the queue. False when nothing is to run (the
// question was answered Нет, or there is no such object).
bool prepare_object_operation(Session& session, int index, ObjectOperation operation);

// One run at a time on a worker thread. start() refuses, with a log line, a
// second run while one is in progress.
class RunThread {
 public:
  enum class Kind { kAllObjects, kOneObject };
  ~RunThread();
  bool start(Session& session, Kind kind);
  // Called on the worker thread when a run has ended and busy() is false
  // again; a window uses it to learn that the run is over. Set it before the
  // first start().
  void set_on_finished(std::function<void()> on_finished) { on_finished_ = std::move(on_finished); }
  // Waits for the run to end; its outcome.
  RunOutcome wait();
  bool busy() const { return busy_; }

 private:
  std::thread thread_;
  std::atomic<bool> busy_{false};
  RunOutcome outcome_;
  std::function<void()> on_finished_;
};

}  // namespace keldar

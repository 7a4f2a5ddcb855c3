// The program as its main window drives it, for every front end: the
// start-up sequence and the exit status it may end the program with,
// Compare, Synchronize and the objects dialog's runs (one at a time),
// Выход/Стоп and the end of the program, which commands are enabled when,
// and the change counters logged after a list dialog. A window implements
// MainWindowView and holds no decisions of its own; batch runs use the same
// logic with a view that shows nothing.
#pragma once

#include <optional>
#include <string_view>

#include "app/counters.h"
#include "app/session.h"
#include "app/worker.h"

namespace keldar {

// Exit statuses. When several things went wrong, the smallest status among
// them is returned.
namespace exit_status {
inline constexpr int kOk = 0;
inline constexpr int kIdFileFailed = 1;   // the identification file could not be created
inline constexpr int kUsage = 2;          // wrong arguments
inline constexpr int kFifthComputer = 3;  // the computer table holds four other computers
inline constexpr int kUnidentified = 4;   // no name given, or the computer could not be identified
inline constexpr int kConfigFile = 5;     // a table file could not be read, created or written
inline constexpr int kLogFile = 6;        // the log could not be opened, written or moved back
inline constexpr int kNoCarrier = 7;      // the current directory cannot be used as the carrier
inline constexpr int kFailures = 8;       // something failed: a copy or deletion (EC=, ERC=, ERD=),
                                     // a list (ErrOp, ErrWr), a system error, an unreachable object
inline constexpr int kInterrupted = 9;   // the run was stopped (Ctrl+C or Отмена)
inline constexpr int kCarrierBusy = 10;  // another run of the program holds the carrier
}  // namespace exit_status

// The exit status of a run that got past start-up: what went wrong
// (`log_failures`: the failure lines the log counted), else whether the
// last run was stopped.
int exit_status_of(const Failures& failures, long log_failures, bool interrupted);

// The main window's commands, named by their role.
enum class Command { kMasks, kObjects, kCompare, kSynchronize, kExit };

// The window side of the main window. Called on the interface thread,
// except post_run_ended().
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void clear_log() = 0;
  virtual void set_enabled(Command command, bool enabled) = 0;
  // The command's text (Windows-1251): Выход/Стоп reads "Стоп" while a run
  // is in progress.
  virtual void set_text(Command command, std::string_view text) = 0;
  // Opens the masks or the objects dialog without blocking the window.
  // When it closes, by whatever button, the view calls
  // Program::dialog_closed() with its change counters.
  virtual void open_masks_dialog() = 0;
  virtual void open_objects_dialog() = 0;
  // Closes the open list dialog as its OK does; dialog_closed() has been
  // called when it returns.
  virtual void close_dialog() = 0;
  // A run has started: the window with its log and Стоп comes to the front.
  virtual void show_run() = 0;
  // Called on the worker thread when a run has ended: the view has
  // Program::run_ended() called on the interface thread.
  virtual void post_run_ended() = 0;
  // A run of the objects dialog has ended: the dialog is shown again.
  virtual void restore_objects_dialog() = 0;
  // The program has ended: the window closes.
  virtual void close_window() = 0;
};

// Where runs are started, one at a time.
class Runs {
 public:
  virtual ~Runs() = default;
  // Whether a run is in progress (from its start until its thread is done).
  virtual bool busy() const = 0;
  virtual void start(RunThread::Kind kind) = 0;
};

// Runs on the interface thread.
class Program : public Runs {
 public:
  Program(Session& session, MainWindowView& view);
  // A run still going is stopped and waited for.
  ~Program() override;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The start-up sequence with the identification file of `drive`. nullopt
  // when the program goes on; otherwise the log has been closed (and moved
  // back to the carrier) and the program ends with the status returned.
  std::optional<int> start_up(char drive);

  // Маски and Объекты: open their dialog, unless a run is in progress or a
  // list dialog is open (the commands are disabled then).
  void open_masks();
  void open_objects();
  // The open list dialog has closed: its non-zero counters are logged.
  void dialog_closed(const ChangeCounters& counters);

  // Сравнить and Синхронизировать: the banner, the queue, the all-objects
  // run. Refused while a run is in progress or a list dialog is open, and,
  // with a log line, while the computer is unidentified.
  void compare();
  void synchronize();
  // Checks the carrier copies of every object against their sum records,
  // writing nothing (a batch run's --verify).
  void verify();

  // Runs
  bool busy() const override { return running_; }
  void start(RunThread::Kind kind) override;

  // The worker has reported that its run goes on or has ended (the host's
  // set_running): the Выход/Стоп text follows it.
  void running_changed(bool running);
  // The end of the run in progress: waits for its thread to be done, counts
  // its failures, enables the commands again and shows the objects dialog
  // that started it. Does nothing when no run is in progress.
  void run_ended();

  // Выход, Esc and the close box: a stop request while a run is in
  // progress; otherwise the open list dialog is closed, the program
  // finishes and the window closes. Nothing once the program has finished.
  void exit();
  // The end of the program: waits for the run in progress (batch runs),
  // writes the lists, logs the end banner, releases the lists and closes
  // the log. Returns the exit status.
  int finish();
  bool finished() const { return finished_; }

 private:
  enum class Dialog { kNone, kMasks, kObjects };
  bool idle() const { return !running_ && dialog_ == Dialog::kNone; }
  void update_commands();

  Session& s_;
  MainWindowView& view_;
  RunThread thread_;
  bool running_ = false;
  bool interrupted_ = false;  // the last run was stopped
  bool finished_ = false;
  Dialog dialog_ = Dialog::kNone;
};

}  // namespace keldar

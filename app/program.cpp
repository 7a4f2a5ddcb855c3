#include "app/program.h"

#include "app/startup.h"
#include "platform/text.h"

namespace keldar {

int exit_status_of(const Failures& f, long log_failures, bool interrupted) {
  if (f.unidentified) return exit_status::kUnidentified;
  if (f.config_file) return exit_status::kConfigFile;
  if (f.log_file) return exit_status::kLogFile;
  if (f.lists || log_failures > 0) return exit_status::kFailures;
  if (interrupted) return exit_status::kInterrupted;
  return exit_status::kOk;
}

Program::Program(Session& session, MainWindowView& view) : s_(session), view_(view) {
  thread_.set_on_finished([this] { view_.post_run_ended(); });
}

Program::~Program() {
  s_.queue.request_stop();
  (void)thread_.wait();
}

std::optional<int> Program::start_up(char drive) {
  view_.clear_log();
  const StartResult started = keldar::start_up(s_, drive);
  if (started == StartResult::kReady) {
    update_commands();
    return std::nullopt;
  }
  // The program ends here; closing the log still moves this run's lines
  // back to the carrier, so they are not lost at the next start.
  (void)s_.operation_log.close();
  s_.system.release_carrier();
  finished_ = true;
  switch (started) {
    case StartResult::kIdFileFailed:
      return exit_status::kIdFileFailed;
    case StartResult::kFifthComputer:
      return exit_status::kFifthComputer;
    default:
      return exit_status::kNoCarrier;
  }
}

void Program::update_commands() {
  for (Command command :
       {Command::kMasks, Command::kObjects, Command::kCompare, Command::kSynchronize}) {
    view_.set_enabled(command, idle());
  }
}

void Program::open_masks() {
  if (!idle()) return;
  dialog_ = Dialog::kMasks;
  update_commands();
  view_.open_masks_dialog();
}

void Program::open_objects() {
  if (!idle()) return;
  dialog_ = Dialog::kObjects;
  update_commands();
  view_.open_objects_dialog();
}

void Program::dialog_closed(const ChangeCounters& counters) {
  if (dialog_ == Dialog::kMasks) log_mask_counters(s_.log, counters);
  if (dialog_ == Dialog::kObjects) log_object_counters(s_.log, counters);
  dialog_ = Dialog::kNone;
  update_commands();
}

void Program::compare() {
  if (!idle() || !s_.require_computer(cp1251("сравнение"))) return;
  log_compare_banner(s_);
  s_.queue.set(op::kCompare);
  s_.force = false;
  start(RunThread::Kind::kAllObjects);
}

void Program::verify() {
  if (!idle() || !s_.require_computer(cp1251("проверка копий"))) return;
  log_verify_banner(s_);
  s_.queue.set(op::kVerify);
  s_.force = false;
  start(RunThread::Kind::kAllObjects);
}

void Program::synchronize() {
  if (!idle() || !s_.require_computer(cp1251("синхронизация"))) return;
  log_sync_banner(s_);
  s_.queue.set(op::kAction1, op::kAction2);
  s_.force = false;
  start(RunThread::Kind::kAllObjects);
}

void Program::start(RunThread::Kind kind) {
  if (running_) return;
  running_ = true;
  update_commands();
  if (!thread_.start(s_, kind)) {
    running_ = false;
    update_commands();
    return;
  }
  view_.show_run();
}

void Program::running_changed(bool running) {
  view_.set_text(Command::kExit, cp1251(running ? "Стоп" : "Выход"));
}

void Program::run_ended() {
  if (!running_) return;
  const RunOutcome outcome = thread_.wait();
  running_ = false;
  if (outcome.failed || outcome.unreachable) s_.failures.lists = true;
  interrupted_ = outcome.interrupted;
  update_commands();
  if (dialog_ == Dialog::kObjects) view_.restore_objects_dialog();
}

void Program::exit() {
  if (finished_) return;
  // While a run is in progress Выход (reading Стоп) only asks it to stop.
  if (s_.queue.running() || running_) {
    s_.queue.request_stop();
    return;
  }
  // An open list dialog is closed first, so its counters are logged.
  if (dialog_ != Dialog::kNone) view_.close_dialog();
  (void)finish();
  view_.close_window();
}

int Program::finish() {
  run_ended();
  finish_run(s_);
  finished_ = true;
  return exit_status_of(s_.failures, s_.operation_log.failures(), interrupted_);
}

}  // namespace keldar

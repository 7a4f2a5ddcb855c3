// Running the program without a window: options, the host that talks to the
// terminal, and the batch run itself.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/session.h"
#include "app/worker.h"
#include "platform/host.h"

namespace keldar {

struct Options {
  bool help = false;
  bool version = false;  // --version: print the version and end
  bool batch = false;
  bool compare = false;                             // --compare: compare every object with its list
  bool sync = false;                                // --sync: Synchronize over all objects
  std::optional<int> object_id;                     // --object ID
  std::optional<ObjectOperation> object_operation;  // --op NAME
  std::optional<std::string> name;                  // Windows-1251
  std::optional<Answer> answer;                     // --answer: the answer to every question
  // What follows the program name, joined by blanks: its first character
  // chooses the identification drive.
  std::string argument_text;
  std::string error;  // UTF-8; not empty when the arguments are wrong
};

// Parses the arguments that follow the program name (UTF-8).
Options parse_options(const std::vector<std::string>& args);

// The --help text (UTF-8). `window` tells what happens without a batch
// option on this system (the window opens, and what it needs; or that there
// is no window yet): one paragraph, without its last line break.
std::string usage_text(std::string_view window);

// Talks to the terminal: log lines go to `out` in UTF-8 as they are logged;
// messages go to `err`; the computer name comes from --name, else from
// `in` when there is one (an interactive terminal), else it stays empty.
class TerminalHost : public Host {
 public:
  TerminalHost(std::ostream& out, std::ostream& err, std::istream* in,
               std::optional<std::string> name, std::optional<Answer> answer = std::nullopt);
  void show_log_line(std::string_view line) override;
  void set_status(std::string_view) override {}
  void set_progress(std::string_view) override {}
  void set_title(std::string_view) override {}
  void set_running(bool) override {}
  void ask_text(std::string_view prompt, std::string& answer) override;
  void show_message(std::string_view text) override;
  // Prints the question; answers it from --answer, else from the terminal,
  // else with Cancel (Нет where there is no Cancel).
  Answer ask(std::string_view text, std::string_view caption, bool warning, bool cancel) override;

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::istream* in_;
  std::optional<std::string> name_;
  std::optional<Answer> answer_;
};

// A whole batch run in `session`: start-up, the requested operation, then
// the end of the run, as the window's Program does them. Returns the exit
// status.
int run_batch(Session& session, const Options& options);

}  // namespace keldar

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

// A command of the object and mask tables, given without a window.
struct AdminCommand {
  enum class Kind {
    kNone,
    kListObjects,   // --objects
    kListMasks,     // --masks
    kAddObject,     // --add-object --path PATH [--nested] [--no-copy-in] [--no-copy-out]
    kSetPath,       // --object ID --set-path PATH
    kDeleteObject,  // --delete-object ID
    kAddMask,       // --add-mask PATTERN [--at N] [--no-copy] [--no-delete] [--ask-...]
    kDeleteMask,    // --delete-mask N
  };
  Kind kind = Kind::kNone;
  std::string text;  // the path or pattern, UTF-8 as given
  int number = 0;    // the object id, or the mask index
  std::optional<int> at;
  bool nested = false, no_copy_in = false, no_copy_out = false;
  bool no_copy = false, no_delete = false, ask_replace = false, ask_delete = false;
};

struct Options {
  bool help = false;
  bool version = false;  // --version: print the version and end
  bool batch = false;
  bool compare = false;                             // --compare: compare every object with its list
  bool sync = false;                                // --sync: Synchronize over all objects
  bool verify = false;                              // --verify: check the carrier copies
  std::optional<int> object_id;                     // --object ID
  std::optional<ObjectOperation> object_operation;  // --op NAME
  std::optional<std::string> name;                  // Windows-1251
  std::optional<Answer> answer;                     // --answer: the answer to every question
  AdminCommand admin;
  // What follows the program name, joined by blanks: its first character
  // chooses the identification drive.
  std::string argument_text;
  std::string error;  // UTF-8; not empty when the arguments are wrong

  // Whether the options ask for the window: no batch option was given.
  bool window() const {
    return !batch && !compare && !sync && !verify && !object_id &&
           admin.kind == AdminCommand::Kind::kNone;
  }
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

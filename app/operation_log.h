// The operation log: every line goes to the host (window pane or terminal)
// and to KELDAR.LOG, Windows-1251 text with CR LF line ends.
//
// The kept log lies in the configuration directory on the carrier. When TEMP
// is set, the run writes a working copy there and moves it back over the kept
// log when the log is closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "lists/run.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/host.h"

namespace keldar {

inline constexpr const char* kLogFileName = "KELDAR.LOG";

class OperationLog : public Log {
 public:
  OperationLog(FileSystem& fs, Host& host, Clock& clock);
  ~OperationLog() override;

  // Opens the log. With a working path, the kept log is copied over it and
  // the copy is appended to (a fresh empty working log when there is no kept
  // log to copy); without one, the kept log is appended to directly. When no
  // file can be opened, lines still reach the host. A symbolic link in place
  // of the kept or the working log is left as it is: no file is opened (5)
  // and refused_link() names it. Returns the result code of opening.
  int open(const std::string& kept_path, const std::optional<std::string>& working_path);

  // Logs one line (Windows-1251, no line end). Callable from any thread; the
  // host's show_log_line is called under the log's lock, so it must hand the
  // line on without waiting for another thread that may log.
  void line(std::string_view text) override;

  // Closes the file and moves the working log back over the kept log. The
  // kept log is replaced at once or not at all: when the move fails, the
  // run's lines stay in the working log. Returns 0, or the first error met
  // writing, closing or moving the log. `move_back` false leaves the
  // working log in place (the carrier is gone).
  int close(bool move_back = true);

  bool file_open() const { return file_ != nullptr; }
  // The link that open() refused, or empty.
  const std::string& refused_link() const { return refused_link_; }

  // The timestamp text of a time value; brings the daylight flag up to date.
  std::string timestamp(std::uint32_t value);
  bool daylight() const override { return daylight_; }
  void note_failure() override { ++failures_; }
  // How many failures were reported since the log was opened.
  long failures() const { return failures_; }
  // The time value of the current moment for a banner, after bringing the
  // daylight flag up to date.
  std::uint32_t banner_time();

 private:
  FileSystem& fs_;
  Host& host_;
  Clock& clock_;
  std::mutex mutex_;
  std::unique_ptr<AppendFile> file_;
  std::string kept_path_;
  std::optional<std::string> working_path_;
  std::string refused_link_;
  int first_error_ = 0;
  std::atomic<bool> daylight_{false};
  std::atomic<long> failures_{0};
};

// The working log's path for a TEMP value: TEMP, a separator, KELDAR.LOG.
std::string working_log_path(const std::string& temp, char separator);

}  // namespace keldar

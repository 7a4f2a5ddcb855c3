#include "app/operation_log.h"

#include "lists/stamps.h"
#include "platform/errors.h"

namespace keldar {

OperationLog::OperationLog(FileSystem& fs, Host& host, Clock& clock)
    : fs_(fs), host_(host), clock_(clock) {}

OperationLog::~OperationLog() {
  if (file_) (void)file_->close();
}

int OperationLog::open(const std::string& kept_path,
                       const std::optional<std::string>& working_path) {
  std::lock_guard lock(mutex_);
  kept_path_ = kept_path;
  working_path_ = working_path;
  first_error_ = 0;
  refused_link_.clear();
  // Appending through a link would write wherever it points; copying from
  // it would read from there, and the move at the end would replace it.
  for (const std::string* path : {&kept_path_, working_path_ ? &*working_path_ : nullptr}) {
    ItemKind kind;
    if (path && fs_.item_kind(*path, kind) == err::kOk && kind == ItemKind::kLink) {
      refused_link_ = *path;
      first_error_ = err::kAccessDenied;
      return first_error_;
    }
  }
  int code;
  if (working_path_) {
    bool copied = fs_.copy_file(kept_path_, *working_path_) == err::kOk;
    code = fs_.open_append(*working_path_, !copied, file_);
  } else {
    code = fs_.open_append(kept_path_, false, file_);
  }
  if (code != err::kOk) {
    file_.reset();
    first_error_ = code;
  }
  return code;
}

void OperationLog::line(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (file_) {
    std::string bytes(text);
    bytes += "\r\n";
    int code = file_->append(bytes);
    if (code != err::kOk && first_error_ == 0) first_error_ = code;
  }
  host_.show_log_line(text);
}

int OperationLog::close(bool move_back) {
  std::lock_guard lock(mutex_);
  if (!file_) return first_error_;
  int code = file_->close();
  file_.reset();
  if (code != err::kOk && first_error_ == 0) first_error_ = code;
  if (working_path_ && move_back) {
    code = fs_.move_file(*working_path_, kept_path_);
    if (code != err::kOk && first_error_ == 0) first_error_ = code;
  }
  return first_error_;
}

std::string OperationLog::timestamp(std::uint32_t value) {
  bool daylight = daylight_.load();
  std::string text = timestamp_text(value, clock_, daylight);
  daylight_ = daylight;
  return text;
}

std::uint32_t OperationLog::banner_time() {
  (void)timestamp(static_cast<std::uint32_t>(clock_.now()) | kDaylightBit);
  return keldar::banner_time(clock_, daylight_);
}

std::string working_log_path(const std::string& temp, char separator) {
  std::string path = temp;
  if (path.empty() || (path.back() != separator && path.back() != '\\')) path += separator;
  return path + kLogFileName;
}

}  // namespace keldar

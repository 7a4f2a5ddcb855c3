// The batch host, passing every log line also to a test's hook (which may
// be empty), so that a test can act at a chosen moment of a run.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/batch.h"

namespace keldar {

class HookedHost : public TerminalHost {
 public:
  HookedHost(std::ostream& out, std::ostream& err, std::optional<std::string> name,
             std::function<void(std::string_view)> hook)
      : TerminalHost(out, err, nullptr, std::move(name)), hook_(std::move(hook)) {}
  void show_log_line(std::string_view line) override {
    TerminalHost::show_log_line(line);
    if (hook_) hook_(line);
  }

 private:
  std::function<void(std::string_view)> hook_;
};

}  // namespace keldar

// The surroundings of a simulated computer: current directory, environment
// and identification file path, all set by the test.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/system.h"

namespace keldar {

class FakeSystem : public System {
 public:
  // nullopt (the default) stands for a current directory that cannot be had.
  void set_current_directory(std::optional<std::string> path) { current_ = std::move(path); }
  // Names are matched exactly.
  void set_environment(std::string_view name, std::string_view value);
  void unset_environment(std::string_view name);
  // Replaces the default path "<drive>:\KELDAR.ID" of one drive.
  void set_identification_file(char drive, std::string_view path);

  std::optional<std::string> current_directory() override { return current_; }
  std::optional<std::string> environment(std::string_view name) override;
  std::string identification_file(char drive) override;
  // Another run holds the carrier while `held` is set.
  void set_carrier_held(bool held) { carrier_held_ = held; }
  bool hold_carrier(const std::string&) override { return !carrier_held_; }
  void release_carrier() override {}

 private:
  bool carrier_held_ = false;
  std::optional<std::string> current_;
  std::map<std::string, std::string, std::less<>> environment_;
  std::map<char, std::string> identification_files_;
};

}  // namespace keldar

// The surroundings of a Linux process: its current directory, its
// environment and the per-drive folders under the user's configuration
// folder that hold this computer's identification files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace keldar {

class PosixSystem : public System {
 public:
  PosixSystem() = default;
  ~PosixSystem() override;
  PosixSystem(const PosixSystem&) = delete;
  PosixSystem& operator=(const PosixSystem&) = delete;

  std::optional<std::string> current_directory() override;
  // nullopt also when the value cannot be carried in Windows-1251.
  std::optional<std::string> environment(std::string_view name) override;
  // ${XDG_CONFIG_HOME:-$HOME/.config}/keldar/<drive>/KELDAR.ID, with '/'
  // separators; the folders are made when missing.
  std::string identification_file(char drive) override;
  // An exclusive flock() on the folder, held by an open descriptor until the
  // process ends (the kernel lets it go however the process ends).
  bool hold_carrier(const std::string& folder) override;
  void release_carrier() override;

 private:
  int carrier_lock_ = -1;
};

}  // namespace keldar

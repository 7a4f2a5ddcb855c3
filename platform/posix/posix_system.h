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
  std::optional<std::string> current_directory() override;
  // nullopt also when the value cannot be carried in Windows-1251.
  std::optional<std::string> environment(std::string_view name) override;
  // ${XDG_CONFIG_HOME:-$HOME/.config}/keldar/<drive>/KELDAR.ID, with '/'
  // separators; the folders are made when missing.
  std::string identification_file(char drive) override;
};

}  // namespace keldar

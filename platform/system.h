// The process's surroundings: current directory, environment, and where this
// computer keeps its identification file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keldar {

class System {
 public:
  virtual ~System() = default;
  // The absolute path of the current directory, Windows-1251, without a
  // trailing separator unless it is a drive root. nullopt when it cannot be
  // had or carried.
  virtual std::optional<std::string> current_directory() = 0;
  // An environment variable, Windows-1251; nullopt when it is not set.
  virtual std::optional<std::string> environment(std::string_view name) = 0;
  // The path of the identification file "KELDAR.ID" for drive 'C', 'D', 'E'
  // or 'F'. On Windows the drive root itself; on Linux a folder per drive
  // under the user's configuration folder, created when missing.
  virtual std::string identification_file(char drive) = 0;
  // Marks the carrier `folder` as in use by this process until
  // release_carrier() or the end of the process, however it ends. False when
  // another process holds it; true when this one now does, or when the
  // system cannot tell (the folder cannot be opened, or its volume keeps no
  // such marks). A mark this process held before is let go first.
  virtual bool hold_carrier(const std::string& folder) = 0;
  virtual void release_carrier() = 0;
};

}  // namespace keldar

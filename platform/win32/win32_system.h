// The surroundings of a Windows process: its current directory, its
// environment, and where this computer keeps its identification file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace keldar {

class Win32System : public System {
 public:
  Win32System() = default;
  ~Win32System() override;
  Win32System(const Win32System&) = delete;
  Win32System& operator=(const Win32System&) = delete;

  // nullopt also when the directory cannot be carried in Windows-1251.
  std::optional<std::string> current_directory() override;
  // nullopt also when the value cannot be carried in Windows-1251.
  std::optional<std::string> environment(std::string_view name) override;
  // "X:\KELDAR.ID" for the drive X when that file exists or the root of X
  // takes new files; otherwise %LOCALAPPDATA%\keldar\X\KELDAR.ID, its
  // folders made (a standard user may not create files in a drive root).
  std::string identification_file(char drive) override;
  // A named mutex of this session, named after the folder's full path
  // (letters folded): the system lets it go when the process ends.
  bool hold_carrier(const std::string& folder) override;
  void release_carrier() override;

 private:
  void* carrier_mark_ = nullptr;  // the mutex's handle
};

namespace win32 {
// The choice of identification_file between the file in `root` (a folder
// path ending in '\') and the file in `fallback` (a folder path, made when
// it is chosen): `root`'s file when it exists, or when a file can be made
// in `root` (a temporary of the reserved name form is made and removed to
// find out); otherwise `fallback`'s. Windows-1251; a fallback folder that
// cannot be carried is given by its short name where the volume has one.
std::string choose_identification_file(const std::wstring& root, const std::wstring& fallback);
}  // namespace win32

}  // namespace keldar

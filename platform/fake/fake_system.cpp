#include "platform/fake/fake_system.h"

namespace keldar {

void FakeSystem::set_environment(std::string_view name, std::string_view value) {
  environment_[std::string(name)] = std::string(value);
}

void FakeSystem::unset_environment(std::string_view name) {
  auto it = environment_.find(name);
  if (it != environment_.end()) environment_.erase(it);
}

void FakeSystem::set_identification_file(char drive, std::string_view path) {
  identification_files_[drive] = std::string(path);
}

std::optional<std::string> FakeSystem::environment(std::string_view name) {
  auto it = environment_.find(name);
  if (it == environment_.end()) return std::nullopt;
  return it->second;
}

std::string FakeSystem::identification_file(char drive) {
  auto it = identification_files_.find(drive);
  if (it != identification_files_.end()) return it->second;
  return std::string(1, drive) + ":\\KELDAR.ID";
}

}  // namespace keldar

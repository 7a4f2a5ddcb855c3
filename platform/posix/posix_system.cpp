#include "platform/posix/posix_system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/text.h"

namespace keldar {
namespace {

std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return "/";
}

// mkdir -p; folders already there are fine. Failures show later, when the
// file in the folder is used.
void make_folders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (!part.empty() && part.back() != '/') ::mkdir(part.c_str(), 0700);
    if (slash == std::string::npos) break;
  }
}

}  // namespace

std::optional<std::string> PosixSystem::current_directory() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) break;
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  std::string path = buffer.data();
  if (path.empty() || path.front() != '/') return std::nullopt;  // "(unreachable)/..."
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return from_utf8(path);
}

std::optional<std::string> PosixSystem::environment(std::string_view name) {
  auto utf8_name = to_utf8(name);
  if (!utf8_name || utf8_name->empty() || utf8_name->find('\0') != std::string::npos) {
    return std::nullopt;
  }
  const char* value = std::getenv(utf8_name->c_str());
  if (!value) return std::nullopt;
  return from_utf8(value);
}

std::string PosixSystem::identification_file(char drive) {
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') {  // a relative value is not valid there
    base = config;
  } else {
    base = home_folder();
    if (base.empty() || base.back() != '/') base += '/';
    base += ".config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  std::string folder =
      base + "/keldar/" + static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  make_folders(folder);
  std::string path = folder + "/KELDAR.ID";
  auto converted = from_utf8(path);
  return converted ? *converted : from_utf8_lossy(path);
}

PosixSystem::~PosixSystem() { release_carrier(); }

void PosixSystem::release_carrier() {
  if (carrier_lock_ >= 0) ::close(carrier_lock_);
  carrier_lock_ = -1;
}

bool PosixSystem::hold_carrier(const std::string& folder) {
  release_carrier();
  auto native = to_utf8(folder);
  if (!native) return true;
  int fd = ::open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;
  }
  carrier_lock_ = fd;
  return true;
}

}  // namespace keldar

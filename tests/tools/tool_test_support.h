// Temporary folders, whole-file reads and writes, and scoped TZ and working
// directory for the console tool tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "fakes/environment.h"

namespace keldar::tooltest {

namespace fs = std::filesystem;
using test::ScopedTimeZone;

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

inline std::string le16(int v) { return bytes({v & 0xFF, (v >> 8) & 0xFF}); }

inline std::string le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

inline void write_file(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

inline std::optional<std::string> read_file(const fs::path& path) {
  if (!fs::is_regular_file(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("keldar-tools-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

  // How many files of the reserved temporary form "~kld*.tmp" are left.
  long temporaries() const {
    return std::count_if(fs::directory_iterator(path_), {}, [](const fs::directory_entry& e) {
      std::string name = e.path().filename().string();
      return name.starts_with("~kld") && name.ends_with(".tmp");
    });
  }

 private:
  fs::path path_;
};

// Changes the working directory and changes it back at the end.
class ScopedCurrentPath {
 public:
  explicit ScopedCurrentPath(const fs::path& path) : old_(fs::current_path()) {
    fs::current_path(path);
  }
  ~ScopedCurrentPath() {
    std::error_code ec;
    fs::current_path(old_, ec);
  }

 private:
  fs::path old_;
};

}  // namespace keldar::tooltest

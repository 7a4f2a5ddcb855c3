// A scratch folder for the targets that run a tool on real files: made once
// per process (in /dev/shm where there is one, so that the tools' flushes to
// the disk cost nothing), emptied before each input, removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace keldar::fuzz {

class Scratch {
 public:
  Scratch() {
    namespace fs = std::filesystem;
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "keldar-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::filesystem::path& folder() const { return folder_; }
  // Removes everything in the folder.
  void empty() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::filesystem::remove_all(entry.path());
    }
  }

 private:
  std::filesystem::path folder_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::string data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, got);
    std::fclose(f);
  }
  return data;
}

inline void write_file(const std::filesystem::path& path, std::string_view data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) std::abort();
  std::fclose(f);
}

}  // namespace keldar::fuzz

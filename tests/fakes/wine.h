// Running the Windows build's keldar.exe under Wine beside the Linux
// program: where the build and its Wine prefix are, a folder both can use,
// the paths the Windows program takes, and the identification files it
// keeps in the prefix (Linux only).
//
// Volumes under Wine: GetVolumeInformationW answers for a drive root only.
// For Z:\ (the Linux root file system) it names "NTFS", so the Windows
// program keeps exact times there as the Linux program does on ext4 and
// tmpfs, and the stamps of both carry the exact-time marker. Any other
// folder it refuses (ERROR_DIR_NOT_ROOT), a Linux mount point such as
// /dev/shm among them, although GetVolumePathNameW names that mount point as
// a volume: an object folder there is unreachable for the Windows program
// ("144: ...", status 8). Object folders for it therefore lie on the root
// file system's volume.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace keldar::test {

inline constexpr const char* kWine = "/usr/lib/wine/wine64";
inline constexpr const char* kWineServer = "/usr/lib/wine/wineserver64";

// The Windows build named by KELDAR_WINDOWS_BUILD (its programs/keldar.exe)
// and its Wine prefix: WINEPREFIX, by default the build folder's
// wineprefix/. `missing` says why it cannot run, empty when it can.
struct WindowsBuild {
  bool named = false;  // KELDAR_WINDOWS_BUILD is set
  std::filesystem::path exe, prefix;
  std::string missing;
};

inline WindowsBuild windows_build() {
  namespace fs = std::filesystem;
  WindowsBuild build;
  const char* folder = std::getenv("KELDAR_WINDOWS_BUILD");
  if (folder == nullptr || *folder == '\0') {
    build.missing = "KELDAR_WINDOWS_BUILD names no Windows build";
    return build;
  }
  build.named = true;
  build.exe = fs::absolute(fs::path(folder) / "programs" / "keldar.exe");
  const char* prefix = std::getenv("WINEPREFIX");
  build.prefix = fs::absolute(
      prefix != nullptr && *prefix != '\0' ? fs::path(prefix) : fs::path(folder) / "wineprefix");
  if (!fs::exists(kWine)) {
    build.missing = std::string("Wine is not installed (") + kWine + ")";
  } else if (!fs::exists(build.exe)) {
    build.missing = build.exe.string() + " is missing: KELDAR_WINDOWS_BUILD=" + folder;
  } else if (!fs::is_directory(build.prefix / "drive_c/users")) {
    build.missing = "no Wine prefix in " + build.prefix.string();
  }
  return build;
}

// The file system that holds `path`.
inline dev_t device(const std::filesystem::path& path) {
  struct stat st = {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

inline bool on_root_volume(const std::filesystem::path& path) {
  return device(path) == device("/");
}

// A new folder `stem`-XXXXXX in the temporary folder when that is on the
// root file system, else in the current one; empty when it cannot be made.
inline std::filesystem::path new_folder_on_root_volume(const std::string& stem) {
  namespace fs = std::filesystem;
  const fs::path tmp = fs::temp_directory_path();
  std::string pattern =
      ((on_root_volume(tmp) ? tmp : fs::current_path()) / (stem + "-XXXXXX")).string();
  return ::mkdtemp(pattern.data()) == nullptr ? fs::path() : fs::path(pattern);
}

// A folder of the root file system as the Windows program takes it, through
// drive Z: (UTF-8).
inline std::string windows_path(const std::filesystem::path& path) {
  std::string out = "Z:" + path.string();
  for (char& ch : out) {
    if (ch == '/') ch = '\\';
  }
  return out;
}

// Computer ids come from one fixed sequence, unique within a carrier only:
// an identification file left from another carrier could name a computer
// of a new one. Removes the Windows computers' files (first argument 1 and
// 2: no D: or E: drive in the prefix, so %LOCALAPPDATA%\keldar\D and \E),
// so that they start anew.
inline void forget_windows_computers(const std::filesystem::path& prefix) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const auto& user : fs::directory_iterator(prefix / "drive_c/users", error)) {
    for (const char* drive : {"D", "E"}) {
      fs::remove(user.path() / "AppData/Local/keldar" / drive / "KELDAR.ID", error);
    }
  }
}

}  // namespace keldar::test

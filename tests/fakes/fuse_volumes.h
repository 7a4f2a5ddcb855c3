// Real FAT, exFAT and NTFS volumes for tests, mounted through FUSE from
// small image files in a temporary folder. Tests skip where /dev/fuse or a
// tool is missing; every mount, server and loop device is undone at the end.
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace keldar::fuse {

inline std::string find_tool(const std::string& name) {
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Starts argv[0] (a full path) with its output going to `output`.
inline pid_t start(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs a command to its end; true when it exits with 0.
inline bool run(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
  pid_t pid = start(argv, output);
  if (pid < 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline std::string slurp(const std::string& native) {
  std::string data;
  int fd = ::open(native.c_str(), O_RDONLY);
  if (fd < 0) return "<missing>";
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, n);
  ::close(fd);
  return data;
}

inline int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

inline dev_t device_of(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 ? st.st_dev : 0;
}

class FuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse";
    fusermount_ = find_tool("fusermount");
    if (fusermount_.empty()) fusermount_ = find_tool("fusermount3");
    if (fusermount_.empty()) GTEST_SKIP() << "no fusermount";
    char pattern[] = "/tmp/keldar-fuse-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }

  void TearDown() override {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
      if (!run({fusermount_, "-u", "-z", *it})) run({find_tool("umount"), "-l", *it});
    }
    for (pid_t pid : daemons_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    for (const auto& loop : loops_) run({find_tool("losetup"), "-d", loop});
    if (!root_.empty()) ::nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
  }

  std::string path(const std::string& name) const { return root_ + "/" + name; }

  // Makes an empty image file of `megabytes` and formats it with `argv`
  // (the image path is appended).
  bool make_image(const std::string& image, int megabytes, std::vector<std::string> argv) {
    int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    bool sized = ::ftruncate(fd, off_t{megabytes} * 1024 * 1024) == 0;
    ::close(fd);
    if (!sized || argv.empty() || argv[0].empty()) return false;
    argv.push_back(image);
    return run(argv);
  }

  // A loop device over `image`; empty when none can be had.
  std::string attach_loop(const std::string& image) {
    std::string losetup = find_tool("losetup");
    std::string output = path("losetup.out");
    if (losetup.empty() || !run({losetup, "--find", "--show", image}, output)) return {};
    std::string device = slurp(output);
    while (!device.empty() && (device.back() == '\n' || device.back() == ' ')) device.pop_back();
    if (device.empty()) return {};
    loops_.push_back(device);
    return device;
  }

  // Runs a mounting command that returns once the volume is there.
  bool mount_with(std::vector<std::string> argv, const std::string& point) {
    if (argv.empty() || argv[0].empty()) return false;
    if (::mkdir(point.c_str(), 0777) != 0) return false;
    if (!run(argv)) return false;
    mounts_.push_back(point);
    return device_of(point) != device_of(root_);
  }

  // A FAT image of `megabytes` (made with the extra mkfs.vfat `options`)
  // mounted by fusefat; empty when it cannot be had.
  std::string mount_fat(const std::string& name, int megabytes = 16,
                        std::vector<std::string> options = {}) {
    std::string image = path(name + ".img");
    options.insert(options.begin(), find_tool("mkfs.vfat"));
    if (!make_image(image, megabytes, options)) return {};
    std::string point = path(name);
    if (!mount_with({find_tool("fusefat"), "-o", "rw+", image, point}, point)) return {};
    return point;
  }

  // Serves `image` (FAT) on the folder `point` by a fusefat server in the
  // foreground, whose pid is returned once the volume is there; -1 when it
  // cannot be had.
  pid_t serve_fat(const std::string& image, const std::string& point) {
    std::string fusefat = find_tool("fusefat");
    if (fusefat.empty()) return -1;
    pid_t server = start({fusefat, "-f", "-o", "rw+", image, point});
    if (server < 0) return -1;
    daemons_.push_back(server);
    mounts_.push_back(point);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (device_of(point) == device_of(root_) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return device_of(point) != device_of(root_) ? server : -1;
  }

  std::string fusermount_;
  std::string root_;
  std::vector<std::string> mounts_;
  std::vector<pid_t> daemons_;
  std::vector<std::string> loops_;
};

}  // namespace keldar::fuse

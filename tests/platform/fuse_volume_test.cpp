// The Linux file system on real FAT, exFAT and NTFS volumes, mounted from
// small images through FUSE (fusefat, exfat-fuse, ntfs-3g). Skipped where
// /dev/fuse or the tools are missing; every mount is undone at the end.
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/posix_file_system.h"
#include "platform/text.h"

extern char** environ;

namespace keldar {
namespace {

std::string find_tool(const std::string& name) {
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
pid_t start(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
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
bool run(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
  pid_t pid = start(argv, output);
  if (pid < 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string slurp(const std::string& native) {
  std::string data;
  int fd = ::open(native.c_str(), O_RDONLY);
  if (fd < 0) return "<missing>";
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, n);
  ::close(fd);
  return data;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

dev_t device_of(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 ? st.st_dev : 0;
}

FileTime file_time(std::int64_t seconds, std::int64_t hundreds) {
  return static_cast<FileTime>(static_cast<std::int64_t>(kFileTimeUnixEpoch) +
                               seconds * 10'000'000 + hundreds);
}

class FuseVolumeTest : public ::testing::Test {
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
  // (the image path is appended, or put where "{}" stands).
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

  // A FAT image mounted by fusefat; empty when it cannot be had.
  std::string mount_fat(const std::string& name) {
    std::string image = path(name + ".img");
    if (!make_image(image, 16, {find_tool("mkfs.vfat")})) return {};
    std::string point = path(name);
    if (!mount_with({find_tool("fusefat"), "-o", "rw+", image, point}, point)) return {};
    return point;
  }

  std::string fusermount_;
  std::string root_;
  std::vector<std::string> mounts_;
  std::vector<pid_t> daemons_;
  std::vector<std::string> loops_;
  PosixFileSystem fs_;
};

TEST_F(FuseVolumeTest, FusefatVolumeIsFatLikeAndTakesCopies) {
  std::string fat = mount_fat("fat");
  if (fat.empty()) GTEST_SKIP() << "cannot mount a FAT image with fusefat";

  VolumeInfo info, local;
  ASSERT_EQ(fs_.volume(fat, info), 0);
  EXPECT_FALSE(info.exact_times);
  EXPECT_EQ(info.fs_name, "FAT");
  ASSERT_EQ(fs_.create_folder(fat + "/Sub"), 0);
  ASSERT_EQ(fs_.volume(fat + "/sub", info), 0);
  EXPECT_FALSE(info.exact_times);
  ASSERT_EQ(fs_.volume(root_, local), 0);
  EXPECT_TRUE(local.exact_times);
  EXPECT_NE(info.serial, local.serial);

  // The permission bits cannot be kept there; the copy works all the same.
  std::string source = path("source.txt");
  ASSERT_EQ(fs_.write_file(source, "contents"), 0);
  ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
  FileTimes times;
  times.last_write = file_time(1600000001, 5000000);
  ASSERT_EQ(fs_.set_times(source, times), 0);
  const std::string name = "Report.TXT";  // fusefat makes ASCII names only
  ASSERT_EQ(fs_.copy_file(source, fat + "/sub/" + name), 0);
  std::string data;
  ASSERT_EQ(fs_.read_file(fat + "/SUB/report.txt", data), 0);
  EXPECT_EQ(data, "contents");
  FileTimes copied;
  ASSERT_EQ(fs_.get_times(fat + "/sub/" + name, copied), 0);
  auto difference = static_cast<std::int64_t>(copied.last_write - times.last_write);
  EXPECT_LE(std::abs(difference), 20'000'000) << "more than two seconds apart";

  std::vector<DirItem> items;
  ASSERT_EQ(fs_.search(fat + "/sub", "*.*", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, name);
  EXPECT_EQ(items[0].size, 8u);

  // From another volume: copied, then the source is removed.
  ASSERT_EQ(fs_.move_file(source, fat + "/moved.txt"), 0);
  EXPECT_EQ(slurp(fat + "/moved.txt"), "contents");
  EXPECT_EQ(slurp(source), "<missing>");
  ASSERT_EQ(fs_.search(fat, "~kld*", items), 0);
  EXPECT_TRUE(items.empty());

  FreeSpace space;
  ASSERT_EQ(fs_.free_space(fat, space), 0);
  EXPECT_EQ(space.bytes_per_sector, 512u);
  EXPECT_GT(space.free_clusters, 0u);
  EXPECT_LT(std::uint64_t{space.free_clusters} * space.sectors_per_cluster * 512,
            16ull * 1024 * 1024);
}

TEST_F(FuseVolumeTest, NtfsVolumesKeepExactTimes) {
  std::string image = path("ntfs.img");
  if (!make_image(image, 16, {find_tool("mkntfs"), "-F", "-f", "-q"})) {
    GTEST_SKIP() << "cannot make an NTFS image";
  }
  std::string ntfs3g = find_tool("ntfs-3g");
  // On an image file ntfs-3g shows as plain "fuse".
  std::string on_file = path("ntfs");
  if (!mount_with({ntfs3g, image, on_file}, on_file)) GTEST_SKIP() << "cannot run ntfs-3g";
  VolumeInfo info;
  ASSERT_EQ(fs_.volume(on_file, info), 0);
  EXPECT_TRUE(info.exact_times);
  EXPECT_EQ(info.fs_name, "NTFS");

  ASSERT_EQ(fs_.write_file(on_file + "/file", "x"), 0);
  ASSERT_EQ(fs_.create_folder(on_file + "/folder"), 0);
  for (const char* name : {"/file", "/folder"}) {
    FileTimes set, got;
    set.last_access = file_time(1300000000, 1234567);
    set.last_write = file_time(1500000000, 7654321);
    ASSERT_EQ(fs_.set_times(on_file + name, set), 0);
    ASSERT_EQ(fs_.get_times(on_file + name, got), 0);
    EXPECT_EQ(got.last_write, set.last_write) << name;
    EXPECT_EQ(got.last_access, set.last_access) << name;
  }
  ASSERT_TRUE(run({fusermount_, "-u", on_file}));
  mounts_.pop_back();

  // On a device it shows as "fuseblk", as exfat-fuse does.
  std::string device = attach_loop(image);
  if (device.empty()) GTEST_SKIP() << "no loop device";
  std::string on_device = path("ntfs-device");
  ASSERT_TRUE(mount_with({ntfs3g, device, on_device}, on_device));
  ASSERT_EQ(fs_.volume(on_device, info), 0);
  EXPECT_TRUE(info.exact_times);
  EXPECT_EQ(info.fs_name, "NTFS");
}

TEST_F(FuseVolumeTest, ExfatDeviceIsFatLike) {
  std::string image = path("exfat.img");
  if (!make_image(image, 16, {find_tool("mkfs.exfat")})) GTEST_SKIP() << "no mkfs.exfat";
  std::string device = attach_loop(image);
  if (device.empty()) GTEST_SKIP() << "no loop device";
  std::string point = path("exfat");
  if (!mount_with({find_tool("mount.exfat-fuse"), device, point}, point)) {
    GTEST_SKIP() << "cannot run exfat-fuse";
  }
  VolumeInfo info;
  ASSERT_EQ(fs_.volume(point, info), 0);
  EXPECT_FALSE(info.exact_times);
  EXPECT_EQ(info.fs_name, "FAT");
  ASSERT_EQ(fs_.write_file(point + "/" + cp1251("Отчёт.TXT"), "x"), 0);
  std::string data;
  ASSERT_EQ(fs_.read_file(point + "\\" + cp1251("Отчёт.txt"), data), 0);
  EXPECT_EQ(data, "x");
  std::vector<DirItem> items;
  ASSERT_EQ(fs_.search(point, "*.*", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, cp1251("Отчёт.TXT"));
  EXPECT_TRUE(items[0].carriable);
}

TEST_F(FuseVolumeTest, VolumeWhoseServerDiedIsNotReady) {
  std::string image = path("gone.img");
  if (!make_image(image, 16, {find_tool("mkfs.vfat")})) GTEST_SKIP() << "no mkfs.vfat";
  std::string fusefat = find_tool("fusefat");
  if (fusefat.empty()) GTEST_SKIP() << "no fusefat";
  std::string point = path("gone");
  ASSERT_EQ(::mkdir(point.c_str(), 0777), 0);
  pid_t server = start({fusefat, "-f", "-o", "rw+", image, point});
  ASSERT_GT(server, 0);
  daemons_.push_back(server);
  mounts_.push_back(point);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (device_of(point) == device_of(root_) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(device_of(point), device_of(root_)) << "fusefat did not mount";
  ASSERT_EQ(fs_.write_file(point + "/a.txt", "x"), 0);

  ::kill(server, SIGKILL);
  ::waitpid(server, nullptr, 0);
  daemons_.clear();
  VolumeInfo info;
  EXPECT_EQ(fs_.volume(point, info), err::kNotReady);
  std::vector<DirItem> items;
  EXPECT_EQ(fs_.search(point, "*.*", items), err::kNotReady);
  std::string data;
  EXPECT_EQ(fs_.read_file(point + "/A.TXT", data), err::kNotReady);
}

}  // namespace
}  // namespace keldar

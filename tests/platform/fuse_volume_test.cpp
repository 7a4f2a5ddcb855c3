// The Linux file system on real FAT, exFAT and NTFS volumes, mounted from
// small images through FUSE (fusefat, exfat-fuse, ntfs-3g). Skipped where
// /dev/fuse or the tools are missing; every mount is undone at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fakes/fuse_volumes.h"
#include "platform/errors.h"
#include "platform/posix/posix_file_system.h"
#include "platform/text.h"

namespace keldar {
namespace {

using namespace fuse;

FileTime file_time(std::int64_t seconds, std::int64_t hundreds) {
  return static_cast<FileTime>(static_cast<std::int64_t>(kFileTimeUnixEpoch) +
                               seconds * 10'000'000 + hundreds);
}

class FuseVolumeTest : public FuseTest {
 protected:
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

// fusefat serves a FAT32 volume this small with no size at all: a copy
// that does not fit fails as a full disk and leaves nothing behind.
TEST_F(FuseVolumeTest, FusefatVolumeWithoutASizeFillsUpWithoutLeftovers) {
  std::string fat = mount_fat("fat32", 40, {"-F", "32"});
  if (fat.empty()) GTEST_SKIP() << "cannot mount a FAT32 image with fusefat";
  FreeSpace space;
  ASSERT_EQ(fs_.free_space(fat, space), 0);
  if (space.total_clusters != 0) GTEST_SKIP() << "this fusefat reports the volume's size";

  ASSERT_EQ(fs_.write_file(path("big.bin"), std::string(48 << 20, 'b')), 0);
  EXPECT_EQ(fs_.copy_file(path("big.bin"), fat + "/big.bin"), err::kDiskFull);
  std::vector<DirItem> items;
  ASSERT_EQ(fs_.search(fat, "*.*", items), 0);
  EXPECT_TRUE(items.empty());
  ASSERT_EQ(fs_.write_file(path("small.txt"), "small"), 0);
  EXPECT_EQ(fs_.copy_file(path("small.txt"), fat + "/small.txt"), 0);
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
  if (find_tool("fusefat").empty()) GTEST_SKIP() << "no fusefat";
  std::string point = path("gone");
  ASSERT_EQ(::mkdir(point.c_str(), 0777), 0);
  pid_t server = serve_fat(image, point);
  ASSERT_GT(server, 0) << "fusefat did not mount";
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

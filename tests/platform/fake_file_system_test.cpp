// What only the fake does: volumes of any size and kind, FAT-like times,
// unmounted folders, case twins, devices and names that cannot be carried.
// What it shares with every file system is held by the contract suite.
#include "platform/fake/fake_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr FileTime kSecond = 10000000ULL;
constexpr FileTime kEven = FakeFileSystem::kDefaultNow;  // a multiple of two seconds

class FakeFileSystemTest : public ::testing::Test {
 protected:
  FakeFileSystemTest() { fs.add_volume("C:\\"); }

  std::vector<std::string> names(std::string_view folder, std::string_view pattern = "*.*") {
    std::vector<DirItem> items;
    EXPECT_EQ(fs.search(folder, pattern, items), 0);
    std::vector<std::string> out;
    for (const auto& item : items) out.push_back(item.name);
    return out;
  }

  std::string read(std::string_view path) {
    std::string data;
    EXPECT_EQ(fs.read_file(path, data), 0) << path;
    return data;
  }

  FakeFileSystem fs;
};

using Names = std::vector<std::string>;

TEST_F(FakeFileSystemTest, OfTwoCaseTwinsTheFirstWins) {
  fs.make_folders("C:\\Docs");
  ASSERT_EQ(fs.write_file("c:/DOCS/Report.TXT", "two"), 0);
  const std::string upper = cp1251("ФАЙЛ");
  ASSERT_EQ(fs.write_file("C:\\Docs\\" + upper, "u"), 0);

  // Of two names that differ only in case the first wins; when it goes,
  // the other is found.
  fs.add_case_twin("C:\\Docs\\REPORT.TXT", "twin");
  EXPECT_EQ(names("C:\\Docs"), (Names{"Report.TXT", upper, "REPORT.TXT"}));
  EXPECT_EQ(read("C:\\Docs\\REPORT.TXT"), "two");
  ASSERT_EQ(fs.delete_file("C:\\Docs\\report.txt"), 0);
  EXPECT_EQ(read("C:\\Docs\\report.txt"), "twin");
}

TEST_F(FakeFileSystemTest, SearchListsInCreationOrder) {
  fs.write("C:\\x\\b.txt", "12345");
  fs.make_folders("C:\\x\\sub");
  fs.write("C:\\x\\a", "");
  fs.write("C:\\x\\c.doc", "");
  EXPECT_EQ(names("C:\\x"), (Names{"b.txt", "sub", "a", "c.doc"}));
}

TEST_F(FakeFileSystemTest, FullDiskLeavesTheOldFileAndNoTemporary) {
  fs.add_volume("E:\\", true, 1, 10 * 512, 512);  // ten clusters
  fs.write("E:\\old.bin", std::string(4 * 512, 'o'));
  FreeSpace space;
  ASSERT_EQ(fs.free_space("E:\\", space), 0);
  EXPECT_EQ(space.sectors_per_cluster * space.bytes_per_sector, 512u);
  EXPECT_EQ(space.free_clusters, 6u);

  // The new contents need room of their own while the old file exists.
  EXPECT_EQ(fs.write_file("E:\\old.bin", std::string(7 * 512, 'n')), err::kDiskFull);
  EXPECT_EQ(fs.contents("E:\\old.bin"), std::string(4 * 512, 'o'));
  const std::string six(6 * 512 - 100, 'n');
  ASSERT_EQ(fs.write_file("E:\\old.bin", six), 0);
  ASSERT_EQ(fs.free_space("E:\\", space), 0);
  EXPECT_EQ(space.free_clusters, 4u);

  fs.write("C:\\big.bin", std::string(5 * 512, 'b'));
  EXPECT_EQ(fs.copy_file("C:\\big.bin", "E:\\old.bin"), err::kDiskFull);
  EXPECT_EQ(fs.copy_file("C:\\big.bin", "E:\\new.bin"), err::kDiskFull);
  EXPECT_EQ(fs.move_file("C:\\big.bin", "E:\\new.bin"), err::kDiskFull);
  EXPECT_EQ(fs.contents("E:\\old.bin"), six);
  EXPECT_TRUE(fs.exists("C:\\big.bin"));

  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(fs.open_append("E:\\log", false, log), 0);
  EXPECT_EQ(log->append(std::string(4 * 512, 'l')), 0);
  EXPECT_EQ(log->append("x"), err::kDiskFull);
  EXPECT_EQ(log->close(), err::kDiskFull);
  EXPECT_EQ(fs.contents("E:\\log")->size(), 4u * 512);

  auto paths = fs.all_paths();
  paths.erase(
      std::remove_if(paths.begin(), paths.end(), [](const auto& p) { return p.starts_with("C:"); }),
      paths.end());
  EXPECT_EQ(paths, (Names{"E:\\old.bin", "E:\\log"}));
}

TEST_F(FakeFileSystemTest, FatVolumeKeepsTwoSecondTimes) {
  fs.add_volume("F:\\", false);
  VolumeInfo info;
  fs.make_folders("F:\\sub");
  ASSERT_EQ(fs.volume("F:\\sub", info), 0);
  EXPECT_FALSE(info.exact_times);
  EXPECT_EQ(info.fs_name, "FAT");
  ASSERT_EQ(fs.volume("C:\\", info), 0);
  EXPECT_TRUE(info.exact_times);
  EXPECT_EQ(info.fs_name, "NTFS");

  fs.write("F:\\a.txt", "x");
  ASSERT_EQ(fs.set_times("F:\\a.txt", {kEven + 1, kEven + kSecond, kEven + 1}), 0);
  FileTimes t;
  ASSERT_EQ(fs.get_times("F:\\a.txt", t), 0);
  EXPECT_EQ(t.creation, kEven + 2 * kSecond);
  EXPECT_EQ(t.last_access, kEven + 2 * kSecond);
  EXPECT_EQ(t.last_write, kEven + 2 * kSecond);
  ASSERT_EQ(fs.set_times("F:\\a.txt", {0, 0, kEven + 4 * kSecond}), 0);
  ASSERT_EQ(fs.get_times("F:\\a.txt", t), 0);
  EXPECT_EQ(t.last_write, kEven + 4 * kSecond);
  EXPECT_EQ(t.creation, kEven + 2 * kSecond);  // 0 leaves a time as it is

  fs.write("C:\\exact.txt", "x", kEven + kSecond + 1);
  EXPECT_EQ(fs.times("C:\\exact.txt").last_write, kEven + kSecond + 1);
  ASSERT_EQ(fs.copy_file("C:\\exact.txt", "F:\\copy.txt"), 0);
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search("F:\\", "copy.txt", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].last_write, kEven + 2 * kSecond);

  fs.set_now(kEven + 3 * kSecond);
  ASSERT_EQ(fs.write_file("F:\\new.txt", "x"), 0);
  EXPECT_EQ(fs.times("F:\\new.txt").last_write, kEven + 4 * kSecond);
}

TEST_F(FakeFileSystemTest, FolderIdentityChangesWithTheFolderOnly) {
  fs.write("C:\\Carrier\\f.txt", "f");
  FolderIdentity id, now;
  ASSERT_EQ(fs.folder_identity("C:\\carrier\\", id), 0);
  ASSERT_EQ(fs.write_file("C:\\Carrier\\g.txt", "g"), 0);
  ASSERT_EQ(fs.folder_identity("C:\\CARRIER", now), 0);
  EXPECT_EQ(now, id) << "what happens inside keeps the identity";
  EXPECT_EQ(fs.folder_identity("C:\\Carrier\\f.txt", now), err::kDirectory);
  EXPECT_EQ(fs.folder_identity("C:\\none", now), err::kFileNotFound);

  fs.unmount_folder("C:\\Carrier");
  ASSERT_EQ(fs.folder_identity("C:\\Carrier", now), 0);
  EXPECT_NE(now, id) << "the empty mount point is another folder";
  EXPECT_EQ(names("C:\\Carrier"), Names{});
  ASSERT_EQ(fs.write_file("C:\\Carrier\\shadow", "s"), 0);
  fs.remount_folder("C:\\Carrier");
  ASSERT_EQ(fs.folder_identity("C:\\Carrier", now), 0);
  EXPECT_EQ(now, id);
  EXPECT_EQ(names("C:\\Carrier"), (Names{"f.txt", "g.txt"}));

  fs.remove_tree("C:\\Carrier");
  EXPECT_EQ(fs.free_bytes("C:\\"), 1ULL << 30);
  fs.make_folders("C:\\Carrier");
  ASSERT_EQ(fs.folder_identity("C:\\Carrier", now), 0);
  EXPECT_NE(now, id) << "a folder made again is another one";
}

TEST_F(FakeFileSystemTest, AVolumeThatTellsNoSizeStillFillsUp) {
  fs.add_volume("E:\\", true, 1, 8192, 4096);
  fs.set_size_unknown("E:\\");
  FreeSpace space;
  ASSERT_EQ(fs.free_space("E:\\", space), 0);
  EXPECT_EQ(space.total_clusters, 0u);
  EXPECT_EQ(space.free_clusters, 0u);
  EXPECT_EQ(fs.write_file("E:\\two", std::string(8192, 'x')), 0);
  EXPECT_EQ(fs.write_file("E:\\more", "x"), err::kDiskFull);
  EXPECT_FALSE(fs.exists("E:\\more"));
}

TEST_F(FakeFileSystemTest, PathsOnNoVolumeAndNamesWindowsRefuses) {
  std::string data;
  EXPECT_EQ(fs.create_folder("C:\\"), err::kAlreadyExists);
  EXPECT_EQ(fs.delete_file("C:\\"), err::kAccessDenied);
  EXPECT_EQ(fs.read_file("Z:\\x", data), err::kPathNotFound);
  EXPECT_EQ(fs.write_file("Z:\\x", "x"), err::kPathNotFound);
  EXPECT_EQ(fs.write_file("C:\\a*b", "x"), err::kInvalidName);
  EXPECT_EQ(fs.write_file("C:\\dir\\..\\x", "x"), err::kInvalidName);
  EXPECT_EQ(fs.all_paths(), std::vector<std::string>{});
}

TEST_F(FakeFileSystemTest, ReadOnlyFoldersRefuseNewAndRemovedEntries) {
  fs.write("C:\\locked\\f.txt", "f");
  fs.make_folders("C:\\locked\\in");
  fs.set_read_only("C:\\locked");
  EXPECT_EQ(fs.create_folder("C:\\locked\\new"), err::kAccessDenied);
  EXPECT_EQ(fs.write_file("C:\\locked\\g.txt", "g"), err::kAccessDenied);
  EXPECT_EQ(fs.write_file("C:\\locked\\f.txt", "g"), err::kAccessDenied);
  EXPECT_EQ(fs.delete_file("C:\\locked\\f.txt"), err::kAccessDenied);
  EXPECT_EQ(fs.remove_folder("C:\\locked\\in"), err::kAccessDenied);
  EXPECT_EQ(fs.write_file("C:\\locked\\in\\x.txt", "x"), 0);  // not its own entry
}

TEST_F(FakeFileSystemTest, DevicesAndUncarriableNames) {
  fs.add_item("C:\\d\\fifo", ItemKind::kOther);
  fs.add_item("C:\\d\\bad?name", ItemKind::kFile, false);
  fs.write("C:\\d\\src", "s");
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search("C:\\d", "*", items), 0);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].kind, ItemKind::kOther);
  EXPECT_EQ(items[1].kind, ItemKind::kFile);
  EXPECT_TRUE(items[0].carriable);
  EXPECT_FALSE(items[1].carriable);
  std::string data;
  std::unique_ptr<AppendFile> log;
  EXPECT_EQ(fs.read_file("C:\\d\\FIFO", data), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file("C:\\d\\fifo", "C:\\copy"), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file("C:\\d\\src", "C:\\d\\fifo"), err::kAccessDenied);
  EXPECT_EQ(fs.write_file("C:\\d\\fifo", "x"), err::kAccessDenied);
  EXPECT_EQ(fs.open_append("C:\\d\\fifo", false, log), err::kAccessDenied);
  EXPECT_NE(fs.read_file("C:\\d\\bad?name", data), 0);
}

TEST_F(FakeFileSystemTest, MovesAcrossVolumesAndStampsParentFolders) {
  fs.add_volume("E:\\", false);
  fs.write("C:\\from\\a.txt", "a", kEven + kSecond);
  const FileTime later = kEven + 100 * kSecond;
  fs.set_now(later);
  ASSERT_EQ(fs.move_file("C:\\from\\a.txt", "E:\\a.txt"), 0);
  EXPECT_FALSE(fs.exists("C:\\from\\a.txt"));
  EXPECT_EQ(fs.contents("E:\\a.txt"), "a");
  EXPECT_EQ(fs.times("E:\\a.txt").last_write, kEven + 2 * kSecond);
  EXPECT_EQ(fs.times("C:\\from").last_write, later);
  EXPECT_EQ(fs.times("E:\\").last_write, later);

  // One file under two spellings: nothing to move, nothing lost.
  ASSERT_EQ(fs.move_file("E:\\a.txt", "e:\\A.TXT"), 0);
  EXPECT_EQ(fs.contents("E:\\a.txt"), "a");

  fs.make_folders("C:\\p");
  const FileTime created = fs.times("C:\\p").creation;
  fs.set_now(later + 10 * kSecond);
  ASSERT_EQ(fs.create_folder("C:\\p\\q"), 0);
  EXPECT_EQ(fs.times("C:\\p").last_write, later + 10 * kSecond);
  EXPECT_EQ(fs.times("C:\\p").creation, created);
}

}  // namespace
}  // namespace keldar

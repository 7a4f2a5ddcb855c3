// What the Windows layer does beyond the contract suite: paths past 260
// characters, names Windows-1251 cannot carry, volume kinds by name.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "disks.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar::test {
namespace {

class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(disk.root().empty()); }
  Win32Disk disk;
  FileSystem& fs = disk.fs();
};

// Every operation reaches an item whose path is far beyond 260 characters
// (with a Cyrillic name); nothing is cut. (Wine takes such paths even
// without the prefix; Windows does not.)
TEST_F(Win32FileSystemTest, PathsLongerThan260CharactersAreNotCut) {
  std::string folder = disk.root();
  const std::string level = "\\" + std::string(60, 'L');
  while (folder.size() < 300) {
    folder += level;
    ASSERT_EQ(fs.create_folder(folder), 0) << folder.size();
  }
  const std::string file = folder + "\\" + cp1251("Отчет.txt");
  ASSERT_GT(file.size(), 310u);
  ASSERT_EQ(fs.write_file(file, "long"), 0);
  std::string data;
  ASSERT_EQ(fs.read_file(file, data), 0);
  EXPECT_EQ(data, "long");
  const FileTime t = kFileTimeUnixEpoch + 1600000000ULL * kTicksPerSecond;
  ASSERT_EQ(fs.set_times(file, {0, 0, t}), 0);
  ASSERT_EQ(fs.copy_file(file, folder + "\\copy"), 0);
  ASSERT_EQ(fs.move_file(folder + "\\copy", folder + "\\moved"), 0);
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search(folder, "*", items), 0);
  ASSERT_EQ(items.size(), 2u);
  for (const DirItem& item : items) EXPECT_EQ(item.last_write, t) << item.name;
  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(fs.open_append(folder + "\\log", false, log), 0);
  ASSERT_EQ(log->close(), 0);
  FolderIdentity identity;
  VolumeInfo volume;
  FreeSpace space;
  EXPECT_EQ(fs.folder_identity(folder, identity), 0);
  EXPECT_EQ(fs.volume(file, volume), 0);
  EXPECT_EQ(fs.free_space(file, space), 0);
  EXPECT_EQ(fs.flush(), 0);
  for (const char* name : {"\\log", "\\moved"}) ASSERT_EQ(fs.delete_file(folder + name), 0);
  ASSERT_EQ(fs.delete_file(file), 0);
  while (folder.size() > disk.root().size()) {
    ASSERT_EQ(fs.remove_folder(folder), 0) << folder.size();
    folder.resize(folder.size() - level.size());
  }
}

// A name made elsewhere with characters Windows-1251 lacks is reported as
// not carriable, with '?' in their place; the others are carried.
TEST_F(Win32FileSystemTest, NamesOutsideWindows1251AreNotCarriable) {
  const std::wstring root = Win32Disk::wide(disk.root());
  for (const wchar_t* name : {L"\x4E2D\x6587.txt", L"\x0416\x0443\x043A.txt"}) {
    HANDLE h = ::CreateFileW((root + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
  }
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search(disk.root(), "*.txt", items), 0);
  ASSERT_EQ(items.size(), 2u);
  std::sort(items.begin(), items.end(),
            [](const DirItem& a, const DirItem& b) { return a.name < b.name; });
  EXPECT_EQ(items[0].name, "??.txt");
  EXPECT_FALSE(items[0].carriable);
  EXPECT_EQ(items[1].name, cp1251("Жук.txt"));
  EXPECT_TRUE(items[1].carriable);
}

// A destination held open by another program without leave to delete it
// cannot be replaced: the copy, write or move fails with the system's code,
// the destination stays as it was, and no temporary is left, read-only as
// the copy of a read-only source is.
TEST_F(Win32FileSystemTest, AFailedReplaceLeavesTheDestinationAndNoTemporary) {
  const std::string source = disk.root() + "\\source", target = disk.root() + "\\target";
  ASSERT_EQ(fs.write_file(source, "new"), 0);
  disk.set_read_only(source);
  ASSERT_EQ(fs.write_file(target, "old"), 0);
  HANDLE held = ::CreateFileW(Win32Disk::wide(target).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_NE(fs.copy_file(source, target), 0);
  EXPECT_NE(fs.write_file(target, "new"), 0);
  EXPECT_NE(fs.move_file(source, target), 0);
  ::CloseHandle(held);
  std::string data;
  ASSERT_EQ(fs.read_file(target, data), 0);
  EXPECT_EQ(data, "old");
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search(disk.root(), "*", items), 0);
  EXPECT_EQ(items.size(), 2u) << "no temporary is left";
}

// Volumes keep exact times by their file system's name: NTFS and ReFS do,
// FAT, FAT32 and exFAT keep two-second times.
TEST_F(Win32FileSystemTest, FatVolumesKeepTwoSecondTimes) {
  VolumeInfo info;
  ASSERT_EQ(fs.volume(disk.root(), info), 0);
  EXPECT_EQ(info.exact_times, info.fs_name == "NTFS" || info.fs_name == "ReFS") << info.fs_name;
  // A FAT volume, where the computer has one.
  for (char drive = 'A'; drive <= 'Z'; ++drive) {
    const std::string root = std::string(1, drive) + ":\\";
    if (fs.volume(root, info) == 0 && info.fs_name.find("FAT") != std::string::npos) {
      EXPECT_FALSE(info.exact_times) << root << " " << info.fs_name;
      return;
    }
  }
  GTEST_SKIP() << "no FAT volume here (Wine shows the Linux folders of its drives as NTFS)";
}

}  // namespace
}  // namespace keldar::test
#endif

// The fault-injecting wrapper over the fake and over the Linux layer: each
// fault stops a call before it has any effect, over either file system.
#include "platform/fake/faulty_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disks.h"
#include "platform/errors.h"

namespace keldar::test {
namespace {

constexpr FileTime kT = kFileTimeUnixEpoch + 1600000000ULL * 10000000ULL;

template <class Disk>
class FaultyFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(disk.root().empty()); }

  std::string at(std::string_view relative) const {
    return disk.root() + "\\" + std::string(relative);
  }
  // Set up and checked on the file system below, past every fault.
  void put(std::string_view relative, std::string_view data) {
    ASSERT_EQ(disk.fs().write_file(at(relative), data), 0) << relative;
  }
  std::string read(std::string_view relative) {
    std::string data;
    int rc = disk.fs().read_file(at(relative), data);
    return rc == 0 ? data : "<" + std::to_string(rc) + ">";
  }
  std::vector<std::string> names(std::string_view relative) {
    std::vector<DirItem> items;
    EXPECT_EQ(disk.fs().search(at(relative), "*", items), 0);
    std::vector<std::string> out;
    for (const DirItem& item : items) out.push_back(item.name);
    std::sort(out.begin(), out.end());
    return out;
  }

  Disk disk;
  FaultyFileSystem faults{disk.fs()};
};

struct DiskNames {
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};
using Disks = ::testing::Types<FakeDisk, NativeDisk>;
TYPED_TEST_SUITE(FaultyFileSystemTest, Disks, DiskNames);

using Names = std::vector<std::string>;

TYPED_TEST(FaultyFileSystemTest, FailsTheNthCallOnceAndEveryCallOnAPath) {
  auto& faults = this->faults;
  this->put("a.txt", "a");
  const auto before = faults.calls();
  faults.set_fail_at(3, err::kIoDevice);
  std::string data;
  EXPECT_EQ(faults.read_file(this->at("a.txt"), data), 0);
  EXPECT_EQ(faults.create_folder(this->at("f")), 0);
  EXPECT_EQ(faults.write_file(this->at("a.txt"), "b"), err::kIoDevice);
  EXPECT_EQ(this->read("a.txt"), "a");
  EXPECT_EQ(faults.write_file(this->at("a.txt"), "b"), 0) << "once only";
  EXPECT_EQ(faults.calls(), before + 4);
  // A computer that stops at its second call from now: nothing after it.
  faults.set_fail_at(2, err::kNotReady, true);
  EXPECT_EQ(faults.write_file(this->at("a.txt"), "c"), 0);
  EXPECT_EQ(faults.write_file(this->at("a.txt"), "d"), err::kNotReady);
  EXPECT_EQ(faults.read_file(this->at("a.txt"), data), err::kNotReady);
  EXPECT_EQ(faults.create_folder(this->at("g")), err::kNotReady);
  EXPECT_EQ(this->read("a.txt"), "c");
  faults.clear_failures();
  EXPECT_EQ(faults.read_file(this->at("a.txt"), data), 0);

  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(faults.open_append(this->at("log"), false, log), 0);
  faults.set_fail_at(2, err::kIoDevice);
  EXPECT_EQ(log->append("1"), 0);
  EXPECT_EQ(log->append("2"), err::kIoDevice);
  EXPECT_EQ(log->append("3"), 0);
  EXPECT_EQ(log->close(), err::kIoDevice) << "the first error, at the end";
  EXPECT_EQ(this->read("log"), "13");

  faults.fail_path("\\F\\", err::kAccessDenied);  // case and separators ignored
  std::string slashed = this->at("f/x.txt");
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  EXPECT_EQ(faults.write_file(slashed, "x"), err::kAccessDenied);
  EXPECT_EQ(faults.copy_file(this->at("a.txt"), this->at("F\\y.txt")), err::kAccessDenied);
  EXPECT_EQ(faults.write_file(this->at("g.txt"), "g"), 0);
  EXPECT_EQ(this->names("f"), Names{});
  faults.clear_failures();
  EXPECT_EQ(faults.write_file(this->at("f\\x.txt"), "x"), 0);
}

// Writes below a limited folder fit in what is left of its bytes, or give
// 112 and write nothing; free space there tells no more than that.
TYPED_TEST(FaultyFileSystemTest, AFullDiskWritesNothingThatDoesNotFit) {
  auto& faults = this->faults;
  ASSERT_EQ(faults.create_folder(this->at("small")), 0);
  this->put("small\\old.bin", "old");
  this->put("big.bin", std::string(600, 'b'));
  faults.limit_space(this->at("small"), 1000);
  FreeSpace space;
  ASSERT_EQ(faults.free_space(this->at("small"), space), 0);
  EXPECT_EQ(space.free_clusters * space.sectors_per_cluster * space.bytes_per_sector, 0u)
      << "less than one cluster is left";

  EXPECT_EQ(faults.write_file(this->at("small\\old.bin"), std::string(1001, 'n')), err::kDiskFull);
  EXPECT_EQ(faults.copy_file(this->at("big.bin"), this->at("small\\copy.bin")), 0);  // 400 left
  EXPECT_EQ(faults.copy_file(this->at("big.bin"), this->at("small\\old.bin")), err::kDiskFull);
  EXPECT_EQ(faults.move_file(this->at("big.bin"), this->at("small\\moved.bin")), err::kDiskFull);
  EXPECT_EQ(faults.move_file(this->at("small\\copy.bin"), this->at("small\\renamed.bin")), 0)
      << "a rename inside needs no room";
  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(faults.open_append(this->at("small\\log"), false, log), 0);
  EXPECT_EQ(log->append(std::string(400, 'l')), 0);
  EXPECT_EQ(log->append("x"), err::kDiskFull);
  EXPECT_EQ(log->close(), err::kDiskFull);
  EXPECT_EQ(this->read("small\\old.bin"), "old");
  EXPECT_EQ(this->read("small\\log").size(), 400u);
  EXPECT_EQ(this->names("small"), (Names{"log", "old.bin", "renamed.bin"})) << "no temporary";
  EXPECT_EQ(faults.write_file(this->at("elsewhere.bin"), std::string(2000, 'e')), 0);

  faults.limit_space(this->at("small"), std::nullopt);
  EXPECT_EQ(faults.write_file(this->at("small\\old.bin"), std::string(2000, 'n')), 0);
  ASSERT_EQ(faults.free_space(this->at("small"), space), 0);
  EXPECT_GT(space.free_clusters, 0u);
}

// A vanished volume fails every call on it with 21, an open file and a
// flush of copies made there too, and keeps what it holds for its return.
TYPED_TEST(FaultyFileSystemTest, AVanishedVolumeFailsEveryCallUntilItIsBack) {
  auto& faults = this->faults;
  this->put("a", "a");
  ASSERT_EQ(faults.create_folder(this->at("E")), 0);
  ASSERT_EQ(faults.create_folder(this->at("E\\k")), 0);
  this->put("E\\k\\list.qrn", "data");
  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(faults.open_append(this->at("E\\k\\log"), false, log), 0);
  ASSERT_EQ(faults.copy_file(this->at("a"), this->at("E\\copy")), 0);
  faults.set_volume_gone(this->at("e"));

  std::vector<DirItem> items;
  std::string data;
  ItemKind kind;
  VolumeInfo info;
  FreeSpace space;
  FileTimes times;
  FolderIdentity identity;
  const std::string list = this->at("E\\k\\list.qrn");
  EXPECT_EQ(faults.search(this->at("E\\k"), "*", items), err::kNotReady);
  EXPECT_EQ(faults.folder_identity(this->at("E"), identity), err::kNotReady);
  EXPECT_EQ(faults.item_kind(list, kind), err::kNotReady);
  EXPECT_EQ(faults.read_file(list, data), err::kNotReady);
  EXPECT_EQ(faults.write_file(list, "new"), err::kNotReady);
  EXPECT_EQ(faults.copy_file(list, this->at("x")), err::kNotReady);
  EXPECT_EQ(faults.move_file(this->at("a"), this->at("E\\x")), err::kNotReady);
  EXPECT_EQ(faults.volume(this->at("E"), info), err::kNotReady);
  EXPECT_EQ(faults.free_space(this->at("E"), space), err::kNotReady);
  EXPECT_EQ(faults.get_times(list, times), err::kNotReady);
  EXPECT_EQ(faults.delete_file(list), err::kNotReady);
  EXPECT_EQ(log->append("line"), err::kNotReady);
  EXPECT_EQ(faults.flush(), err::kNotReady) << "a copy there may not be on its disk";
  EXPECT_EQ(faults.volume(this->at("a"), info), 0);
  EXPECT_EQ(faults.read_file(this->at("a"), data), 0);
  EXPECT_EQ(this->read("a"), "a");

  faults.set_volume_gone(this->at("E"), false);
  ASSERT_EQ(faults.read_file(list, data), 0);
  EXPECT_EQ(data, "data");
  EXPECT_EQ(log->close(), err::kNotReady);
  EXPECT_EQ(faults.flush(), 0);
}

// A computer that stops before its disks have the latest copies finds the
// files those copies replaced, with their times, and none that they made.
TYPED_TEST(FaultyFileSystemTest, CopiesNotYetFlushedAreLostWhenTheComputerStops) {
  auto& faults = this->faults;
  this->put("new", "new");
  this->put("kept", "old kept");
  this->put("replaced", "old");
  ASSERT_EQ(faults.set_times(this->at("replaced"), {0, 0, kT}), 0);
  ASSERT_EQ(faults.copy_file(this->at("new"), this->at("kept")), 0);
  ASSERT_EQ(faults.flush(), 0);
  EXPECT_EQ(faults.unflushed(), 0u);
  ASSERT_EQ(faults.copy_file(this->at("new"), this->at("replaced")), 0);
  ASSERT_EQ(faults.copy_file(this->at("new"), this->at("made")), 0);
  ASSERT_EQ(faults.copy_file(this->at("kept"), this->at("made")), 0);
  EXPECT_EQ(faults.unflushed(), 3u);
  faults.set_fail_at(1, err::kIoDevice);
  EXPECT_EQ(faults.flush(), err::kIoDevice);
  EXPECT_EQ(faults.unflushed(), 3u) << "a flush that failed waited for nothing";

  faults.lose_unflushed();
  EXPECT_EQ(faults.unflushed(), 0u);
  EXPECT_EQ(this->names(""), (Names{"kept", "new", "replaced"}));
  EXPECT_EQ(this->read("kept"), "new") << "flushed before the stop";
  EXPECT_EQ(this->read("replaced"), "old");
  FileTimes times;
  ASSERT_EQ(faults.get_times(this->at("replaced"), times), 0);
  EXPECT_EQ(times.last_write, kT);
}

}  // namespace
}  // namespace keldar::test

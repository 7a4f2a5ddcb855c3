// Carrier volumes as they are met: one that goes away during a run, or
// whose mount point is left empty (nothing is made in its place, nothing is
// written there, nothing is taken as done), and one that tells no size.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lists/list_file.h"
#include "sync/actions.h"
#include "sync/file_ops.h"
#include "sync_fixture.h"

namespace keldar::sync_test {
namespace {

class CarrierVolumeTest : public SyncTest {
 protected:
  void SetUp() override {
    SyncTest::SetUp();
    add_mask("*.*");
  }
  // As start-up does.
  void take_carrier_identity() {
    FolderIdentity identity;
    ASSERT_EQ(fs.folder_identity(kCarrier, identity), 0);
    ctx.carrier.identity = identity;
  }
  long not_ready_lines() const {
    return std::count(log.lines.begin(), log.lines.end(), "21: " + error_line(err::kNotReady));
  }
  // Whatever lies in the carrier folder now.
  std::vector<std::string> on_carrier() const {
    std::vector<std::string> paths;
    for (const std::string& p : fs.all_paths()) {
      if (p.starts_with(kCarrier)) paths.push_back(p);
    }
    return paths;
  }
};

TEST_F(CarrierVolumeTest, ACopyNeverMakesTheCarrierFolderOrTheObjectFolder) {
  add_object();
  struct Case {
    std::string_view gone;
    std::string_view name;
    bool towards_object;
  };
  for (const Case& c :
       {Case{kObjectFolder, "sub\\there.txt", true}, Case{kCarrier, "sub\\here.txt", false}}) {
    fs.write(object("sub\\here.txt"), "here", file_time(kJan15));
    fs.write(carrier("sub\\there.txt"), "there", file_time(kJan15));
    ASSERT_TRUE(fill());
    fs.remove_tree(c.gone);
    const std::vector<std::string> before = fs.all_paths();
    ctx.stop.reset();
    EXPECT_EQ(copy_entry(ctx.env, ctx.run(), entry_index(c.name), c.towards_object),
              err::kPathNotFound)
        << c.gone;
    EXPECT_EQ(fs.all_paths(), before) << c.gone;
  }
}

TEST_F(CarrierVolumeTest, NoListIsWrittenOnACarrierReplacedSinceStartUp) {
  take_carrier_identity();
  add_object();
  fs.write(object("a.txt"), "a", file_time(kJan15));
  ASSERT_TRUE(fill());
  fs.unmount_folder(kCarrier);

  EXPECT_FALSE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(on_carrier().empty());
  EXPECT_EQ(not_ready_lines(), 1);
  EXPECT_TRUE(ctx.list().dirty);
  fs.remount_folder(kCarrier);
  EXPECT_FALSE(write_lists(ctx.env, ctx)) << "lost for good";
  EXPECT_FALSE(fs.exists(std::string(kCarrier) + "00001.QRN"));
  EXPECT_EQ(not_ready_lines(), 1);
}

TEST_F(CarrierVolumeTest, Action2StopsAtTheFirstCopyToAnEmptyMountPoint) {
  take_carrier_identity();
  add_object();
  fs.write(object("a.txt"), "a", file_time(kJan15));
  fs.write(object("sub\\b.txt"), "b", file_time(kJan15));
  ASSERT_TRUE(fill());
  ctx.list().states[1] = 2;  // another computer has none of them
  fs.unmount_folder(kCarrier);
  ctx.stop.reset();

  action2(ctx.env, ctx.run());

  EXPECT_TRUE(on_carrier().empty());
  EXPECT_FALSE(!ctx.stop.pending());
  EXPECT_EQ(not_ready_lines(), 1);
  EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                          [](const std::string& l) { return l.starts_with("EC="); }),
            1);
  for (const ListEntry& e : ctx.list().entries) EXPECT_EQ(e.state, 0) << e.name();
  EXPECT_EQ(ctx.list().states[0], 1) << "Action 2 did not complete";
}

// The carrier goes away after the first copy into the object folder: the
// carrier copies stay, and no entry is taken as done.
TEST_F(CarrierVolumeTest, Action1TakesNothingAsDoneOnceTheCarrierIsGone) {
  take_carrier_identity();
  add_object();
  fs.write(object("a.txt"), "old", file_time(kJan15));
  fs.write(carrier("a.txt"), "new", file_time(kJan15 + 3600));
  fs.write(carrier("b.txt"), "bee", file_time(kJan15 + 3600));
  ASSERT_TRUE(fill());
  ctx.list().states[1] = 2;
  for (const char* name : {"a.txt", "b.txt"}) {
    entry(name).state = 2;
    entry(name).list_stamps[1] = (kJan15 + 3600) | kExact;
  }
  const std::uint32_t a_stamp = entry("a.txt").list_stamps[0];
  fs.after_copy = [this] {
    fs.unmount_folder(kCarrier);
    fs.after_copy = nullptr;
  };
  ctx.stop.reset();

  action1(ctx.env, ctx.run());

  EXPECT_FALSE(!ctx.stop.pending());
  EXPECT_EQ(not_ready_lines(), 1);
  EXPECT_EQ(fs.contents(object("a.txt")), "old");
  for (const char* name : {"a.txt", "b.txt"}) {
    EXPECT_EQ(entry(name).state, 2) << name;
  }
  EXPECT_EQ(entry("a.txt").list_stamps[0], a_stamp);
  EXPECT_EQ(entry("b.txt").list_stamps[0], 0u);
  fs.remount_folder(kCarrier);
  EXPECT_EQ(fs.contents(carrier("a.txt")), "new");
  EXPECT_EQ(fs.contents(carrier("b.txt")), "bee");
}

// Some FUSE volumes report 0 blocks: their free space is unknown, so the
// copies go ahead, and a full disk is told by the copy itself.
TEST_F(CarrierVolumeTest, AVolumeThatTellsNoSizeTakesCopiesUntilItIsFull) {
  add_object();
  fs.write(object("a.txt"), "small", file_time(kJan15));
  fs.write(object("big.bin"), std::string(1 << 20, 'b'), file_time(kJan15));
  ASSERT_TRUE(fill());
  ctx.list().states[1] = 2;
  fs.set_size_unknown("C:\\");
  fs.set_capacity("C:\\", 64 << 10);
  ctx.stop.reset();

  action2(ctx.env, ctx.run());

  EXPECT_EQ(fs.contents(carrier("a.txt")), "small");
  EXPECT_FALSE(fs.exists(carrier("big.bin")));
  EXPECT_EQ(entry("big.bin").state, 0);
  const std::vector<std::string> failed = {"EC=big.bin", "112: " + error_line(err::kDiskFull)};
  EXPECT_NE(std::search(log.lines.begin(), log.lines.end(), failed.begin(), failed.end()),
            log.lines.end());
}

}  // namespace
}  // namespace keldar::sync_test

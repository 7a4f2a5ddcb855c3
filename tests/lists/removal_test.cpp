// Removing folder trees and an object's list with its carrier folder.
#include "lists/removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists_fixture.h"

namespace keldar::lists_test {
namespace {

class RemovalTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    ctx.stop.reset();
  }
  // Every path of the fake that starts with `prefix`.
  std::vector<std::string> paths_under(std::string_view prefix) {
    std::vector<std::string> out;
    for (auto& p : fs.all_paths()) {
      if (p.starts_with(prefix)) out.push_back(p);
    }
    return out;
  }
  long deleted = 0;  // files deleted, as delete_tree counts them
};

TEST_F(RemovalTest, AMissingFolderIsNothingToDo) {
  const auto before = fs.all_paths();
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\CARRIER\\00007\\", "*.*", true, false, &deleted));
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\NOWHERE\\AT\\ALL\\", "*.*", false, false, &deleted));
  EXPECT_EQ(fs.all_paths(), before);
  EXPECT_EQ(deleted, 0);
}

TEST_F(RemovalTest, AWholeTreeGoesReadOnlyFilesIncluded) {
  fs.write("C:\\CARRIER\\00007\\A.TXT", "a");
  fs.write("C:\\CARRIER\\00007\\RO.TXT", "r");
  fs.set_read_only("C:\\CARRIER\\00007\\RO.TXT");
  fs.write("C:\\CARRIER\\00007\\SUB\\B.TXT", "b");
  fs.write("C:\\CARRIER\\00007\\SUB\\DEEP\\C.TXT", "c");
  fs.make_folders("C:\\CARRIER\\00007\\EMPTY");
  fs.make_folders("C:\\CARRIER\\00007\\SUB\\EMPTY\\TOO");
  fs.write("C:\\CARRIER\\00008\\KEEP.TXT", "k");
  deleted = 5;

  EXPECT_TRUE(delete_tree(ctx.env, "C:\\CARRIER\\00007\\", "*.*", true, false, &deleted));
  EXPECT_EQ(paths_under("C:\\CARRIER\\"),
            (std::vector<std::string>{"C:\\CARRIER\\00008", "C:\\CARRIER\\00008\\KEEP.TXT"}));
  EXPECT_EQ(deleted, 9) << "the caller's count goes on";
  EXPECT_EQ(host.progress.front(), "6");
}

TEST_F(RemovalTest, FoldersAloneGoWhenFilesAreKept) {
  fs.make_folders("C:\\T\\E1");
  fs.make_folders("C:\\T\\E2\\E3\\E4");
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\T\\", "*.*", false, false, &deleted));
  EXPECT_FALSE(fs.exists("C:\\T"));

  fs.write("C:\\T\\KEEP\\DEEP\\F.TXT", "f");
  fs.make_folders("C:\\T\\KEEP\\ALSOEMPTY");
  fs.make_folders("C:\\T\\EMPTY\\TOO");
  EXPECT_FALSE(delete_tree(ctx.env, "C:\\T\\", "*.*", false, false, &deleted));
  EXPECT_EQ(paths_under("C:\\T"),
            (std::vector<std::string>{"C:\\T", "C:\\T\\KEEP", "C:\\T\\KEEP\\DEEP",
                                      "C:\\T\\KEEP\\DEEP\\F.TXT"}));
  EXPECT_EQ(deleted, 0);
}

TEST_F(RemovalTest, OnlyItemsOfThePatternAreSeen) {
  fs.write("C:\\T\\A.TMP", "");
  fs.write("C:\\T\\B.TXT", "");
  fs.write("C:\\T\\SUB.TMP\\C.TMP", "");
  fs.write("C:\\T\\SUB.TMP\\D.TXT", "");
  fs.write("C:\\T\\OTHER\\E.TMP", "");
  EXPECT_FALSE(delete_tree(ctx.env, "C:\\T\\", "*.TMP", true, false, &deleted));
  EXPECT_EQ(
      paths_under("C:\\T"),
      (std::vector<std::string>{"C:\\T", "C:\\T\\B.TXT", "C:\\T\\SUB.TMP", "C:\\T\\SUB.TMP\\D.TXT",
                                "C:\\T\\OTHER", "C:\\T\\OTHER\\E.TMP"}));
  EXPECT_EQ(deleted, 2);

  // Nothing of the pattern: the folder is not touched, empty or not.
  fs.make_folders("C:\\U\\EMPTY");
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\U\\EMPTY\\", "*.TMP", true, false, &deleted));
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\T\\OTHER\\", "*.DOC", true, false, &deleted));
  EXPECT_TRUE(fs.exists("C:\\U\\EMPTY"));
  EXPECT_TRUE(fs.exists("C:\\T\\OTHER\\E.TMP"));
}

TEST_F(RemovalTest, LinksAndDevicesAreRemovedThemselves) {
  fs.write("C:\\T\\A.TXT", "");
  fs.add_item("C:\\T\\LINK", ItemKind::kLink);
  fs.add_item("C:\\T\\SUB\\FIFO", ItemKind::kOther);
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\T\\", "*.*", true, false, &deleted));
  EXPECT_FALSE(fs.exists("C:\\T"));
  EXPECT_EQ(deleted, 3);
}

TEST_F(RemovalTest, ReadOnlyFoldersDoNotKeepTheirFiles) {
  fs.write("C:\\T\\SUB\\F.TXT", "f");
  fs.set_read_only("C:\\T\\SUB");
  fs.set_read_only("C:\\T");
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\T\\", "*.*", true, false, &deleted));
  EXPECT_FALSE(fs.exists("C:\\T"));
}

TEST_F(RemovalTest, AFileThatCannotBeDeletedKeepsItsFolders) {
  fs.write("C:\\T\\SUB\\STUCK.TXT", "s");
  fs.write("C:\\T\\SUB\\GONE.TXT", "g");
  faults.fail_path("STUCK.TXT", err::kSharingViolation);
  EXPECT_FALSE(delete_tree(ctx.env, "C:\\T\\", "*.*", true, false, &deleted));
  EXPECT_EQ(paths_under("C:\\T"),
            (std::vector<std::string>{"C:\\T", "C:\\T\\SUB", "C:\\T\\SUB\\STUCK.TXT"}));
}

TEST_F(RemovalTest, AStopRequestEndsTheWalk) {
  fs.write("C:\\T\\A.TXT", "");
  fs.make_folders("C:\\E");
  ctx.stop.request();
  EXPECT_FALSE(delete_tree(ctx.env, "C:\\T\\", "*.*", true, false, &deleted));
  EXPECT_TRUE(fs.exists("C:\\T\\A.TXT"));
  EXPECT_EQ(deleted, 0);
  // An empty folder holds nothing that could be kept.
  EXPECT_TRUE(delete_tree(ctx.env, "C:\\E\\", "*.*", true, false, &deleted));
  EXPECT_FALSE(fs.exists("C:\\E"));
}

class DeleteObjectListTest : public RemovalTest {
 protected:
  void SetUp() override {
    RemovalTest::SetUp();
    add_object(7, "D:\\WORK\\*.*");
    add_object(8, "D:\\MORE\\*.*");
    ctx.current_object = 0;
    ASSERT_TRUE(ctx.lists.create(2));
    ctx.lists.set_complete(true);
    ctx.stop.reset();  // called between runs
    fs.write("C:\\CARRIER\\00008.QRN", "other list");
    fs.write("C:\\CARRIER\\00008\\X.TXT", "x");
    fs.write("D:\\WORK\\OBJECT.TXT", "the object itself");
  }
  std::vector<std::string> expected_left() {
    return {"C:\\CARRIER\\00008.QRN", "C:\\CARRIER\\00008", "C:\\CARRIER\\00008\\X.TXT"};
  }
};

TEST_F(DeleteObjectListTest, TheListFileAndTheWholeCarrierFolderGo) {
  fs.write("C:\\CARRIER\\00007.QRN", "list");
  fs.write("C:\\CARRIER\\00007\\A\\B\\C.TXT", "c");
  fs.write("C:\\CARRIER\\00007\\RO.TXT", "r");
  fs.set_read_only("C:\\CARRIER\\00007\\RO.TXT");
  fs.make_folders("C:\\CARRIER\\00007\\EMPTY\\DEEPER");
  delete_object_list(ctx.env, ctx, ctx.current_object);
  EXPECT_EQ(paths_under("C:\\CARRIER\\"), expected_left());
  EXPECT_FALSE(ctx.lists.held());
  EXPECT_EQ(fs.contents("D:\\WORK\\OBJECT.TXT"), "the object itself");
}

TEST_F(DeleteObjectListTest, NothingThereIsNoError) {
  delete_object_list(ctx.env, ctx, ctx.current_object);
  EXPECT_EQ(paths_under("C:\\CARRIER\\"), expected_left());
  EXPECT_FALSE(ctx.lists.held());
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(DeleteObjectListTest, ALinkInPlaceOfTheCarrierFolderIsRemovedNotFollowed) {
  fs.add_item("C:\\CARRIER\\00007", ItemKind::kLink);
  delete_object_list(ctx.env, ctx, ctx.current_object);
  EXPECT_EQ(paths_under("C:\\CARRIER\\"), expected_left());
  EXPECT_FALSE(ctx.lists.held());
}

}  // namespace
}  // namespace keldar::lists_test

#include "dialogs/object_edit.h"

#include <gtest/gtest.h>

#include "fakes/test_support.h"

namespace keldar {
namespace {

using test::u;

ObjectRecord sample() {
  ObjectRecord r = ObjectRecord::new_object();
  r.set_id(12);
  EXPECT_TRUE(r.set_path(0, "/home/ann/Work/*.*"));
  EXPECT_TRUE(r.set_path(2, "/srv/share/*.txt"));
  return r;
}

TEST(ObjectEditTest, TheTemplateOpensWithIdZeroEmptyPathsAndEveryPermission) {
  ComputerTable computers;
  computers.set(0, 11, "Ann");
  computers.set(1, 22, u("Борис"));
  ObjectEditView view = open_object_edit(ObjectRecord::new_object(), computers, 1);
  EXPECT_EQ(view.id_text, "0");
  EXPECT_EQ(view.names[1], u("Борис"));
  EXPECT_EQ(view.names[3], "");
  EXPECT_EQ(view.marker_row, 1);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(view.fields.paths[k], std::string());
    EXPECT_TRUE(view.fields.from_carrier[k]);
    EXPECT_TRUE(view.fields.to_carrier[k]);
  }
  EXPECT_FALSE(view.fields.allow_nested);
  EXPECT_EQ(open_object_edit(ObjectRecord::new_object(), computers, -1).marker_row, -1);
  // Names stand at 7, 32, 57, 82; the marker beside them.
  EXPECT_EQ(marker_top(0), 7);
  EXPECT_EQ(marker_top(2), 57);
}

TEST(ObjectEditTest, OkStoresOnlyRealChanges) {
  ComputerTable computers;
  const ObjectRecord original = sample();
  std::string error;

  ObjectRecord r = original;
  ObjectFields fields = open_object_edit(r, computers, 0).fields;
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kUnchanged);
  EXPECT_EQ(r.bytes, original.bytes);

  // A box toggled twice is no change.
  fields.to_carrier[3] = !fields.to_carrier[3];
  fields.to_carrier[3] = !fields.to_carrier[3];
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kUnchanged);

  // The case of one letter is a change.
  fields.paths[0] = "/home/ann/work/*.*";
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kChanged);
  EXPECT_EQ(r.path(0), "/home/ann/work/*.*");

  // Unchecking copy to carrier of computer 3 (the fourth row).
  fields.to_carrier[3] = false;
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kChanged);
  EXPECT_FALSE(r.copy_to_carrier(3));
  EXPECT_TRUE(r.copy_to_carrier(2));

  fields.allow_nested = true;
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kChanged);
  EXPECT_TRUE(r.allow_nested());
  EXPECT_EQ(r.id(), 12);
}

TEST(ObjectEditTest, PathsThatCannotBeStoredRefuseTheWholeOk) {
  ObjectRecord r = sample();
  const ObjectRecord before = r;
  ObjectFields fields = open_object_edit(r, ComputerTable{}, 0).fields;
  fields.allow_nested = true;
  std::string error;

  fields.paths[1] = std::string(511, 'a');
  EXPECT_EQ(apply_object_edit(fields, r, error), EditResult::kChanged);
  EXPECT_EQ(r.path(1).size(), 511u);

  r = before;
  fields.paths[1] = std::string(512, 'a');
  EXPECT_EQ(apply_object_edit(fields, r, error), std::nullopt);
  EXPECT_EQ(error, u("Путь компьютера 2 длиннее 511 знаков"));
  EXPECT_EQ(r.bytes, before.bytes);

  fields.paths[1].reset();
  EXPECT_EQ(apply_object_edit(fields, r, error), std::nullopt);
  EXPECT_EQ(error, u("Путь компьютера 2 содержит знаки, которых нет в кодировке Windows-1251"));
  EXPECT_EQ(r.bytes, before.bytes);
}

TEST(ObjectEditTest, BrowseStartsInTheStoredFolderAndKeepsItsNamePart) {
  const ObjectRecord r = sample();
  BrowseStart start = browse_start(r, 2, "/");
  EXPECT_EQ(start.folder, "/srv/share/");
  EXPECT_EQ(start.name, "*.txt");
  EXPECT_EQ(browse_result("/data/docs", start, '/'), "/data/docs/*.txt");
  EXPECT_EQ(browse_result("/", start, '/'), "/*.txt");

  // No folder and no name in the stored path: the fallback folder and *.*.
  start = browse_start(r, 1, "/");
  EXPECT_EQ(start.folder, "/");
  EXPECT_EQ(start.name, "*.*");
  EXPECT_EQ(browse_result("/home/ann/Фото", start, '/'), "/home/ann/Фото/*.*");

  // A stored folder without a name part.
  ObjectRecord folder_only = r;
  ASSERT_TRUE(folder_only.set_path(0, "/home/ann/"));
  start = browse_start(folder_only, 0, "/");
  EXPECT_EQ(start.folder, "/home/ann/");
  EXPECT_EQ(start.name, "*.*");
}

}  // namespace
}  // namespace keldar

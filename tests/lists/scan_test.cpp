// Filling the lists: the scan of object and carrier folders on the fake file
// system, the count lines, the stamp rule with its two-second rounding, and
// everything the scan leaves out.
#include "lists/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lists/list_file.h"
#include "lists/stamps.h"
#include "lists_fixture.h"

namespace keldar::lists_test {
namespace {

const std::string kFilling = u("Заполнение локальных списков файлов...");
const std::string kSeparator(76, '-');

class ScanTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    fs.set_now(file_time(kJune15));
  }
  FileList& list(int object = 0) { return ctx.lists.list(object); }
  std::uint32_t object_stamp(std::string_view name, int object = 0) {
    const ListEntry* e = list(object).find(name);
    EXPECT_NE(e, nullptr) << name;
    return e ? e->object_stamp : 0xDEADBEEF;
  }
  std::uint32_t carrier_stamp(std::string_view name, int object = 0) {
    const ListEntry* e = list(object).find(name);
    EXPECT_NE(e, nullptr) << name;
    return e ? e->carrier_stamp : 0xDEADBEEF;
  }
  FileTime last_write(std::string_view path) { return fs.times(path).last_write; }
  void set_last_write(std::string_view path, FileTime t) { fs.set_raw_times(path, {0, 0, t}); }
};

TEST_F(ScanTest, ANewObjectIsCountedWrittenAndThenFoundUnchanged) {
  add_object(7, "D:\\WORK\\*.*");
  fs.make_folders("D:\\WORK");
  fs.write("D:\\WORK\\A.TXT", "a", file_time(kJune15 + 10));
  fs.write("D:\\WORK\\B.DOC", "b", file_time(kJune15 + 21));
  fs.write("D:\\WORK\\SUB\\C.TXT", "c", file_time(kJune15 + 30));
  fs.make_folders("D:\\WORK\\SUB\\DEEP");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFilling, "+6        ->D:\\WORK\\*.*", kSeparator}));
  EXPECT_TRUE(ctx.lists.held());
  EXPECT_TRUE(ctx.lists.complete());
  ASSERT_EQ(names(list()), (std::vector<std::string>{"\\", "A.TXT", "B.DOC", "SUB\\", "SUB\\C.TXT",
                                                     "SUB\\DEEP\\"}));
  const std::vector<std::uint32_t> stamps = {kJune15, kJune15 + 10, kJune15 + 20,
                                             kJune15, kJune15 + 30, kJune15};
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    const ListEntry& e = list().entries[i];
    EXPECT_EQ(e.object_stamp, stamps[i] | kExact) << i;
    EXPECT_EQ(e.list_stamps, (std::array<std::uint32_t, 4>{stamps[i] | kExact, 0, 0, 0})) << i;
    EXPECT_EQ(e.carrier_stamp, 0u) << i;
  }
  EXPECT_EQ(list().states, (std::array<std::uint8_t, 4>{1, 0, 0, 0}));
  EXPECT_TRUE(list().dirty);
  EXPECT_TRUE(list().object_present);
  EXPECT_TRUE(list().exact_object);
  EXPECT_EQ(last_write("D:\\WORK\\B.DOC"), file_time(kJune15 + 20)) << "an odd second rounds down";
  EXPECT_EQ(host.progress.back(), "");

  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, std::vector<std::string>{"    6->C:\\CARRIER\\00007.QRN"});
  std::vector<Record> records;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    records.push_back({{stamps[i] | kExact, 0, 0, 0}, std::string(list().entries[i].name()), 0});
  }
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00007.QRN"), list_bytes({1, 0, 0, 0}, records));

  // Nothing changed: the count alone, and nothing to write.
  log.lines.clear();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFilling, "6         ->D:\\WORK\\*.*", kSeparator}));
  EXPECT_FALSE(list().dirty);
  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(log.lines.empty());

  // One new file here, one new and one known name on the carrier.
  fs.write("D:\\WORK\\NEW.TXT", "n", file_time(kJune15 + 50));
  fs.write("C:\\CARRIER\\00007\\A.TXT", "a2", file_time(kJune15 + 40));
  fs.write("C:\\CARRIER\\00007\\FROMELSEWHERE.TXT", "e", file_time(kJune15 + 60));
  log.lines.clear();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFilling, "6+1:+1    ->D:\\WORK\\*.*", kSeparator}));
  EXPECT_EQ(names(list()).back(), "FROMELSEWHERE.TXT");
  EXPECT_EQ(carrier_stamp("A.TXT"), (kJune15 + 40) | kExact);
  EXPECT_EQ(object_stamp("A.TXT"), (kJune15 + 10) | kExact);
  EXPECT_EQ(carrier_stamp("\\"), kJune15 | kExact) << "the carrier folder's own stamp";
  const ListEntry* fresh = list().find("NEW.TXT");
  EXPECT_EQ(fresh->list_stamps[0], 0u) << "scanned here before: the new file is not synchronised";
  const ListEntry* elsewhere = list().find("FROMELSEWHERE.TXT");
  EXPECT_EQ(elsewhere->object_stamp, 0u);
  EXPECT_EQ(elsewhere->carrier_stamp, (kJune15 + 60) | kExact);
  EXPECT_TRUE(list().dirty);
}

TEST_F(ScanTest, CountLinesArePaddedToTenCharactersButNeverCut) {
  struct Case {
    std::int16_t id;
    std::string folder;
    int listed, added_here, added_on_carrier;
    std::string report;
  };
  const std::vector<Case> cases = {{7, "D:\\SMALL", 120, 3, 2, "120+3:+2  "},
                                   {8, "D:\\BIG", 1000, 100, 10, "1000+100:+10"},
                                   {9, "D:\\ONLYROOT", 1, 0, 0, "1         "}};
  for (const auto& c : cases) {
    add_object(c.id, c.folder + "\\*.*");
    fs.make_folders(c.folder);
    std::vector<Record> records = {{{0, 5, 0, 0}, "\\", 0}};
    for (int i = 1; i < c.listed; ++i)
      records.push_back({{0, 5, 0, 0}, "L" + std::to_string(i), 0});
    fs.write("C:\\CARRIER\\" + list_file_name(c.id) + ".QRN", list_bytes({1, 1, 0, 0}, records));
    for (int i = 0; i < c.added_here; ++i) fs.write(c.folder + "\\N" + std::to_string(i), "");
    for (int i = 0; i < c.added_on_carrier; ++i) {
      fs.write("C:\\CARRIER\\" + list_file_name(c.id) + "\\C" + std::to_string(i), "");
    }
  }
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFilling, "120+3:+2  ->D:\\SMALL\\*.*",
                                                 "1000+100:+10->D:\\BIG\\*.*",
                                                 "1         ->D:\\ONLYROOT\\*.*", kSeparator}));
  EXPECT_EQ(list(1).entries.size(), 1110u);
  EXPECT_EQ(list(1).entries.capacity(), 1110u) << "the array is cut to its count";
  EXPECT_FALSE(list(2).dirty);
  EXPECT_TRUE(list(0).dirty);
}

TEST_F(ScanTest, ExactTimeVolumesGetTheirTimesRoundedToTwoSecondsAndWrittenBack) {
  add_object(7, "D:\\WORK\\*.*");
  fs.make_folders("D:\\WORK\\SUB");
  const std::uint32_t t = kJune15;  // 10:00:00
  struct Item {
    std::string name;
    FileTime before, after;
  };
  const std::vector<Item> items = {
      {"R1_5", file_time(t + 1, 5000000), file_time(t + 2)},   // 10:00:01.5
      {"R1_0", file_time(t + 1), file_time(t)},                // 10:00:01.0
      {"R2_0", file_time(t + 2), file_time(t + 2)},            // 10:00:02.0
      {"R1_0001", file_time(t + 1, kTick), file_time(t + 2)},  // just past one second
      {"R0_9999", file_time(t, 9999999), file_time(t)},        // just short of it
      {"R3_0", file_time(t + 3), file_time(t + 2)},            // odd seconds round down
      {"SUB\\R4_9", file_time(t + 4, 9000000), file_time(t + 4)},
  };
  for (const auto& item : items) {
    fs.write("D:\\WORK\\" + item.name, item.name);
    fs.set_raw_times("D:\\WORK\\" + item.name,
                     {file_time(kJan15, 3), file_time(kJan15 + 1, 7), item.before});
  }
  set_last_write("D:\\WORK\\SUB", file_time(t + 7, 3000000));
  set_last_write("D:\\WORK", file_time(t + 5, 5000000));
  // A write-back that fails is ignored: the rounded stamp is used all the same.
  fs.write("D:\\WORK\\LOCKED", "");
  set_last_write("D:\\WORK\\LOCKED", file_time(t + 1, 5000000));
  faults.fail_path("D:\\WORK\\LOCKED", err::kAccessDenied);

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  for (const auto& item : items) {
    SCOPED_TRACE(item.name);
    const FileTimes now = fs.times("D:\\WORK\\" + item.name);
    EXPECT_EQ(now.last_write, item.after);
    EXPECT_EQ(now.creation, file_time(kJan15, 3)) << "the other times are set back as they were";
    EXPECT_EQ(now.last_access, file_time(kJan15 + 1, 7));
    EXPECT_EQ(object_stamp(item.name),
              static_cast<std::uint32_t>((item.after - kFileTimeUnixEpoch) / kSecond) | kExact);
  }
  EXPECT_EQ(last_write("D:\\WORK\\SUB"), file_time(t + 8));
  EXPECT_EQ(object_stamp("SUB\\"), (t + 8) | kExact);
  EXPECT_EQ(last_write("D:\\WORK"), file_time(t + 6));
  EXPECT_EQ(object_stamp("\\"), (t + 6) | kExact);
  EXPECT_EQ(last_write("D:\\WORK\\LOCKED"), file_time(t + 1, 5000000));
  EXPECT_EQ(object_stamp("LOCKED"), (t + 2) | kExact);
}

TEST_F(ScanTest, FatVolumesAreNeverWrittenToAndCarrierItemsFollowTheObjectsVolume) {
  fs.add_volume("E:\\", /*exact_times=*/false);
  add_object(7, "D:\\WORK\\*.*");  // exact
  add_object(8, "E:\\FAT\\*.*");   // FAT-like
  fs.make_folders("D:\\WORK");
  fs.make_folders("E:\\FAT");
  const std::uint32_t t = kJune15;
  fs.write("E:\\FAT\\F.TXT", "f");
  set_last_write("E:\\FAT\\F.TXT",
                 file_time(t + 1, 5000000));  // held by a FAT disk only by mistake
  fs.write("E:\\FAT\\ODD.TXT", "o");
  set_last_write("E:\\FAT\\ODD.TXT", file_time(t + 3));
  fs.write("C:\\CARRIER\\00007\\CR.TXT", "c");
  set_last_write("C:\\CARRIER\\00007\\CR.TXT", file_time(t + 1, 5000000));
  fs.write("C:\\CARRIER\\00008\\CF.TXT", "c");
  set_last_write("C:\\CARRIER\\00008\\CF.TXT", file_time(t + 1, 5000000));

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_FALSE(list(1).exact_object);
  EXPECT_EQ(last_write("E:\\FAT\\F.TXT"), file_time(t + 1, 5000000));
  EXPECT_EQ(last_write("E:\\FAT\\ODD.TXT"), file_time(t + 3));
  EXPECT_EQ(object_stamp("F.TXT", 1), t) << "10:00:01 loses its lowest bit";
  EXPECT_EQ(object_stamp("ODD.TXT", 1), t + 2);
  // The carrier copy of an object on an exact-time volume is rounded too.
  EXPECT_EQ(last_write("C:\\CARRIER\\00007\\CR.TXT"), file_time(t + 2));
  EXPECT_EQ(carrier_stamp("CR.TXT", 0), (t + 2) | kExact);
  EXPECT_EQ(last_write("C:\\CARRIER\\00008\\CF.TXT"), file_time(t + 1, 5000000));
  EXPECT_EQ(carrier_stamp("CF.TXT", 1), t | kExact);
}

TEST_F(ScanTest, DaylightMarksObjectStampsAndTheCarrierFolderStampItsOwnWay) {
  fs.add_volume("E:\\", /*exact_times=*/false);
  add_object(8, "E:\\FAT\\*.*");
  const std::uint32_t t = kJune15;
  fs.write("E:\\FAT\\F.TXT", "f", file_time(t + 4));
  set_last_write("E:\\FAT", file_time(t + 6));
  fs.write("C:\\CARRIER\\00008\\C.TXT", "c", file_time(t + 4));
  set_last_write("C:\\CARRIER\\00008", file_time(t + 4));
  log.dst = true;

  ctx.carrier.exact_times = true;
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(object_stamp("F.TXT"), (t + 4) | 1);
  EXPECT_EQ(object_stamp("\\"), (t + 6) | 1);
  EXPECT_EQ(carrier_stamp("C.TXT"), (t + 4 - 3600) | kExact | 1);
  // The carrier folder itself: less an hour and bit 31, without the
  // daylight marker...
  EXPECT_EQ(carrier_stamp("\\"), (t + 4 - 3600) | kExact);

  ctx.carrier.exact_times = false;
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(carrier_stamp("C.TXT"), (t + 4) | 1);
  EXPECT_EQ(carrier_stamp("\\"), t + 4);

  // ... and an odd second keeps its lowest bit.
  set_last_write("C:\\CARRIER\\00008", file_time(t + 3));
  log.dst = false;
  ctx.carrier.exact_times = true;
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(carrier_stamp("\\"), (t + 3) | kExact);
  ctx.carrier.exact_times = false;
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(carrier_stamp("\\"), t + 3);
}

TEST_F(ScanTest, TheRootStampComesFromTheFolderTheVolumeSerialOrNothing) {
  fs.add_volume("F:\\", true, 0x13572468);
  fs.add_volume("G:\\", true, 0x2468ACE1);
  fs.add_volume("H:\\", false, 0x2468ACE1);
  add_object(7, "F:\\*.*");           // a drive root: no root stamp
  add_object(8, "G:\\MISSING\\*.*");  // no folder: the volume's serial
  add_object(9, "H:\\MISSING\\*.*");
  fs.write("F:\\X.TXT", "x", file_time(kJune15));

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFilling, "+2        ->F:\\*.*",
                                                 "+1        ->G:\\MISSING\\*.*",
                                                 "+1        ->H:\\MISSING\\*.*", kSeparator}));
  EXPECT_EQ(names(list(0)), (std::vector<std::string>{"\\", "X.TXT"}));
  EXPECT_EQ(object_stamp("\\", 0), 0u);
  EXPECT_EQ(object_stamp("X.TXT", 0), kJune15 | kExact);
  EXPECT_EQ(object_stamp("\\", 1), 0xA468ACE0u);
  EXPECT_EQ(object_stamp("\\", 2), 0x2468ACE0u);
  EXPECT_TRUE(list(1).object_present) << "a missing folder is no error";
  EXPECT_TRUE(list(2).object_present);

  // The drive root's entry has no stamp at all and is not written.
  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines[0], "    1->C:\\CARRIER\\00007.QRN");
}

TEST_F(ScanTest, AVolumeThatDoesNotAnswerIsReportedOnceAndLeavesTheObjectAbsent) {
  add_object(7, "D:\\WORK\\*.*");
  add_object(8, "C:\\LOCAL\\*.*");
  fs.write("D:\\WORK\\A.TXT", "a");
  fs.write("C:\\LOCAL\\B.TXT", "b");
  fs.write("C:\\CARRIER\\00007\\FROMCARRIER.TXT", "c");
  faults.set_volume_gone("D:\\");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFilling, u("21: Устройство не готово."),
                                                 "+1:+1     ->D:\\WORK\\*.*",
                                                 "+2        ->C:\\LOCAL\\*.*", kSeparator}));
  EXPECT_FALSE(list(0).object_present);
  EXPECT_FALSE(list(0).exact_object);
  EXPECT_EQ(object_stamp("\\"), 0u);
  EXPECT_NE(carrier_stamp("FROMCARRIER.TXT"), 0u) << "the carrier is scanned all the same";
  EXPECT_TRUE(list(1).object_present);
}

TEST_F(ScanTest, AFolderThatCannotBeReadIsLoggedAndTheScanGoesOn) {
  add_object(7, "D:\\WORK\\*.*");
  fs.write("D:\\WORK\\SUB\\IN.TXT", "i");
  fs.write("D:\\WORK\\Z.TXT", "z");
  fs.write("D:\\WORK\\LOCKED\\L.TXT", "l");
  fs.write("D:\\WORK\\LAST.TXT", "z");
  faults.fail_path("D:\\WORK\\SUB", err::kPathNotFound);  // gone between listing and entering
  faults.fail_path("D:\\WORK\\LOCKED", err::kAccessDenied);

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                kFilling, u("Ошибка чтения папки D:\\WORK\\LOCKED\\: Отказано в доступе."),
                "+5        ->D:\\WORK\\*.*", kSeparator}));
  EXPECT_EQ(names(list()),
            (std::vector<std::string>{"\\", "SUB\\", "Z.TXT", "LOCKED\\", "LAST.TXT"}));
}

TEST_F(ScanTest, ItemsThatCannotTravelAreLoggedOnceAndLeftOut) {
  add_object(7, "D:\\WORK\\*.*");
  const std::string n259(259, 'N');
  const std::string n260(260, 'M');
  const std::string f258(258, 'F');
  const std::string f259(259, 'G');
  fs.write("D:\\WORK\\A.TXT", "first");
  fs.add_case_twin("D:\\WORK\\a.txt", "second");
  fs.add_item("D:\\WORK\\LINK", ItemKind::kLink);
  fs.add_item("D:\\WORK\\FIFO", ItemKind::kOther);
  fs.add_item("D:\\WORK\\BAD?NAME", ItemKind::kFile, /*carriable=*/false);
  fs.write("D:\\WORK\\~kld12-1.tmp", "left over");
  fs.write("D:\\WORK\\" + n259, "");
  fs.write("D:\\WORK\\" + n260, "");
  fs.write("D:\\WORK\\" + f258 + "\\X", "");
  fs.write("D:\\WORK\\" + f259 + "\\Y", "");
  fs.write("D:\\WORK\\SUB\\~kld12-77.tmp", "left over");
  fs.write("C:\\CARRIER\\00007\\B.TXT", "b");
  fs.add_case_twin("C:\\CARRIER\\00007\\b.TXT", "b2");
  fs.write("C:\\CARRIER\\00007\\~kld9-3.tmp", "left over");
  fs.add_item("C:\\CARRIER\\00007\\ELSEWHERE", ItemKind::kLink);

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                kFilling,
                u("Имя отличается от другого только регистром, не обрабатывается: D:\\WORK\\a.txt"),
                u("Ссылка не обрабатывается: D:\\WORK\\LINK"),
                u("Особый файл не обрабатывается: D:\\WORK\\FIFO"),
                u("Имя не может быть перенесено, не обрабатывается: D:\\WORK\\BAD?NAME"),
                u("Удален временный файл D:\\WORK\\~kld12-1.tmp"),
                u("Слишком длинное имя, не обрабатывается: D:\\WORK\\") + n260,
                u("Слишком длинное имя, не обрабатывается: D:\\WORK\\") + f258 + "\\X",
                u("Слишком длинное имя, не обрабатывается: D:\\WORK\\") + f259,
                u("Удален временный файл D:\\WORK\\SUB\\~kld12-77.tmp"),
                u("Имя отличается от другого только регистром, не обрабатывается: "
                  "C:\\CARRIER\\00007\\b.TXT"),
                u("Удален временный файл C:\\CARRIER\\00007\\~kld9-3.tmp"),
                u("Ссылка не обрабатывается: C:\\CARRIER\\00007\\ELSEWHERE"),
                "+5:+1     ->D:\\WORK\\*.*", kSeparator}));
  EXPECT_EQ(names(list()),
            (std::vector<std::string>{"\\", "A.TXT", n259, f258 + "\\", "SUB\\", "B.TXT"}));
  EXPECT_FALSE(fs.exists("D:\\WORK\\~kld12-1.tmp"));
  EXPECT_FALSE(fs.exists("D:\\WORK\\SUB\\~kld12-77.tmp"));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00007\\~kld9-3.tmp"));
  EXPECT_EQ(fs.contents("D:\\WORK\\A.TXT"), "first");
  EXPECT_TRUE(fs.exists("D:\\WORK\\LINK"));
  EXPECT_TRUE(fs.exists("D:\\WORK\\" + n260));
}

// A case twin is refused whatever became of the item before it: a folder
// entered with its trailing '\\', an item deeper down, a name too long to
// enter.
TEST_F(ScanTest, ACaseTwinIsRefusedWhateverBecameOfTheFirst) {
  add_object(7, "D:\\WORK\\*.*");
  const std::string long_name(260, 'l');
  fs.write("D:\\WORK\\Docs\\X", "");
  fs.add_case_twin("D:\\WORK\\DOCS", "file");
  fs.write("D:\\WORK\\Docs\\sub\\a.txt", "");
  fs.add_case_twin("D:\\WORK\\Docs\\sub\\A.TXT", "");
  fs.write("D:\\WORK\\" + long_name, "");
  fs.add_case_twin("D:\\WORK\\" + fold_ascii(long_name), "");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  const std::string twin = u("Имя отличается от другого только регистром, не обрабатывается: ");
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           kFilling, twin + "D:\\WORK\\Docs\\sub\\A.TXT", twin + "D:\\WORK\\DOCS",
                           u("Слишком длинное имя, не обрабатывается: D:\\WORK\\") + long_name,
                           twin + "D:\\WORK\\" + fold_ascii(long_name), "+5        ->D:\\WORK\\*.*",
                           kSeparator}));
  EXPECT_EQ(names(list()), (std::vector<std::string>{"\\", "Docs\\", "Docs\\X", "Docs\\sub\\",
                                                     "Docs\\sub\\a.txt"}));
}

// Only the name form the program writes is a leftover; a Compare lists the
// user's look-alikes and leaves the leftovers, a writing run removes the
// leftovers in the folders it scans and in the carrier folder itself. The
// folders keep their times: the removal is no change of the user's that the
// next Synchronize would pass on.
TEST_F(ScanTest, OnlyTheReservedTemporaryFormIsALeftoverAndOnlyWritingRunsRemoveIt) {
  add_object(7, "D:\\WORK\\*.*");
  const std::vector<std::string> user_files = {
      "~kldnotes.tmp", "DOCS\\~kld-budget.tmp", "~kld1-.tmp",  "~kld-1.tmp", "~kld1-2.tmp.bak",
      "~kld12.tmp",    "~KLD1-2.TMP",           "~kld1-2a.tmp"};
  const std::vector<std::string> leftovers = {
      "D:\\WORK\\~kld4021-7.tmp", "D:\\WORK\\DOCS\\~kld1-2.tmp", "C:\\CARRIER\\00007\\~kld88-1.tmp",
      "C:\\CARRIER\\~kld301-12.tmp"};
  for (const std::string& name : user_files) fs.write("D:\\WORK\\" + name, "mine");
  for (const std::string& path : leftovers) fs.write(path, "left over");
  fs.write("C:\\CARRIER\\~kldkeep.tmp", "not ours");

  const std::vector<std::string> folders = {"D:\\WORK", "D:\\WORK\\DOCS", "C:\\CARRIER\\00007"};
  std::vector<FileTime> folder_times;
  for (const std::string& f : folders) folder_times.push_back(fs.times(f).last_write);
  fs.set_now(file_time(kJune15 + 100));  // the removals come later

  for (const bool compare : {true, false}) {
    SCOPED_TRACE(compare ? "compare" : "synchronize");
    log.lines.clear();
    ASSERT_EQ(fill_all_lists(ctx.env, ctx, compare ? Leftovers::kKeep : Leftovers::kRemove), 0);
    for (std::size_t i = 0; i < folders.size(); ++i) {
      EXPECT_EQ(fs.times(folders[i]).last_write, folder_times[i]) << folders[i];
    }
    std::vector<std::string> removed;
    for (const std::string& line : log.lines) {
      if (line.starts_with(u("Удален временный файл "))) removed.push_back(line);
    }
    std::vector<std::string> expected_removed;
    if (!compare) {
      for (const char* path : {"C:\\CARRIER\\~kld301-12.tmp", "D:\\WORK\\~kld4021-7.tmp",
                               "D:\\WORK\\DOCS\\~kld1-2.tmp", "C:\\CARRIER\\00007\\~kld88-1.tmp"}) {
        expected_removed.push_back(u("Удален временный файл ") + path);
      }
    }
    std::sort(removed.begin(), removed.end());
    std::sort(expected_removed.begin(), expected_removed.end());
    EXPECT_EQ(removed, expected_removed);
    for (const std::string& path : leftovers) EXPECT_EQ(fs.exists(path), compare) << path;
    for (const std::string& name : user_files) {
      EXPECT_EQ(fs.contents("D:\\WORK\\" + name), "mine") << name;
      EXPECT_NE(list().find(name), nullptr) << name << " is a user's file";
    }
    EXPECT_EQ(fs.contents("C:\\CARRIER\\~kldkeep.tmp"), "not ours");
    for (const std::string& name : names(list())) EXPECT_FALSE(is_temporary_name(name)) << name;
  }
}

TEST_F(ScanTest, WithoutNestingSubfoldersAreNotEnteredButStillStamped) {
  add_object(7, "D:\\WORK\\*.*", /*nested=*/false);
  fs.write("D:\\WORK\\A.TXT", "a");
  fs.write("D:\\WORK\\SUB\\IN.TXT", "i");
  set_last_write("D:\\WORK\\SUB", file_time(kJune15 + 1, 5000000));
  fs.write("C:\\CARRIER\\00007\\C.TXT", "c");
  fs.write("C:\\CARRIER\\00007\\CSUB\\IN.TXT", "c");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(names(list()), (std::vector<std::string>{"\\", "A.TXT", "C.TXT"}));
  EXPECT_EQ(log.lines[1], "+2:+1     ->D:\\WORK\\*.*");
  EXPECT_EQ(last_write("D:\\WORK\\SUB"), file_time(kJune15 + 2)) << "its stamp was taken";
}

TEST_F(ScanTest, TheNamePartOfTheObjectPathIsThePatternOfEveryFolder) {
  add_object(7, "D:\\TEXTS\\*.TXT");
  add_object(8, "D:\\ALL\\");  // no name part: everything
  fs.write("D:\\TEXTS\\A.TXT", "");
  fs.write("D:\\TEXTS\\B.DOC", "");
  fs.write("D:\\TEXTS\\SUB\\C.TXT", "");
  fs.write("D:\\TEXTS\\DIR.TXT\\D.TXT", "");
  fs.write("D:\\TEXTS\\DIR.TXT\\E.DOC", "");
  fs.write("C:\\CARRIER\\00007\\F.DOC", "");
  fs.write("D:\\ALL\\A.TXT", "");
  fs.write("D:\\ALL\\MAKEFILE", "");
  fs.write("D:\\ALL\\SUB\\B", "");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(names(list(0)),
            (std::vector<std::string>{"\\", "A.TXT", "DIR.TXT\\", "DIR.TXT\\D.TXT", "F.DOC"}));
  EXPECT_EQ(names(list(1)),
            (std::vector<std::string>{"\\", "A.TXT", "MAKEFILE", "SUB\\", "SUB\\B"}));
  EXPECT_EQ(log.lines[1], "+4:+1     ->D:\\TEXTS\\*.TXT");
  EXPECT_EQ(log.lines[2], "+5        ->D:\\ALL\\");
}

TEST_F(ScanTest, SomethingOtherThanAFolderInPlaceOfTheCarrierFolderIsRefused) {
  add_object(7, "D:\\WORK\\*.*");
  add_object(8, "D:\\MORE\\*.*");
  fs.write("D:\\WORK\\A.TXT", "");
  fs.write("D:\\MORE\\A.TXT", "");
  fs.write("C:\\CARRIER\\00007", "not a folder");
  fs.add_item("C:\\CARRIER\\00008", ItemKind::kLink);

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(
      log.lines,
      (std::vector<std::string>{
          kFilling,
          u("На носителе вместо папки объекта не папка, не обрабатывается: C:\\CARRIER\\00007"),
          "+2        ->D:\\WORK\\*.*",
          u("На носителе вместо папки объекта не папка, не обрабатывается: C:\\CARRIER\\00008"),
          "+2        ->D:\\MORE\\*.*", kSeparator}));
  EXPECT_EQ(carrier_stamp("\\", 0), 0u);
  EXPECT_EQ(carrier_stamp("\\", 1), 0u);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00007"), "not a folder");
}

TEST_F(ScanTest, AStoppedFillIsCompletedButNeverWritten) {
  add_object(7, "D:\\WORK\\*.*");
  add_object(8, "D:\\MORE\\*.*");
  fs.write("D:\\WORK\\A.TXT", "");
  fs.write("D:\\WORK\\B.TXT", "");
  fs.write("D:\\MORE\\C.TXT", "");
  const std::string old = list_bytes(
      {0, 2, 0, 0},
      {{{0, 5, 0, 0}, "\\", 0}, {{0, 5, 0, 0}, "A.TXT", 0}, {{0, 5, 0, 0}, "OLD.TXT", 0}});
  fs.write("C:\\CARRIER\\00007.QRN", old);

  // Stopped before the first step.
  ctx.stop.request();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFilling, "0+1       ->D:\\WORK\\*.*",
                                                 "+1        ->D:\\MORE\\*.*", kSeparator}));
  EXPECT_EQ(list(0).states, (std::array<std::uint8_t, 4>{1, 2, 0, 0}));
  EXPECT_TRUE(list(0).dirty);
  EXPECT_FALSE(ctx.lists.complete());
  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00007.QRN"), old);
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00008.QRN"));

  // Stopped after the first record of the list file.
  ctx.stop.reset();
  host.stop_at = 1;
  log.lines.clear();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(names(list(0)), (std::vector<std::string>{"\\"}));
  EXPECT_EQ(log.lines[1], "1         ->D:\\WORK\\*.*");
  EXPECT_FALSE(ctx.lists.complete());
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00007.QRN"), old);

  // Without a list file the first report comes from the scan.
  ASSERT_EQ(fs.delete_file("C:\\CARRIER\\00007.QRN"), err::kOk);
  ctx.stop.reset();
  host.stop_at = 1;
  log.lines.clear();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(names(list(0)), (std::vector<std::string>{"\\", "A.TXT"}));
  EXPECT_EQ(log.lines[1], "+2        ->D:\\WORK\\*.*");
  EXPECT_FALSE(ctx.lists.complete());
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00007.QRN"));
}

TEST_F(ScanTest, AnObjectWithoutAFolderHereKeepsItsListFileUntouched) {
  ObjectRecord& r = ctx.objects.new_object();
  r.set_id(7);
  ASSERT_TRUE(r.set_path(1, "E:\\ELSEWHERE\\*.*"));
  ASSERT_TRUE(ctx.objects.commit_new_object());
  const std::string old = list_bytes({0, 3, 0, 0}, {{{0, 5, 0, 0}, "A.TXT", 255}});
  fs.write("C:\\CARRIER\\00007.QRN", old);
  fs.write("C:\\CARRIER\\00007\\A.TXT", "");

  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFilling, kSeparator}));
  EXPECT_TRUE(list().entries.empty());
  EXPECT_FALSE(list().dirty);
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00007.QRN"), old);
}

TEST_F(ScanTest, FillingNeedsAnIdentifiedComputerAndKeepsTheCurrentObject) {
  add_object(7, "D:\\A\\*.*");
  add_object(8, "D:\\B\\*.*");
  add_object(9, "D:\\C\\*.*");
  ctx.current_object = 1;
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(ctx.current_object, 1);
  EXPECT_EQ(ctx.lists.size(), 3u);

  ctx.computer = -1;
  log.lines.clear();
  EXPECT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), -1);
  EXPECT_FALSE(ctx.lists.held());
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           u("Компьютер не идентифицирован, операция \"заполнение списков\" не "
                             "выполнена. Запустите программу снова и введите имя компьютера")});
}

TEST_F(ScanTest, ObjectAndCarrierPaths) {
  add_object(7, "D:\\WORK\\*.*");
  add_object(12345, "D:\\DEEP\\ER\\*.TXT");
  ASSERT_TRUE(ctx.lists.create(2));
  EXPECT_EQ(ctx.run().object_path("\\"), "D:\\WORK\\");
  EXPECT_EQ(ctx.run().object_path("SUB\\F.TXT"), "D:\\WORK\\SUB\\F.TXT");
  EXPECT_EQ(ctx.run().object_path("SUB\\"), "D:\\WORK\\SUB\\");
  EXPECT_EQ(ctx.run().carrier_path("\\"), "C:\\CARRIER\\00007\\");
  EXPECT_EQ(ctx.run().carrier_path("A.TXT"), "C:\\CARRIER\\00007\\A.TXT");
  ctx.current_object = 1;
  EXPECT_EQ(ctx.run().object_path("X"), "D:\\DEEP\\ER\\X");
  EXPECT_EQ(ctx.run().carrier_path("SUB\\"), "C:\\CARRIER\\12345\\SUB\\");

  EXPECT_EQ(path_folder("/home/ann/work/*.*"), "/home/ann/work/");
  EXPECT_EQ(path_pattern("/home/ann/work/*.*"), "*.*");
  EXPECT_EQ(path_folder("D:\\WORK\\"), "D:\\WORK\\");
  EXPECT_EQ(path_pattern("D:\\WORK\\"), "");
  EXPECT_EQ(path_folder("WORK"), "");
  EXPECT_EQ(path_pattern("WORK"), "WORK");
  EXPECT_EQ(path_folder("D:\\*.*"), "D:\\");
}

// --- the stamp rule ---------------------------------------------------------

class StampTest : public ScanTest {};

TEST_F(StampTest, SecondsComeFromTheFileTimeAsLocalTimeUnderTodaysOffset) {
  // Moscow has no daylight saving time: the seconds of the UTC time.
  EXPECT_EQ(stamp_seconds(file_time(kJune15), clock), kJune15);
  EXPECT_EQ(stamp_seconds(file_time(kJune15 + 1, 9999999), clock), kJune15 + 1);
  EXPECT_EQ(stamp_seconds(0, clock), 0u);
  EXPECT_EQ(stamp_seconds(kFileTimeUnixEpoch - kSecond, clock), 0u) << "before 1970";
  EXPECT_EQ(stamp_seconds(file_time(0x80000000LL + 10), clock), 0u) << "past 2038";

  // Central Europe: the time is shifted by today's offset and read back under
  // the rules of its own date, so a summer file seen in winter is an hour
  // early, and a winter file seen in summer an hour late.
  ScopedTimeZone central_europe("CET-1CEST,M3.5.0,M10.5.0/3");
  clock.set_now(kJan15);
  EXPECT_EQ(stamp_seconds(file_time(kJune15), clock), kJune15 - 3600);
  EXPECT_EQ(stamp_seconds(file_time(kJan15 + 7), clock), kJan15 + 7);
  clock.set_now(kJune15);
  EXPECT_EQ(stamp_seconds(file_time(kJune15), clock), kJune15);
  EXPECT_EQ(stamp_seconds(file_time(kJan15), clock), kJan15 + 3600);
}

// A scan's times give what each time taken alone gives, on the days the
// offset changes too, whatever order the days come in (every other time is
// 4,096 days later, in the slot of the same span of days).
TEST_F(StampTest, AScanTakesTheSecondsEachTimeGivesAlone) {
  ScopedTimeZone central_europe("CET-1CEST,M3.5.0,M10.5.0/3");
  constexpr std::int64_t kDay = 86400;
  constexpr std::int64_t kRepeatedHour = 1729994400;  // 27.10.2024 02:00 local, as UTC seconds
  for (std::int64_t now : {kJan15, kJune15}) {
    clock.set_now(now);
    StampSeconds scan(clock);
    const std::int64_t offset = local_offset(clock);
    for (std::int64_t change : {1711846800LL, 1729990800LL}) {  // 2024's two changes
      for (std::int64_t t = change - 2 * kDay; t < change + 2 * kDay; t += 1793) {
        for (std::int64_t u : {t, t + 4096 * kDay, t - 2 * kDay - 1}) {
          const std::uint32_t taken = scan(file_time(u));
          const std::int64_t local = u + offset;
          if (local >= kRepeatedHour && local < kRepeatedHour + 3600) {
            // 02:00 to 03:00 comes twice: either reading will do.
            EXPECT_TRUE(taken == local - 7200 || taken == local - 3600) << u;
          } else {
            EXPECT_EQ(taken, stamp_seconds(file_time(u), clock, offset))
                << "now " << now << ", time " << u;
          }
        }
      }
    }
  }
}

TEST_F(StampTest, OnlyExactVolumesRoundAndWriteBack) {
  fs.write("D:\\F.TXT", "");
  set_last_write("D:\\F.TXT", file_time(kJune15 + 1, 5000000));
  DirItem item;
  item.name = "F.TXT";
  item.last_write = file_time(kJune15 + 1, 5000000);
  StampSeconds seconds(clock);
  EXPECT_EQ(take_stamp(ctx.env, item, "D:\\", false, seconds), kJune15 + 1);
  EXPECT_EQ(last_write("D:\\F.TXT"), file_time(kJune15 + 1, 5000000));
  EXPECT_EQ(take_stamp(ctx.env, item, "D:\\", true, seconds), kJune15 + 2);
  EXPECT_EQ(last_write("D:\\F.TXT"), file_time(kJune15 + 2));
}

}  // namespace
}  // namespace keldar::lists_test

namespace keldar::lists_test {
namespace {

// A vanished folder is not an empty one: files this computer had are not
// reported as deleted when their folder is missing or cannot be read.
TEST_F(ScanTest, MissingOrUnreadableFoldersMakeTheObjectUnreachable) {
  add_object(7, "D:\\WORK\\*.*");
  fs.write("D:\\WORK\\A.TXT", "a", file_time(kJune15 + 10));
  fs.write("D:\\WORK\\SUB\\B.TXT", "b", file_time(kJune15 + 20));
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  ASSERT_TRUE(list().object_present);
  ctx.stop.reset();
  ASSERT_TRUE(write_lists(ctx.env, ctx));

  // The folder is gone (a drive not mounted): unreachable, one line.
  faults.set_volume_gone("D:\\");
  fs.add_volume("E:\\");
  ASSERT_TRUE(ctx.objects.record(0).set_path(0, "E:\\WORK\\*.*"));
  log.lines.clear();
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_FALSE(list().object_present);
  EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                      cp1251("Папка объекта отсутствует: E:\\WORK\\")),
            log.lines.end());
  for (const ListEntry& e : list().entries) {
    if (!e.is_folder()) {
      EXPECT_EQ(e.object_stamp, 0u) << e.name();
    }
  }

  // A folder of the object that cannot be read.
  ASSERT_TRUE(ctx.objects.record(0).set_path(0, "D:\\WORK\\*.*"));
  faults.set_volume_gone("D:\\", false);
  faults.fail_path("D:\\WORK\\SUB\\", err::kAccessDenied);
  log.lines.clear();
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_FALSE(list().object_present);
  EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                      cp1251("Ошибка чтения папки D:\\WORK\\SUB\\: Отказано в доступе.")),
            log.lines.end());
  faults.clear_failures();

  // A new object whose folder does not exist yet is reachable: it can be
  // filled from the carrier.
  add_object(8, "E:\\NEW\\*.*");
  log.lines.clear();
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_TRUE(ctx.lists.list(1).object_present);
}

}  // namespace
}  // namespace keldar::lists_test

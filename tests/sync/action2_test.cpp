// Action 2 on lists built by hand: which entries go onto the carrier, which
// become delete commands, what is asked, logged and stored.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sync/actions.h"
#include "sync/sync_fixture.h"

namespace keldar::sync_test {
namespace {

// Stamps as an exact-time volume takes them (no daylight marker).
constexpr std::uint32_t kT0 = kJan15;             // 15.01.2021 13:00:00 in MSK
constexpr std::uint32_t kT1 = kJan15 + 2 * 3600;  // 15.01.2021 15:00:00 in MSK
constexpr std::uint32_t kT2 = kJan15 + 4 * 3600;  // 15.01.2021 17:00:00 in MSK

const std::string kSeparator(76, '-');

std::string summary1(long examined, long copied, long added) {
  return u("Просмотрено файлов списка ") + std::to_string(examined) + u(", скопировано ") +
         std::to_string(copied) + u(", из них добавлено ") + std::to_string(added) + ",";
}
std::string summary2(long commands, long desynchronised) {
  return u("создано команд удаления ") + std::to_string(commands) + u(", рассинхронизация ") +
         std::to_string(desynchronised);
}

class Action2Test : public SyncTest {
 protected:
  // One object (id 1) on D:\WORK\, every file allowed by "*.*", the list
  // held with the given list states.
  void prepare(std::array<std::uint8_t, 4> states, bool with_mask = true) {
    add_object();
    if (with_mask) add_mask("*.*");
    ASSERT_TRUE(ctx.lists.create(ctx.objects.count()));
    ctx.list().states = states;
    ctx.list().exact_object = true;
    ctx.stop.reset();
  }

  // An entry with object stamp `o` (its file is written to the object
  // folder when not 0), the list stamps, entry state and, when `k` is not 0,
  // a carrier copy with that stamp.
  ListEntry& add(std::string name, std::uint32_t o, std::array<std::uint32_t, 4> stamps,
                 std::uint8_t state = 0, std::uint32_t k = 0) {
    ListEntry* e = ctx.list().add(name, ctx.lists.names());
    EXPECT_NE(e, nullptr);
    e->object_stamp = o;
    e->carrier_stamp = k;
    e->list_stamps = stamps;
    e->state = state;
    if (o != 0) fs.write(object(name), "here:" + name);
    if (k != 0) fs.write(carrier(name), "carrier:" + name);
    return *e;
  }

  // The lines logged after the run's own per-file lines are the separator
  // and the two summary lines.
  std::vector<std::string> expected(std::vector<std::string> files, long examined, long copied,
                                    long added, long commands, long desynchronised) {
    files.push_back(kSeparator);
    files.push_back(summary1(examined, copied, added));
    files.push_back(summary2(commands, desynchronised));
    return files;
  }
};

TEST_F(Action2Test, PublishesFilesChangedHereAndRaisesTheListState) {
  prepare({2, 2, 0, 0});
  add("new.txt", kT1, {0, 0, 0, 0});
  add("changed.txt", kT1, {kT0, kT0, 0, 0});
  add("same.txt", kT0, {kT0, kT0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 3);

  EXPECT_EQ(log.lines, expected({"=+ changed.txt", "=+ new.txt"}, 3, 2, 2, 0, 0));
  EXPECT_EQ(fs.contents(carrier("changed.txt")), "here:changed.txt");
  EXPECT_EQ(fs.contents(carrier("new.txt")), "here:new.txt");
  EXPECT_FALSE(fs.exists(carrier("same.txt")));
  EXPECT_EQ(entry("changed.txt").state, 1);
  EXPECT_EQ(entry("changed.txt").list_stamps[0], kT1);
  EXPECT_NE(entry("changed.txt").carrier_stamp, 0u);
  EXPECT_EQ(entry("new.txt").list_stamps[0], kT1);
  EXPECT_EQ(entry("same.txt").state, 0);
  EXPECT_EQ(ctx.list().states[0], 3);
  EXPECT_TRUE(ctx.list().dirty);
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(Action2Test, ReplacesAnOlderCarrierCopyAndNotesAnEqualOne) {
  prepare({2, 2, 0, 0});
  add("older.txt", kT1, {kT0, kT0, 0, 0}, 2, kT0);
  add("equal.txt", kT1, {kT0, kT1, 0, 0}, 2, kT1);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);

  // The equal carrier copy is noted while this computer's list state is
  // below 3, and its time taken as synchronised here.
  EXPECT_EQ(log.lines, expected({"-- equal.txt", "=> older.txt"}, 2, 1, 0, 0, 0));
  EXPECT_EQ(fs.contents(carrier("older.txt")), "here:older.txt");
  EXPECT_EQ(entry("older.txt").state, 1);
  EXPECT_EQ(fs.contents(carrier("equal.txt")), "carrier:equal.txt");
  EXPECT_EQ(entry("equal.txt").state, 2);
  EXPECT_EQ(entry("equal.txt").list_stamps[0], kT1);
}

TEST_F(Action2Test, EqualCarrierCopyIsSilentOnceTheListStateIsThree) {
  prepare({3, 2, 0, 0});
  add("equal.txt", kT1, {kT0, kT1, 0, 0}, 2, kT1);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines, expected({}, 1, 0, 0, 0, 0));
  EXPECT_EQ(entry("equal.txt").list_stamps[0], kT1);
}

class Action2PromptTest : public Action2Test {
 protected:
  // A file changed here while the carrier holds a newer copy of computer 2.
  void newer_carrier_copy(Answer answer) {
    prepare({2, 2, 0, 0});
    add("a.txt", kT1, {kT0, kT2, 0, 0}, 2, kT2);
    host.answers = {answer};
  }
  std::string question() const {
    return u(
        "Объект: D:\\WORK\\*.*\r\n"
        "Файл: a.txt\r\n"
        "В компьютере: 15.01.2021 15:00:00  \r\n"
        "На носителе: 15.01.2021 17:00:00  \r\n"
        "Заменить файл на носителе из объекта?");
  }
};

TEST_F(Action2PromptTest, YesReplacesTheNewerCarrierCopy) {
  newer_carrier_copy(Answer::kYes);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, question());
  EXPECT_EQ(host.questions[0].caption, u("Копирование на носитель"));
  EXPECT_FALSE(host.questions[0].warning);
  EXPECT_EQ(log.lines, expected({"=> a.txt"}, 1, 1, 0, 0, 0));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "here:a.txt");
  EXPECT_EQ(entry("a.txt").state, 1);
  EXPECT_EQ(entry("a.txt").list_stamps[0], kT1);
}

TEST_F(Action2PromptTest, NoKeepsTheCarrierCopyAndTakesTheLocalTime) {
  newer_carrier_copy(Answer::kNo);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(log.lines, expected({"RC a.txt"}, 1, 0, 0, 0, 0));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "carrier:a.txt");
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(entry("a.txt").list_stamps[0], kT1);
  EXPECT_EQ(ctx.list().states[0], 3);
}

TEST_F(Action2PromptTest, CancelStopsTheRunAndLeavesTheEntry) {
  newer_carrier_copy(Answer::kCancel);
  // The walk goes from the last entry to the first: c.txt asks first, and
  // Cancel ends the walk before b.txt and a.txt.
  add("b.txt", kT1, {kT0, kT0, 0, 0});
  add("c.txt", kT1, {kT0, kT2, 0, 0}, 2, kT2);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_FALSE(!ctx.stop.pending());
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                u("Копирование на носитель прервано ------------------------------------------"),
                summary1(1, 0, 0), summary2(0, 0)}));
  EXPECT_EQ(fs.contents(carrier("c.txt")), "carrier:c.txt");
  EXPECT_EQ(entry("c.txt").state, 2);
  EXPECT_EQ(entry("c.txt").list_stamps[0], kT0);
  EXPECT_EQ(entry("b.txt").list_stamps[0], kT0);
  EXPECT_FALSE(fs.exists(carrier("b.txt")));
  EXPECT_EQ(ctx.list().states[0], 2);
  EXPECT_FALSE(ctx.list().dirty);
}

TEST_F(Action2Test, LeavesAnotherComputersCarrierCopyAndNamesANewerVersionElsewhere) {
  prepare({2, 2, 2, 0});
  // Computer 2 put its newer version on the carrier; unchanged here.
  add("theirs.txt", kT0, {kT0, kT1, kT0, 0}, 2, kT1);
  // Computer 2 has a newer version that is not on the carrier.
  add("elsewhere.txt", kT0, {kT0, kT1, kT0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);

  EXPECT_EQ(log.lines, expected({"<2 elsewhere.txt"}, 2, 0, 0, 0, 1));
  EXPECT_EQ(fs.contents(carrier("theirs.txt")), "carrier:theirs.txt");
  EXPECT_EQ(entry("theirs.txt").state, 2);
  EXPECT_EQ(entry("theirs.txt").list_stamps[0], kT0);
  EXPECT_EQ(entry("elsewhere.txt").state, 0);
  EXPECT_EQ(entry("elsewhere.txt").list_stamps[0], kT0);
  EXPECT_FALSE(fs.exists(carrier("elsewhere.txt")));
}

TEST_F(Action2Test, FirstRunJudgesChangesByTheHolderRuleAlone) {
  prepare({1, 2, 0, 0});
  // Newer here than the list stamp, but this computer's list stamp is not
  // later than computer 2's: nothing travels.
  add("stale.txt", kT1, {kT0, kT0, 0, 0});
  // This computer's list stamp is later than computer 2's: published and
  // counted as desynchronised.
  add("ahead.txt", kT1, {kT1, kT0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);

  EXPECT_EQ(log.lines, expected({"=+ ahead.txt"}, 2, 1, 1, 0, 1));
  EXPECT_FALSE(fs.exists(carrier("stale.txt")));
  EXPECT_EQ(entry("stale.txt").list_stamps[0], kT0);
  EXPECT_EQ(entry("stale.txt").state, 0);
  EXPECT_EQ(entry("ahead.txt").state, 1);
  EXPECT_EQ(ctx.list().states[0], 3);
}

TEST_F(Action2Test, DaylightMarkerAloneIsNoChangeOnAVolumeWithoutExactTimes) {
  prepare({1, 2, 0, 0});
  ctx.list().exact_object = false;
  // Computer 2 took the same moment with the daylight marker.
  add("a.txt", kT0, {kT0, kT0 + 1, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines, expected({}, 1, 0, 0, 0, 0));
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("a.txt").object_stamp, kT0 + 1);
  EXPECT_EQ(entry("a.txt").list_stamps[0], kT0 + 1);
}

TEST_F(Action2Test, DaylightMarkerIsAChangeOnAnExactTimeVolume) {
  prepare({1, 2, 0, 0});
  add("a.txt", kT0, {kT0, kT0 + 1, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines, expected({"=+ a.txt"}, 1, 1, 1, 0, 1));
  EXPECT_EQ(entry("a.txt").object_stamp, kT0);
  EXPECT_EQ(entry("a.txt").state, 1);
}

TEST_F(Action2Test, DeletionsBecomeCommandsWhereAnotherComputerHasTheFile) {
  prepare({2, 2, 2, 0});
  add("nobody.txt", 0, {kT0, 0, 0, 0});
  add("command.txt", 0, {kT0, kT0, 0, 0});
  add("copied.txt", 0, {kT0, kT0, kT1, 0}, 3, kT1);
  add("again.txt", 0, {kT0, kT0, 0, 0}, 255, kT0);
  add("never.txt", 0, {0, kT0, 0, 0});
  // Still here, so the object has not lost every file.
  add("kept.txt", kT0, {kT0, kT0, kT0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 6);

  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(log.lines,
            expected({"-- x again.txt", "xx copied.txt", "=x command.txt", "=- nobody.txt"}, 6, 0,
                     0, 3, 4));
  for (const char* name : {"nobody.txt", "command.txt", "copied.txt", "again.txt"}) {
    EXPECT_EQ(entry(name).list_stamps[0], 0u) << name;
  }
  EXPECT_EQ(entry("nobody.txt").state, 0);
  EXPECT_EQ(entry("command.txt").state, 255);
  EXPECT_EQ(entry("copied.txt").state, 255);
  EXPECT_FALSE(fs.exists(carrier("copied.txt")));
  EXPECT_EQ(entry("copied.txt").carrier_stamp, 0u);
  // An existing command's carrier file is not touched.
  EXPECT_EQ(fs.contents(carrier("again.txt")), "carrier:again.txt");
  EXPECT_EQ(entry("again.txt").state, 255);
  // Not here at the last synchronisation either: nothing to carry.
  EXPECT_EQ(entry("never.txt").state, 0);
  EXPECT_EQ(entry("never.txt").list_stamps[1], kT0);
}

TEST_F(Action2Test, FailedRemovalOfTheCarrierCopyStillWritesTheCommand) {
  prepare({2, 2, 0, 0});
  add("a.txt", 0, {kT0, kT1, 0, 0}, 2, kT1);
  faults.fail_path("00001\\a.txt", 5);

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  faults.clear_failures();
  EXPECT_EQ(log.lines, expected({"ex a.txt"}, 1, 0, 0, 1, 1));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "carrier:a.txt");
  EXPECT_EQ(entry("a.txt").state, 255);
  EXPECT_EQ(entry("a.txt").list_stamps[0], 0u);
}

TEST_F(Action2Test, MasksThatForbidCopyOrDeleteActSilently) {
  prepare({2, 2, 0, 0}, /*with_mask=*/false);
  add_mask("*.txt", /*copy=*/false, /*remove=*/false);
  add("changed.txt", kT1, {kT0, kT0, 0, 0});
  add("deleted.txt", 0, {kT0, kT0, 0, 0});
  add("unmasked.doc", kT1, {kT0, kT0, 0, 0});
  add("gone.doc", 0, {kT0, kT0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 4);

  EXPECT_EQ(log.lines, expected({}, 4, 0, 0, 0, 0));
  EXPECT_EQ(entry("changed.txt").list_stamps[0], kT1);
  EXPECT_EQ(entry("unmasked.doc").list_stamps[0], kT1);
  EXPECT_EQ(entry("deleted.txt").list_stamps[0], 0u);
  EXPECT_EQ(entry("gone.doc").list_stamps[0], 0u);
  EXPECT_EQ(entry("deleted.txt").state, 0);
  EXPECT_EQ(entry("gone.doc").state, 0);
  EXPECT_FALSE(fs.exists(carrier("changed.txt")));
  EXPECT_FALSE(fs.exists(carrier("unmasked.doc")));
}

TEST_F(Action2Test, ForceCopiesOverANewerCarrierCopyWithoutAskingWhateverTheMasks) {
  prepare({2, 2, 0, 0}, /*with_mask=*/false);
  add_mask("*.txt", /*copy=*/false, /*remove=*/false);
  ctx.force = true;
  add("a.txt", kT1, {kT1, kT2, 0, 0}, 2, kT2);
  add("b.txt", 0, {kT0, kT0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);

  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(log.lines, expected({"=x b.txt", "=> a.txt"}, 2, 1, 0, 1, 1));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "here:a.txt");
  EXPECT_EQ(entry("a.txt").state, 1);
  EXPECT_EQ(entry("b.txt").state, 255);
}

TEST_F(Action2Test, EmptyListLogsTheSummaryAndRaisesTheState) {
  prepare({1, 0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 0);

  EXPECT_EQ(log.lines, expected({}, 0, 0, 0, 0, 0));
  EXPECT_EQ(ctx.list().states[0], 3);
  EXPECT_TRUE(ctx.list().dirty);
}

TEST_F(Action2Test, FullCarrierLogsTheFailureAndLeavesTheEntry) {
  prepare({2, 2, 0, 0});
  fs.set_capacity("C:\\", 16 * 4096);
  add("big.dat", kT1, {kT0, kT0, 0, 0});
  fs.write(object("big.dat"), std::string(20 * 4096, 'x'));

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines,
            expected({"EC=big.dat", u("***: Мало места для копирования файла")}, 1, 0, 0, 0, 0));
  EXPECT_FALSE(fs.exists(carrier("big.dat")));
  EXPECT_EQ(entry("big.dat").state, 0);
  EXPECT_EQ(entry("big.dat").list_stamps[0], kT0);
  EXPECT_EQ(entry("big.dat").carrier_stamp, 0u);
}

TEST_F(Action2Test, UnsafeEntriesArePassedOver) {
  prepare({2, 2, 0, 0});
  ListEntry& e = add("..\\outside.txt", 0, {kT0, kT0, 0, 0});
  e.unsafe = true;

  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines, expected({}, 1, 0, 0, 0, 0));
  EXPECT_EQ(ctx.list().entries[0].state, 0);
  EXPECT_EQ(ctx.list().entries[0].list_stamps[0], kT0);
}

class Action2MassDeletionTest : public Action2Test {
 protected:
  // Both files this computer had are gone; a new file appeared.
  void vanished() {
    prepare({3, 2, 0, 0});
    add("sub\\", 0, {kT0, kT0, 0, 0});
    add("sub\\a.txt", 0, {kT0, kT0, 0, 0});
    add("b.txt", 0, {kT0, kT0, 0, 0});
    add("new.txt", kT1, {0, 0, 0, 0});
  }
  std::string question() const {
    return u(
        "Объект: D:\\WORK\\*.*\r\n"
        "Все файлы объекта, бывшие в нем при прошлой синхронизации, отсутствуют (2).\r\n"
        "Создать команды удаления на носителе?");
  }
};

TEST_F(Action2MassDeletionTest, YesWritesTheDeleteCommands) {
  vanished();
  host.answers = {Answer::kYes};

  EXPECT_EQ(action2(ctx.env, ctx.run()), 4);

  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, question());
  EXPECT_EQ(host.questions[0].caption, u("Копирование на носитель"));
  EXPECT_EQ(log.lines,
            expected({"=+ new.txt", "=x b.txt", "=x sub\\a.txt", "=x sub\\"}, 4, 1, 1, 3, 3));
  EXPECT_EQ(entry("b.txt").state, 255);
  EXPECT_EQ(entry("sub\\a.txt").state, 255);
  EXPECT_EQ(entry("b.txt").list_stamps[0], 0u);
}

TEST_F(Action2MassDeletionTest, NoLeavesTheDeletionsForALaterRun) {
  vanished();
  host.answers = {Answer::kNo};

  EXPECT_EQ(action2(ctx.env, ctx.run()), 4);

  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(log.lines,
            expected({"=+ new.txt", u("Удаление файлов объекта отложено")}, 4, 1, 1, 0, 0));
  for (const char* name : {"b.txt", "sub\\a.txt", "sub\\"}) {
    EXPECT_EQ(entry(name).state, 0) << name;
    EXPECT_EQ(entry(name).list_stamps[0], kT0) << name;
  }
  EXPECT_EQ(entry("new.txt").state, 1);
}

TEST_F(Action2MassDeletionTest, AskedAgainOnTheNextRun) {
  prepare({3, 2, 0, 0});
  add("a.txt", 0, {kT0, kT0, 0, 0});
  add("b.txt", 0, {kT0, kT0, 0, 0});
  host.answers = {Answer::kNo, Answer::kYes};

  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("b.txt").list_stamps[0], kT0);

  log.lines.clear();
  EXPECT_EQ(action2(ctx.env, ctx.run()), 2);

  EXPECT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(log.lines, expected({"=x b.txt", "=x a.txt"}, 2, 0, 0, 2, 2));
  EXPECT_EQ(entry("a.txt").state, 255);
  EXPECT_EQ(entry("b.txt").list_stamps[0], 0u);
}

TEST_F(Action2MassDeletionTest, NotAskedForOneFileOrWhileAFileRemains) {
  prepare({3, 2, 0, 0});
  add("a.txt", 0, {kT0, kT0, 0, 0});
  add("b.txt", kT0, {kT0, kT0, 0, 0});
  add("c.txt", 0, {kT0, kT0, 0, 0});

  EXPECT_EQ(action2(ctx.env, ctx.run()), 3);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(entry("a.txt").state, 255);
  EXPECT_EQ(entry("c.txt").state, 255);

  // A single file that this computer had, now gone.
  ctx.lists.release();
  log.lines.clear();
  ASSERT_TRUE(ctx.lists.create(ctx.objects.count()));
  ctx.list().states = {3, 2, 0, 0};
  add("only.txt", 0, {kT0, kT0, 0, 0});
  EXPECT_EQ(action2(ctx.env, ctx.run()), 1);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(log.lines, expected({"=x only.txt"}, 1, 0, 0, 1, 1));
}

}  // namespace
}  // namespace keldar::sync_test

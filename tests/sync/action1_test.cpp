// Action 1 on the fake file system: what comes from the carrier into the
// object folder, what is asked, what is logged, and what is left on the
// carrier for the other computers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists/file_list.h"
#include "sync/actions.h"
#include "sync/file_ops.h"
#include "sync_fixture.h"

namespace keldar::sync_test {
namespace {

// Stamps as the scan takes them on the exact-time test volumes (TZ MSK-3:
// 13:00, 14:00, 15:00 and 16:00 local time on 15.01.2021).
constexpr std::uint32_t kT0 = kJan15;
constexpr std::uint32_t kT1 = kJan15 + 3600;
constexpr std::uint32_t kT2 = kJan15 + 7200;
constexpr std::uint32_t kT3 = kJan15 + 10800;
constexpr std::uint32_t st(std::uint32_t t) { return t | kExact; }

const std::string kObjectLine = "Объект: D:\\WORK\\*.*\r\n";

class Action1Test : public SyncTest {
 protected:
  void SetUp() override {
    SyncTest::SetUp();
    add_object();
    add_mask("*.doc", false, false);
    add_mask("*.*");
  }

  // Fills the lists with computer 2 (index 1) taking part. The folders' own
  // entry is kept out of play.
  void scan() {
    ASSERT_TRUE(fill());
    entry("\\").carrier_stamp = 0;
    ctx.list().states[1] = 2;
  }

  long run() {
    log.lines.clear();
    ctx.list().dirty = false;
    ctx.stop.reset();
    return action1(ctx.env, ctx.run());
  }

  // Marks `name` as put on the carrier by computer 2 with its version T1.
  void sent_by_2(std::string_view name) {
    entry(name).state = 2;
    entry(name).list_stamps[1] = st(kT1);
  }

  // Computer 2 sent a new a.txt (this computer has the old one) and b.txt.
  void a_and_b_sent_by_2() {
    fs.write(object("a.txt"), "old", file_time(kT0));
    fs.write(carrier("a.txt"), "new", file_time(kT1));
    fs.write(carrier("b.txt"), "bee", file_time(kT1));
    scan();
    sent_by_2("a.txt");
    sent_by_2("b.txt");
  }

  // An entry named `name` with no file on either side.
  ListEntry& add_entry(std::string_view name) {
    ListEntry* e = ctx.list().find_or_add(name, 0, 0, ctx.marking(), ctx.lists.names());
    EXPECT_NE(e, nullptr);
    return *e;
  }

  static std::vector<std::string> lines(std::vector<std::string> entries, long examined, long added,
                                        long replaced, long deleted, long removed,
                                        bool stopped = false) {
    entries.push_back(stopped ? u("Копирование с носителя прервано ") + std::string(43, '-')
                              : std::string(76, '-'));
    entries.push_back(u("Просмотрено файлов и команд на носителе ") + std::to_string(examined) +
                      u(", добавлено ") + std::to_string(added) + ",");
    entries.push_back(u("заменено ") + std::to_string(replaced) + u(", удалено ") +
                      std::to_string(deleted) + u(", удалено с носителя ") +
                      std::to_string(removed));
    return entries;
  }

  std::string copy_caption() { return u("Копирование с носителя"); }

  // The one question asked: a.txt was changed here (its time on 15.01.2021
  // before and now; "---" for none), and the carrier offers `on_carrier`.
  void expect_changed_here_question(const std::string& before, const std::string& now,
                                    const std::string& on_carrier) {
    const auto day = [](const std::string& t) { return t == "---" ? t : "15.01.2021 " + t; };
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text,
              u(kObjectLine + "Файл: a.txt\r\nбыл изменен в объекте:\r\nраньше: " + day(before) +
                "\r\nсейчас: " + day(now) + "\r\nна носителе: " + day(on_carrier) +
                "\r\nКопировать файл с носителя в объект?"));
    EXPECT_EQ(host.questions[0].caption, copy_caption());
    EXPECT_TRUE(host.questions[0].warning);
  }
};

TEST_F(Action1Test, LastReceiverTakesCopiesAndClearsTheCarrier) {
  a_and_b_sent_by_2();

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines, lines({"+=x b.txt", "<=x a.txt"}, 2, 1, 1, 0, 2));
  EXPECT_EQ(fs.contents(object("a.txt")), "new");
  EXPECT_EQ(fs.contents(object("b.txt")), "bee");
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_FALSE(fs.exists(carrier("b.txt")));
  for (const char* name : {"a.txt", "b.txt"}) {
    EXPECT_EQ(entry(name).state, 0) << name;
    EXPECT_EQ(entry(name).list_stamps[0], st(kT1)) << name;
  }
  EXPECT_EQ(ctx.list().states[0], 2);
  EXPECT_TRUE(ctx.list().dirty);
  EXPECT_TRUE(host.questions.empty());
  ASSERT_FALSE(host.progress.empty());
  EXPECT_EQ(host.progress.back(), "");
}

// A computer that stops before its disk has the copies must still find them
// on the carrier: the carrier copies leave once the object's disk is
// flushed, and the log keeps the order of the entries.
TEST_F(Action1Test, CarrierCopiesLeaveOnlyWhenTheObjectCopiesAreOnTheDisk) {
  // c.txt, already in place here, comes last and waits behind the others.
  fs.write(object("c.txt"), "cee", file_time(kT1));
  fs.write(carrier("c.txt"), "cee", file_time(kT1));
  a_and_b_sent_by_2();
  sent_by_2("c.txt");
  fs.ops.clear();

  EXPECT_EQ(run(), 3);

  EXPECT_EQ(fs.ops,
            (std::vector<std::string>{"copy " + object("b.txt"), "copy " + object("a.txt"), "flush",
                                      "delete " + carrier("b.txt"), "delete " + carrier("a.txt"),
                                      "delete " + carrier("c.txt")}));
  EXPECT_EQ(log.lines, lines({"+=x b.txt", "<=x a.txt", "--x c.txt"}, 3, 1, 1, 0, 3));
  EXPECT_EQ(faults.unflushed(), 0u);
}

// Big files take long to copy: what waits for the disk is settled every two
// seconds, so the log goes on while the run does.
TEST_F(Action1Test, SlowCopiesAreSettledEveryTwoSeconds) {
  a_and_b_sent_by_2();
  fs.ops.clear();
  fs.after_copy = [this] { clock.advance(2); };

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(fs.ops, (std::vector<std::string>{
                        "copy " + object("b.txt"), "flush", "delete " + carrier("b.txt"),
                        "copy " + object("a.txt"), "flush", "delete " + carrier("a.txt")}));
  EXPECT_EQ(log.lines, lines({"+=x b.txt", "<=x a.txt"}, 2, 1, 1, 0, 2));
}

TEST_F(Action1Test, ObjectDiskThatCannotWriteTheCopiesKeepsTheCarrierCopies) {
  a_and_b_sent_by_2();
  fs.flush_code = err::kIoDevice;

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines, lines({"+=e b.txt", "<=e a.txt", "1117: " + error_line(err::kIoDevice)}, 2,
                             1, 1, 0, 0));
  // The copies may be damaged on this disk; the carrier keeps the files for
  // the next run.
  faults.lose_unflushed();
  EXPECT_EQ(fs.contents(carrier("a.txt")), "new");
  EXPECT_EQ(fs.contents(carrier("b.txt")), "bee");
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(entry("b.txt").state, 2);
}

TEST_F(Action1Test, ObjectVolumeThatVanishesBeforeTheFlushKeepsTheCarrierCopies) {
  a_and_b_sent_by_2();
  int copies = 0;
  fs.after_copy = [&] {
    if (++copies == 2) faults.set_volume_gone("D:\\");
  };

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines,
            lines({"+=e b.txt", "<=e a.txt", "21: " + error_line(err::kNotReady)}, 2, 1, 1, 0, 0));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "new");
  EXPECT_EQ(fs.contents(carrier("b.txt")), "bee");
  EXPECT_EQ(entry("a.txt").state, 2);
}

TEST_F(Action1Test, CopyStaysOnTheCarrierWhileAnotherComputerStillNeedsIt) {
  fs.write(object("a.txt"), "old", file_time(kT0));
  fs.write(carrier("a.txt"), "new", file_time(kT1));
  fs.write(carrier("b.txt"), "bee", file_time(kT1));
  scan();
  ctx.list().states[2] = 2;
  sent_by_2("a.txt");
  sent_by_2("b.txt");
  entry("a.txt").list_stamps[2] = st(kT0);

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines, lines({"+=  b.txt", "<=  a.txt"}, 2, 1, 1, 0, 0));
  EXPECT_EQ(fs.contents(object("a.txt")), "new");
  EXPECT_EQ(fs.contents(carrier("a.txt")), "new");
  EXPECT_EQ(fs.contents(carrier("b.txt")), "bee");
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(entry("b.txt").list_stamps[0], st(kT1));
}

TEST_F(Action1Test, EntriesInStepAreLoggedOnlyWhenTheRecordDiffers) {
  fs.write(object("a.txt"), "same", file_time(kT1));
  fs.write(carrier("a.txt"), "same", file_time(kT1));
  fs.write(object("c.txt"), "same", file_time(kT1));
  fs.write(carrier("c.txt"), "same", file_time(kT1));
  scan();
  ctx.list().states[2] = 2;
  for (const char* name : {"a.txt", "c.txt"}) {
    sent_by_2(name);
    entry(name).list_stamps[2] = st(kT0);
  }
  entry("c.txt").list_stamps[0] = st(kT0);

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines, lines({"--  c.txt"}, 2, 0, 0, 0, 0));
  EXPECT_EQ(entry("c.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(entry("c.txt").state, 2);
  EXPECT_TRUE(fs.exists(carrier("a.txt")));
  EXPECT_TRUE(fs.exists(carrier("c.txt")));
}

TEST_F(Action1Test, DeleteCommandsDeleteAndAreDroppedWhenNoLongerNeeded) {
  fs.write(object("d.txt"), "d", file_time(kT0));
  fs.write(object("e.txt"), "e", file_time(kT0));
  scan();
  ctx.list().states[2] = 2;
  entry("d.txt").state = entry_state::kDelete;
  entry("e.txt").state = entry_state::kDelete;
  entry("e.txt").list_stamps[2] = st(kT0);  // computer 3 still has it
  add_entry("gone.txt").state = entry_state::kDelete;

  EXPECT_EQ(run(), 3);

  EXPECT_EQ(log.lines, lines({"--x gone.txt", "x=  e.txt", "x=x d.txt"}, 3, 0, 0, 2, 2));
  EXPECT_FALSE(fs.exists(object("d.txt")));
  EXPECT_FALSE(fs.exists(object("e.txt")));
  EXPECT_EQ(entry("gone.txt").state, 0);
  EXPECT_EQ(entry("d.txt").state, 0);
  EXPECT_EQ(entry("e.txt").state, entry_state::kDelete);
  EXPECT_EQ(entry("d.txt").list_stamps[0], 0u);
  EXPECT_EQ(entry("e.txt").list_stamps[0], 0u);
  EXPECT_EQ(entry("e.txt").list_stamps[2], st(kT0));
}

class CommandAgainstLocalChange : public Action1Test {
 protected:
  // A delete command without a carrier file for a file changed here since
  // the last synchronisation.
  void prepare() {
    fs.write(object("a.txt"), "mine", file_time(kT2));
    fs.make_folders(carrier());
    scan();
    entry("a.txt").state = entry_state::kDelete;
    entry("a.txt").list_stamps[0] = st(kT1);
  }
  void expect_question() { expect_changed_here_question("14:00:00n ", "15:00:00n ", "---"); }
};

TEST_F(CommandAgainstLocalChange, YesTriesTheMissingCarrierFileAndKeepsTheCommand) {
  prepare();
  host.answers = {Answer::kYes};
  EXPECT_EQ(run(), 1);
  expect_question();
  EXPECT_EQ(log.lines, lines({"ERC=a.txt", "2: " + error_line(2)}, 1, 0, 0, 0, 0));
  EXPECT_EQ(entry("a.txt").state, entry_state::kDelete);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(fs.contents(object("a.txt")), "mine");
}

TEST_F(CommandAgainstLocalChange, NoDropsTheCommandAndKeepsTheFile) {
  prepare();
  host.answers = {Answer::kNo};
  EXPECT_EQ(run(), 1);
  expect_question();
  EXPECT_EQ(log.lines, lines({"RCx a.txt"}, 1, 0, 0, 0, 0));
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(fs.contents(object("a.txt")), "mine");
}

class DeletedHereNewerOnCarrier : public Action1Test {
 protected:
  // Deleted here since the last synchronisation (T0) while computer 2 put a
  // newer copy on the carrier.
  void prepare() {
    fs.write(carrier("a.txt"), "new", file_time(kT1));
    scan();
    entry("a.txt").state = 2;
    entry("a.txt").list_stamps[0] = st(kT0);
    entry("a.txt").list_stamps[1] = st(kT1);
  }
  void expect_question() { expect_changed_here_question("13:00:00n ", "---", "14:00:00n "); }
};

TEST_F(DeletedHereNewerOnCarrier, YesBringsTheFileBack) {
  prepare();
  host.answers = {Answer::kYes};
  EXPECT_EQ(run(), 1);
  expect_question();
  EXPECT_EQ(log.lines, lines({"+=x a.txt"}, 1, 1, 0, 0, 1));
  EXPECT_EQ(fs.contents(object("a.txt")), "new");
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
}

TEST_F(DeletedHereNewerOnCarrier, NoRemovesTheCarrierCopy) {
  prepare();
  host.answers = {Answer::kNo};
  EXPECT_EQ(run(), 1);
  expect_question();
  EXPECT_EQ(log.lines, lines({"RCx a.txt"}, 1, 0, 0, 0, 0));
  EXPECT_FALSE(fs.exists(object("a.txt")));
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
}

TEST_F(Action1Test, OwnCopyOfAFileDeletedHereIsLeftForTheDeletionToTravel) {
  // This computer (number 1) put a.txt on the carrier, then deleted it.
  fs.write(carrier("a.txt"), "mine", file_time(kT1));
  scan();
  ctx.list().states[0] = 2;
  ListEntry& e = entry("a.txt");
  e.state = 1;
  e.list_stamps[0] = st(kT1);
  e.list_stamps[1] = st(kT0);

  EXPECT_EQ(run(), 0);

  EXPECT_EQ(log.lines, lines({}, 0, 0, 0, 0, 0));
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(e.state, 1);
  EXPECT_EQ(e.list_stamps[0], st(kT1));
  EXPECT_EQ(e.object_stamp, 0u);
  EXPECT_FALSE(fs.exists(object("a.txt")));
  EXPECT_EQ(fs.contents(carrier("a.txt")), "mine");
  EXPECT_FALSE(ctx.list().dirty);
}

TEST_F(Action1Test, CarrierFilesWithoutSenderAreOfferedAndMaskedOnesKept) {
  fs.write(carrier("a.txt"), "hand", file_time(kT1));
  fs.write(carrier("b.doc"), "hand", file_time(kT1));
  scan();

  EXPECT_EQ(run(), 2);

  EXPECT_EQ(log.lines, lines({"+=x a.txt"}, 2, 1, 0, 0, 1));
  EXPECT_EQ(fs.contents(object("a.txt")), "hand");
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  // Not permitted by its mask: counted, kept, and marked as from no known
  // computer.
  EXPECT_EQ(entry("b.doc").state, entry_state::kUnknownOrigin);
  EXPECT_EQ(entry("b.doc").list_stamps[0], 0u);
  EXPECT_TRUE(fs.exists(carrier("b.doc")));
  EXPECT_FALSE(fs.exists(object("b.doc")));
}

TEST_F(Action1Test, StateOfAVanishedCarrierCopyIsResetUncounted) {
  fs.write(object("a.txt"), "a", file_time(kT0));
  scan();
  ctx.list().states[0] = 2;
  entry("a.txt").state = 3;

  EXPECT_EQ(run(), 0);

  EXPECT_EQ(log.lines, lines({}, 0, 0, 0, 0, 0));
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
  EXPECT_TRUE(ctx.list().dirty);
}

// Only 0xFF is a delete command; a state no computer writes (a flipped bit
// on the carrier) leaves the entry alone, with one line.
TEST_F(Action1Test, DamagedEntryStatesAreReportedAndLeftAlone) {
  fs.write(object("a.txt"), "a", file_time(kT0));
  fs.write(carrier("a.txt"), "carrier", file_time(kT1));
  scan();
  ctx.list().states[0] = 2;
  entry("a.txt").list_stamps[0] = st(kT0);
  for (const int state : {6, 127, 128, 200, 254}) {
    SCOPED_TRACE(state);
    entry("a.txt").state = static_cast<std::uint8_t>(state);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(log.lines, lines({u("Запись списка повреждена (состояние ") + std::to_string(state) +
                                u("), не обрабатывается: a.txt")},
                               0, 0, 0, 0, 0));
    EXPECT_EQ(fs.contents(object("a.txt")), "a");
    EXPECT_EQ(fs.contents(carrier("a.txt")), "carrier");
    EXPECT_EQ(entry("a.txt").state, state);
    EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
  }
}

// A folder that changed here (a file came or went in it) is never asked
// about: neither a newer folder time on the carrier nor a delete command.
TEST_F(Action1Test, FoldersThatChangedHereAreInPlaceWithoutAQuestion) {
  fs.write(object("sub\\x.txt"), "x", file_time(kT0));
  fs.set_raw_times(object("sub"), {0, 0, file_time(kT2)});
  fs.make_folders(carrier("sub"));
  fs.set_raw_times(carrier("sub"), {0, 0, file_time(kT3)});
  scan();
  for (const std::uint8_t state : {std::uint8_t{2}, entry_state::kDelete}) {
    SCOPED_TRACE(state);
    entry("sub\\").state = state;
    entry("sub\\").list_stamps[0] = st(kT1);
    run();
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(log.lines.at(0).starts_with("--")) << "in place: " << log.lines.at(0);
    EXPECT_EQ(fs.contents(object("sub\\x.txt")), "x");
  }
}

class ForceFlag : public Action1Test, public ::testing::WithParamInterface<bool> {};

TEST_P(ForceFlag, OverridesTheMasksThatForbid) {
  const bool force = GetParam();
  fs.write(carrier("b.doc"), "new", file_time(kT1));
  fs.write(object("c.doc"), "c", file_time(kT0));
  scan();
  sent_by_2("b.doc");
  entry("c.doc").state = entry_state::kDelete;
  ctx.force = force;

  EXPECT_EQ(run(), 2);

  if (force) {
    EXPECT_EQ(log.lines, lines({"+=x b.doc", "x=x c.doc"}, 2, 1, 0, 1, 2));
    EXPECT_EQ(fs.contents(object("b.doc")), "new");
    EXPECT_FALSE(fs.exists(object("c.doc")));
    EXPECT_EQ(entry("b.doc").state, 0);
    EXPECT_EQ(entry("c.doc").state, 0);
  } else {
    EXPECT_EQ(log.lines, lines({}, 2, 0, 0, 0, 0));
    EXPECT_FALSE(fs.exists(object("b.doc")));
    EXPECT_TRUE(fs.exists(carrier("b.doc")));
    EXPECT_EQ(fs.contents(object("c.doc")), "c");
    EXPECT_EQ(entry("b.doc").state, 2);
    EXPECT_EQ(entry("c.doc").state, entry_state::kDelete);
    EXPECT_EQ(entry("c.doc").list_stamps[0], st(kT0));
  }
}

INSTANTIATE_TEST_SUITE_P(Action1, ForceFlag, ::testing::Bool());

class AskingMasks : public Action1Test {
 protected:
  void prepare() {
    MaskRecord& txt = ctx.masks.record(0);
    ASSERT_TRUE(txt.set_pattern("*.txt"));
    txt.set_allow_copy(true);
    txt.set_allow_delete(true);
    txt.set_ask_before_replacing(true);
    txt.set_ask_before_deleting(true);
    fs.write(object("a.txt"), "old", file_time(kT0));
    fs.write(object("d.txt"), "d", file_time(kT0));
    fs.write(carrier("a.txt"), "new", file_time(kT1));
    scan();
    sent_by_2("a.txt");
    entry("d.txt").state = entry_state::kDelete;
  }
  void expect_questions() {
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0].text, u(kObjectLine + "Файл: d.txt\r\nзаменяется с носителя:\r\n"
                                                      "в объекте: 15.01.2021 13:00:00n \r\n"
                                                      "Удалить файл из объекта?"));
    EXPECT_EQ(host.questions[0].caption, u("Удаление файла"));
    EXPECT_FALSE(host.questions[0].warning);
    EXPECT_EQ(host.questions[1].text, u(kObjectLine + "Файл: a.txt\r\nзаменяется с носителя:\r\n"
                                                      "в объекте: 15.01.2021 13:00:00n \r\n"
                                                      "на носителе: 15.01.2021 14:00:00n \r\n"
                                                      "Копировать файл с носителя в объект?"));
    EXPECT_EQ(host.questions[1].caption, copy_caption());
    EXPECT_FALSE(host.questions[1].warning);
  }
};

TEST_F(AskingMasks, YesReplacesAndDeletes) {
  prepare();
  host.answers = {Answer::kYes, Answer::kYes};
  EXPECT_EQ(run(), 2);
  expect_questions();
  EXPECT_EQ(log.lines, lines({"x=x d.txt", "<=x a.txt"}, 2, 0, 1, 1, 2));
  EXPECT_FALSE(fs.exists(object("d.txt")));
  EXPECT_EQ(fs.contents(object("a.txt")), "new");
}

TEST_F(AskingMasks, NoKeepsTheObjectFilesAndDropsWhatTheCarrierOffered) {
  prepare();
  host.answers = {Answer::kNo, Answer::kNo};
  EXPECT_EQ(run(), 2);
  expect_questions();
  EXPECT_EQ(log.lines, lines({"RDx d.txt", "RCx a.txt"}, 2, 0, 0, 0, 0));
  EXPECT_EQ(fs.contents(object("d.txt")), "d");
  EXPECT_EQ(fs.contents(object("a.txt")), "old");
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("d.txt").state, 0);
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("d.txt").list_stamps[0], st(kT0));
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
}

TEST_F(AskingMasks, CancelStopsTheRunAndLeavesTheEntry) {
  prepare();
  host.answers = {Answer::kCancel};
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_FALSE(!ctx.stop.pending());
  EXPECT_EQ(log.lines, lines({}, 1, 0, 0, 0, 0, true));
  EXPECT_EQ(fs.contents(object("d.txt")), "d");
  EXPECT_EQ(fs.contents(object("a.txt")), "old");
  EXPECT_TRUE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("d.txt").state, entry_state::kDelete);
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(ctx.list().states[0], 1);  // an interrupted run does not count
}

TEST_F(Action1Test, FullObjectDiskKeepsTheEntryForTheNextRun) {
  fs.write(object("a.txt"), "old", file_time(kT0));
  fs.write(carrier("a.txt"), "new", file_time(kT1));
  scan();
  sent_by_2("a.txt");
  fs.set_capacity("D:\\", 3 * 4096);

  EXPECT_EQ(run(), 1);

  EXPECT_EQ(log.lines,
            lines({"ERC=a.txt", u("***: Мало места для копирования файла")}, 1, 0, 0, 0, 0));
  EXPECT_EQ(fs.contents(object("a.txt")), "old");
  EXPECT_EQ(fs.contents(carrier("a.txt")), "new");
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
  EXPECT_EQ(entry("a.txt").object_stamp, st(kT0));
}

class ChangedSinceScan : public Action1Test {
 protected:
  // a.txt comes from computer 2 over the version this computer had (T0);
  // d.txt is to be deleted. Both object files are changed after the scan.
  void prepare() {
    fs.write(object("a.txt"), "old", file_time(kT0));
    fs.write(object("d.txt"), "d", file_time(kT0));
    fs.write(carrier("a.txt"), "new", file_time(kT1));
    scan();
    sent_by_2("a.txt");
    entry("d.txt").state = entry_state::kDelete;
    fs.write(object("a.txt"), "mine", file_time(kT2));
    fs.write(object("d.txt"), "mine", file_time(kT3));
  }
  void expect_questions() {
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0].text, u(kObjectLine + "Файл: d.txt\r\nбыл изменен в объекте:\r\n"
                                                      "раньше: 15.01.2021 13:00:00n \r\n"
                                                      "сейчас: 15.01.2021 16:00:00n \r\n"
                                                      "на носителе: ---\r\n"
                                                      "Копировать файл с носителя в объект?"));
    EXPECT_EQ(host.questions[1].text, u(kObjectLine + "Файл: a.txt\r\nбыл изменен в объекте:\r\n"
                                                      "раньше: 15.01.2021 13:00:00n \r\n"
                                                      "сейчас: 15.01.2021 15:00:00n \r\n"
                                                      "на носителе: 15.01.2021 14:00:00n \r\n"
                                                      "Копировать файл с носителя в объект?"));
    for (const auto& q : host.questions) {
      EXPECT_EQ(q.caption, copy_caption());
      EXPECT_TRUE(q.warning);
    }
  }
};

TEST_F(ChangedSinceScan, NoKeepsTheNewLocalVersions) {
  prepare();
  fs.make_folders(carrier());
  host.answers = {Answer::kNo, Answer::kNo};
  EXPECT_EQ(run(), 2);
  expect_questions();
  EXPECT_EQ(log.lines, lines({"RCx d.txt", "RCx a.txt"}, 2, 0, 0, 0, 0));
  EXPECT_EQ(fs.contents(object("a.txt")), "mine");
  EXPECT_EQ(fs.contents(object("d.txt")), "mine");
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("d.txt").state, 0);
  // The record still shows what was synchronised: the change will travel.
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT0));
  EXPECT_EQ(entry("d.txt").list_stamps[0], st(kT0));
  EXPECT_EQ(entry("a.txt").object_stamp, st(kT2));
}

TEST_F(ChangedSinceScan, YesReplacesOnlyAfterTheQuestion) {
  prepare();
  host.answers = {Answer::kYes, Answer::kYes};
  EXPECT_EQ(run(), 2);
  expect_questions();
  ASSERT_EQ(log.lines.size(), 6u);
  EXPECT_EQ(log.lines[0], "ERC=d.txt");  // the command has no carrier file
  EXPECT_EQ(log.lines[2], "<=x a.txt");
  EXPECT_EQ(fs.contents(object("a.txt")), "new");
  EXPECT_EQ(fs.contents(object("d.txt")), "mine");
  EXPECT_EQ(entry("a.txt").list_stamps[0], st(kT1));
  EXPECT_EQ(entry("d.txt").state, entry_state::kDelete);
}

}  // namespace
}  // namespace keldar::sync_test

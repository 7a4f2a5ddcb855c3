// The etalon copy on lists built by hand: what goes onto the carrier as this
// computer's version, what becomes a delete command, what is logged.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sync/actions.h"
#include "sync/sync_fixture.h"

namespace keldar::sync_test {
namespace {

constexpr std::uint32_t kT0 = kJan15;
constexpr std::uint32_t kT1 = kJan15 + 2 * 3600;

class EtalonTest : public SyncTest {
 protected:
  void prepare(std::array<std::uint8_t, 4> states, bool with_mask = true) {
    add_object();
    if (with_mask) add_mask("*.*");
    ASSERT_TRUE(ctx.lists.create(ctx.objects.count()));
    ctx.list().states = states;
    ctx.list().exact_object = true;
    ctx.stop.reset();
  }

  ListEntry& add(std::string name, std::uint32_t o, std::array<std::uint32_t, 4> stamps,
                 std::uint8_t state = 0) {
    ListEntry* e = ctx.list().add(name, ctx.lists.names());
    EXPECT_NE(e, nullptr);
    e->object_stamp = o;
    e->list_stamps = stamps;
    e->state = state;
    if (o != 0) fs.write(object(name), "here:" + name);
    return *e;
  }

  static std::vector<std::string> expected(std::vector<std::string> files, long examined,
                                           long added, long commands, long desynchronised) {
    files.push_back(std::string(76, '-'));
    files.push_back(u("Просмотрено файлов списка ") + std::to_string(examined) +
                    u(", добавлено на носитель ") + std::to_string(added) + ",");
    files.push_back(u("создано команд удаления ") + std::to_string(commands) +
                    u(", рассинхронизировано ") + std::to_string(desynchronised));
    return files;
  }
};

TEST_F(EtalonTest, CopiesWhatOthersLackAndCommandsWhatIsAbsentHere) {
  prepare({2, 2, 2, 0});
  // Nobody else ever had it.
  add("mine.txt", kT0, {0, 0, 0, 0});
  // Absent here; computers 2 and 3 hold different versions.
  add("theirs.txt", 0, {kT0, kT1, kT0, 0});
  // Absent here; every other computer has the same version: in step.
  add("agreed.txt", 0, {kT0, kT0, kT0, 0}, 3);
  // The same everywhere.
  add("same.txt", kT0, {kT0, kT0, kT0, 0});

  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 4);

  EXPECT_EQ(log.lines, expected({"=x theirs.txt", "=+ mine.txt"}, 4, 1, 1, 2));
  EXPECT_EQ(fs.contents(carrier("mine.txt")), "here:mine.txt");
  EXPECT_EQ(entry("mine.txt").state, 1);
  EXPECT_EQ(entry("mine.txt").list_stamps[0], kT0);
  EXPECT_EQ(entry("theirs.txt").state, 255);
  EXPECT_EQ(entry("theirs.txt").list_stamps[0], 0u);
  EXPECT_EQ(entry("agreed.txt").state, 0);
  EXPECT_EQ(entry("agreed.txt").list_stamps[0], 0u);
  EXPECT_FALSE(fs.exists(carrier("same.txt")));
  EXPECT_EQ(ctx.list().states[0], 3);
  EXPECT_TRUE(ctx.list().dirty);
}

TEST_F(EtalonTest, WithoutOtherParticipantsOnlyTheSummaryIsLogged) {
  prepare({1, 0, 0, 0});
  add("a.txt", kT1, {kT0, kT0, 0, 0}, 2);
  add("b.txt", 0, {kT0, kT0, 0, 0}, 255);

  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 2);

  EXPECT_EQ(log.lines, expected({}, 2, 0, 0, 0));
  // Every entry starts anew as not in transit, with this computer's time.
  EXPECT_EQ(entry("a.txt").state, 0);
  EXPECT_EQ(entry("a.txt").list_stamps[0], kT1);
  EXPECT_EQ(entry("b.txt").state, 0);
  EXPECT_EQ(entry("b.txt").list_stamps[0], 0u);
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
  EXPECT_EQ(ctx.list().states[0], 3);
}

TEST_F(EtalonTest, MasksThatForbidAreLoggedWithoutForce) {
  prepare({2, 2, 2, 0}, /*with_mask=*/false);
  add_mask("*.txt", /*copy=*/false, /*remove=*/false);
  add("mine.txt", kT0, {0, 0, 0, 0});
  add("theirs.txt", 0, {kT0, kT1, kT0, 0});

  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 2);

  EXPECT_EQ(log.lines, expected({"-- theirs.txt", "-- mine.txt"}, 2, 0, 0, 2));
  EXPECT_FALSE(fs.exists(carrier("mine.txt")));
  EXPECT_EQ(entry("mine.txt").state, 0);
  EXPECT_EQ(entry("theirs.txt").state, 0);

  // The force flag of the objects dialog overrides the masks.
  log.lines.clear();
  ctx.force = true;
  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 2);
  EXPECT_EQ(log.lines, expected({"=x theirs.txt", "=+ mine.txt"}, 2, 1, 1, 2));
}

TEST_F(EtalonTest, FailedCopyLogsTheErrorAndLeavesTheEntryNotInTransit) {
  prepare({2, 2, 0, 0});
  fs.set_capacity("C:\\", 16 * 4096);
  add("big.dat", kT1, {kT0, kT0, 0, 0}, 2);
  fs.write(object("big.dat"), std::string(20 * 4096, 'x'));

  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 1);

  EXPECT_EQ(log.lines,
            expected({"EC=big.dat", u("***: Мало места для копирования файла")}, 1, 0, 0, 1));
  EXPECT_EQ(entry("big.dat").state, 0);
  EXPECT_EQ(entry("big.dat").list_stamps[0], kT1);
  EXPECT_FALSE(fs.exists(carrier("big.dat")));
}

TEST_F(EtalonTest, StopRequestEndsTheWalkWithoutRaisingTheState) {
  prepare({2, 2, 0, 0});
  add("a.txt", kT1, {0, 0, 0, 0}, 2);
  ctx.stop.request();

  EXPECT_EQ(etalon_copy(ctx.env, ctx.run()), 0);

  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                u("Копирование на носитель прервано ------------------------------------------"),
                u("Просмотрено файлов списка 0, добавлено на носитель 0,"),
                u("создано команд удаления 0, рассинхронизировано 0")}));
  EXPECT_EQ(entry("a.txt").state, 2);
  EXPECT_EQ(ctx.list().states[0], 2);
  EXPECT_FALSE(fs.exists(carrier("a.txt")));
}

}  // namespace
}  // namespace keldar::sync_test

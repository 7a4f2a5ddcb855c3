// The comparison of an object with its list: one marker line per difference,
// the opening line by list state and the two summary lines.
#include "lists/compare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists_fixture.h"

namespace keldar::lists_test {
namespace {

const std::string kFirstTime = u("Первая обработка списка файлов на этом компьютере...");
const std::string kAgain = u("Сравнение списка файлов с предыдущей синхронизацией...");
const std::string kSeparator(76, '-');
const std::string kInterrupted =
    u("Сравнение объекта со списком прервано -------------------------------------");
constexpr std::uint32_t X = kJune15;

std::vector<std::string> summary(long total, long added, long changed, long deleted) {
  return {u("Объект просмотрен, всего файлов ") + std::to_string(total) + u(", добавлено ") +
              std::to_string(added) + ",",
          u("изменено ") + std::to_string(changed) + u(", удалено ") + std::to_string(deleted)};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CompareTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    add_object(7, "D:\\WORK\\*.*");
    add_mask("*.*");
    ASSERT_TRUE(ctx.lists.create(1));
    ctx.lists.set_complete(true);
    ctx.stop.reset();
  }
  FileList& list() { return ctx.lists.list(0); }
  void add(std::string_view name, std::uint32_t o, std::uint32_t l, std::uint32_t c = 0,
           std::uint8_t state = 0) {
    ListEntry* e = list().add(name, ctx.lists.names());
    ASSERT_NE(e, nullptr);
    e->object_stamp = o;
    e->list_stamps[ctx.computer] = l;
    e->carrier_stamp = c;
    e->state = state;
  }
  // One entry of every kind, for computer index 0 (computer number 1).
  void add_every_kind() {
    add("\\", X, X);
    add("NEW.TXT", X, 0);
    add("LATER.TXT", X + 2, X);
    add("EARLIER.TXT", X - 2, X);
    add("GONE.TXT", 0, X);
    add("FROM2.TXT", X, X, X, 2);
    add("DELETED.TXT", 0, 0, 0, 255);
    add("DELETEDC.TXT", 0, 0, X, 255);
    add("MINE.TXT", X, X, X, 1);
    add("UNKNOWN.TXT", X, X, X, 5);
    add("NOORIGIN.TXT", X, X, X, 0);
    add("CHANGEDTOO.TXT", X + 2, X, X, 3);
    add("SUB\\", X, 0);
  }
  long compare() {
    log.lines.clear();
    return compare_object(ctx.env, ctx.run());
  }
};

TEST_F(CompareTest, EveryMarkerFromTheLastEntryToTheFirst) {
  add_every_kind();
  list().states[0] = 2;
  EXPECT_EQ(compare(), 13);
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                            kAgain, "+ SUB\\", "> CHANGEDTOO.TXT", "0 NOORIGIN.TXT",
                            "5 UNKNOWN.TXT", "-1 DELETEDC.TXT", "X DELETED.TXT", "2 FROM2.TXT",
                            "x GONE.TXT", "< EARLIER.TXT", "> LATER.TXT", "+ NEW.TXT", kSeparator} +
                        summary(13, 2, 3, 1)));
  EXPECT_EQ(host.progress.back(), "");

  // Nothing was changed by looking.
  EXPECT_EQ(list().entries[5].state, 2);
  EXPECT_EQ(list().entries[1].list_stamps[0], 0u);
  EXPECT_FALSE(list().dirty);
}

TEST_F(CompareTest, WithoutCopyToCarrierEveryEntryGoesToTheCarrierSide) {
  add_every_kind();
  ctx.objects.record(0).set_copy_to_carrier(0, false);
  ctx.objects.record(0).set_copy_to_carrier(1, true);  // another computer's flag does not count
  EXPECT_EQ(compare(), 13);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFirstTime, "3 CHANGEDTOO.TXT", "0 NOORIGIN.TXT",
                                                 "5 UNKNOWN.TXT", "-1 DELETEDC.TXT",
                                                 "X DELETED.TXT", "2 FROM2.TXT", kSeparator} +
                        summary(13, 0, 0, 0)));
}

TEST_F(CompareTest, WithoutCopyFromCarrierOnlyTheObjectSideSpeaks) {
  add_every_kind();
  ctx.objects.record(0).set_copy_from_carrier(0, false);
  EXPECT_EQ(compare(), 13);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFirstTime, "+ SUB\\", "> CHANGEDTOO.TXT", "x GONE.TXT",
                                      "< EARLIER.TXT", "> LATER.TXT", "+ NEW.TXT", kSeparator} +
             summary(13, 2, 3, 1)));

  ctx.objects.record(0).set_copy_to_carrier(0, false);
  EXPECT_EQ(compare(), 13);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFirstTime, kSeparator} + summary(13, 0, 0, 0)));
}

TEST_F(CompareTest, ACopyThisComputerPutOnTheCarrierIsNotReported) {
  ctx.computer = 1;  // computer number 2
  add("FROM2.TXT", X, X, X, 2);
  add("FROM1.TXT", X, X, X, 1);
  add("DELETE2.TXT", X, X, 0, 255);
  add("DELETE2C.TXT", X, X, X, 255);
  EXPECT_EQ(compare(), 4);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFirstTime, "-1 DELETE2C.TXT", "X DELETE2.TXT",
                                                 "1 FROM1.TXT", kSeparator} +
                        summary(4, 0, 0, 0)));
}

TEST_F(CompareTest, TheCarrierSideNeedsStampsEqualBitForBit) {
  add("SAMEMOMENT.TXT", X | kExact, X | kExact | 1, X, 2);  // difference 0, bits differ
  add("DAYLIGHT.TXT", X | 1, X - 3600, X, 2);               // likewise
  add("EQUAL.TXT", X | kExact, X | kExact, X, 2);
  EXPECT_EQ(compare(), 3);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kFirstTime, "2 EQUAL.TXT", kSeparator} +
                        summary(3, 0, 0, 0)));
}

TEST(StampDifferenceTest, NormalValuesOrderStamps) {
  EXPECT_EQ(normal_value(0), 0);
  EXPECT_EQ(normal_value(X), static_cast<std::int32_t>(X));
  EXPECT_EQ(normal_value(X | 1), static_cast<std::int32_t>(X - 3600));
  EXPECT_EQ(normal_value(X | kExact), static_cast<std::int32_t>(X));
  EXPECT_EQ(normal_value(X | kExact | 1), static_cast<std::int32_t>(X)) << "exact: no hour less";
  EXPECT_EQ(normal_value(kExact | 1), 0);

  EXPECT_EQ(stamp_difference(X | 1, X), -3600) << "the same moment, one under daylight saving";
  EXPECT_EQ(stamp_difference(X, X | 1), 3600);
  EXPECT_EQ(stamp_difference(X + 2, X), 2);
  EXPECT_EQ(stamp_difference(X, X + 2), -2);
  EXPECT_EQ(stamp_difference(X | kExact, X), 0);
  EXPECT_EQ(stamp_difference(X | kExact | 1, X | kExact), 0);
  EXPECT_EQ(stamp_difference(X + 3600 + 1, X), 0);
  EXPECT_EQ(stamp_difference(0x7FFFFFFEu, 2), 0x7FFFFFFC);
}

TEST_F(CompareTest, MasksDecideWhatIsReportedUnlessForced) {
  ctx.masks = MaskTable();
  add_mask("*.doc", /*copy=*/true, /*remove=*/false);
  add_mask("*.txt", /*copy=*/false, /*remove=*/true);
  add("A.DOC", X, 0);
  add("B.DOC", 0, X);
  add("C.TXT", X, 0);
  add("D.TXT", 0, X);
  add("E.TXT", X, X, X, 2);
  add("F.TXT", 0, 0, X, 255);  // a carrier copy that may not be taken: no delete line either
  add("G.TXT", 0, 0, 0, 255);
  add("H.DOC", 0, 0, 0, 255);
  add("I.BIN", X, 0);
  add("J.BIN", 0, 0, 0, 255);
  add("K.BIN", X, X, X, 3);
  EXPECT_EQ(compare(), 11);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFirstTime, "X G.TXT", "x D.TXT", "+ A.DOC", kSeparator} +
             summary(11, 1, 0, 1)));

  ctx.force = true;
  EXPECT_EQ(compare(), 11);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFirstTime, "3 K.BIN", "X J.BIN", "+ I.BIN", "X H.DOC",
                                      "X G.TXT", "-1 F.TXT", "2 E.TXT", "x D.TXT", "+ C.TXT",
                                      "x B.DOC", "+ A.DOC", kSeparator} +
             summary(11, 3, 0, 2)));
}

TEST_F(CompareTest, TheOpeningLineFollowsThisComputersListState) {
  ctx.computer = 2;
  list().states[0] = 2;
  struct Case {
    std::uint8_t state;
    std::vector<std::string> opening;
  };
  for (const Case& c :
       {Case{0, {kFirstTime}}, Case{1, {kFirstTime}}, Case{2, {kAgain}}, Case{3, {kAgain}},
        Case{4, {}}, Case{5, {}}, Case{127, {}}, Case{128, {}}, Case{255, {}}}) {
    SCOPED_TRACE(int(c.state));
    list().states[2] = c.state;
    EXPECT_EQ(compare(), 0);
    EXPECT_EQ(log.lines, c.opening + std::vector<std::string>{kSeparator} + summary(0, 0, 0, 0));
  }
}

TEST_F(CompareTest, UnsafeNamesArePassedOverButCounted) {
  add("..\\EVIL.TXT", X, 0);
  list().entries.back().unsafe = true;
  add("C:\\X", 0, X);
  list().entries.back().unsafe = true;
  add("FINE.TXT", X, 0);
  EXPECT_EQ(compare(), 3);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kFirstTime, "+ FINE.TXT", kSeparator} + summary(3, 1, 0, 0)));
}

TEST_F(CompareTest, AStopRequestEndsTheWalkWithTheCountsReached) {
  add_every_kind();
  list().states[0] = 3;
  host.stop_at = 1;  // stopped after the last entry was looked at
  EXPECT_EQ(compare(), 1);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{kAgain, "+ SUB\\", kInterrupted} + summary(1, 1, 0, 0)));

  ctx.stop.request();
  EXPECT_EQ(compare(), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{kAgain, kInterrupted} + summary(0, 0, 0, 0)));
}

}  // namespace
}  // namespace keldar::lists_test

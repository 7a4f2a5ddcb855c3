// The holder rule: whether an entry has to travel and whose version it is.
#include "sync/holder.h"

#include <gtest/gtest.h>

#include "sync_fixture.h"

namespace keldar::sync_test {
namespace {

constexpr std::uint32_t kT0 = kJan15 | kExact;
constexpr std::uint32_t kT1 = (kJan15 + 100) | kExact;
constexpr std::uint32_t kT2 = (kJan15 + 200) | kExact;

class HolderTest : public SyncTest {
 protected:
  void SetUp() override {
    SyncTest::SetUp();
    add_object();
    for (int k = 0; k < kComputers; ++k) set_flags(k, true, true);
    ASSERT_TRUE(ctx.lists.create(1));
    ctx.current_object = 0;
    list().add("f.txt", ctx.lists.names());
  }
  void set_flags(int k, bool accepts, bool sends) {
    ctx.objects.record(0).set_copy_from_carrier(k, accepts);
    ctx.objects.record(0).set_copy_to_carrier(k, sends);
  }
  FileList& list() { return ctx.lists.list(0); }
  ListEntry& f() { return list().entries.front(); }
  // Computer `me` (0..3) with these list states and stamps.
  void set_up(int me, std::array<std::uint8_t, kComputers> states,
              std::array<std::uint32_t, kComputers> stamps, std::uint32_t object_stamp,
              std::uint8_t state = 0) {
    ctx.computer = me;
    list().states = states;
    f().list_stamps = stamps;
    f().object_stamp = object_stamp;
    f().state = state;
  }
  int rule(bool after_applying = false) { return holder_rule(ctx.run(), f(), after_applying); }
};

TEST_F(HolderTest, TwoComputersInStepNeedNothing) {
  set_up(0, {1, 2, 0, 0}, {kT0, kT0, 0, 0}, kT0);
  EXPECT_EQ(rule(), 0);
  EXPECT_EQ(rule(true), 0);
}

TEST_F(HolderTest, ALaterObjectStampCountsOnlyOnceTheListStampFollows) {
  // Changed here, not yet copied: this computer's list stamp is the old one.
  set_up(0, {1, 2, 0, 0}, {kT0, kT0, 0, 0}, kT1);
  EXPECT_EQ(rule(), 0);
  // Action 2 has copied it and taken the new stamp into the list.
  f().list_stamps[0] = kT1;
  EXPECT_EQ(rule(), 1);
}

TEST_F(HolderTest, AComputerThatNeverProcessedTheListNeverCounts) {
  // Not as the holder of an old version...
  set_up(0, {1, 0, 0, 0}, {kT1, kT0, 0, 0}, kT1);
  EXPECT_EQ(rule(), 0);
  list().states[1] = 1;
  EXPECT_EQ(rule(), 1);
  // ...nor as the sender of a newer one.
  set_up(0, {1, 1, 0, 0}, {kT1, kT0, kT2, 0}, kT1);
  EXPECT_EQ(rule(), 1);
  list().states[2] = 2;
  EXPECT_EQ(rule(), 3);
}

TEST_F(HolderTest, ThreeComputersPassOneChange) {
  // Computer 1 changed f and put it on the carrier.
  set_up(0, {3, 3, 3, 0}, {kT1, kT0, kT0, 0}, kT1, 1);
  EXPECT_EQ(rule(), 1);
  // Computer 2 applied it: computer 3 still holds T0, the copy stays, and
  // the rule names computer 1, the entry's own sender.
  set_up(1, {3, 3, 3, 0}, {kT1, kT1, kT0, 0}, kT1, 1);
  EXPECT_EQ(rule(true), 1);
  EXPECT_EQ(rule(), 1);
  // Computer 3 applied it: everybody holds T1.
  set_up(2, {3, 3, 3, 0}, {kT1, kT1, kT1, 0}, kT1, 1);
  EXPECT_EQ(rule(true), 0);
  EXPECT_EQ(rule(), 0);
}

TEST_F(HolderTest, ASenderWithTheSameStampAsTheEntrysOwnSenderGivesWayToIt) {
  // Computers 1 and 3 both hold T1, computers 2 and 4 T0; the copy on the
  // carrier is computer 3's.
  set_up(1, {2, 2, 2, 2}, {kT1, kT0, kT1, kT0}, kT0, 3);
  EXPECT_EQ(rule(), 3);
  // Without a copy in transit the first computer with T1 is the sender.
  f().state = 0;
  EXPECT_EQ(rule(), 1);
}

TEST_F(HolderTest, ADeleteCommandIsNeededWhileAnAcceptingComputerStillHoldsTheFile) {
  const std::uint8_t kDelete = entry_state::kDelete;
  // Computer 2 has deleted the file here; computer 3 still has it.
  set_up(1, {3, 3, 3, 0}, {0, 0, kT0, 0}, 0, kDelete);
  EXPECT_EQ(rule(true), -1);
  // Computer 3 does not accept copies: nobody is left to delete it.
  set_flags(2, false, true);
  EXPECT_EQ(rule(true), 0);
  // In this pass this computer's own old list stamp still counts.
  f().list_stamps[1] = kT0;
  EXPECT_EQ(rule(true), -1);
  // Nobody holds it any more.
  set_flags(2, true, true);
  set_up(1, {3, 3, 3, 0}, {0, 0, 0, 0}, 0, kDelete);
  EXPECT_EQ(rule(true), 0);
}

TEST_F(HolderTest, ANonAcceptingComputerDoesNotHideAnAcceptingOneThatLacksTheFile) {
  // Computer 2 does not accept copies and has no such file; computer 3
  // accepts and lacks it too. Computer 1 holds it.
  set_flags(1, false, true);
  set_up(0, {2, 2, 2, 0}, {kT1, 0, 0, 0}, kT1);
  EXPECT_EQ(rule(), 1);
  // Only the non-accepting one lacks it: nobody needs it.
  set_up(0, {2, 2, 0, 0}, {kT1, kT0, 0, 0}, kT1);
  EXPECT_EQ(rule(), 0);
  // With the force flag every computer accepts.
  ctx.force = true;
  EXPECT_EQ(rule(), 1);
}

TEST_F(HolderTest, WithoutASenderNothingTravels) {
  set_flags(0, true, false);
  set_up(0, {1, 1, 0, 0}, {kT1, kT0, 0, 0}, kT1);
  EXPECT_EQ(rule(), 0);
  ctx.force = true;
  EXPECT_EQ(rule(), 1);
}

}  // namespace
}  // namespace keldar::sync_test

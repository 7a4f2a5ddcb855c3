#include "store/computer_table.h"

#include <gtest/gtest.h>

namespace keldar {
namespace {

TEST(CandidateIdsTest, SequenceOfTheRuntimeGeneratorSeededWithZero) {
  // Draws 38, 7719, 21238, 2437, 8855, 11797: two 15-bit draws per id.
  CandidateIds ids;
  EXPECT_EQ(ids.next(), 0x00261E27u);
  EXPECT_EQ(ids.next(), 0x52F60985u);
  EXPECT_EQ(ids.next(), 0x22972E15u);
  CandidateIds again;
  EXPECT_EQ(again.next(), 0x00261E27u) << "every start gives the same sequence";
}

TEST(CandidateIdsTest, NewIdSkipsIdsTakenBeforeTheFirstFreeSlot) {
  ComputerTable table;
  EXPECT_EQ(new_computer_id(table), 0x00261E27u);
  table.set(0, 0x00261E27u, "Ann");
  EXPECT_EQ(new_computer_id(table), 0x52F60985u);
  table.set(1, 0x52F60985u, "Bob");
  EXPECT_EQ(new_computer_id(table), 0x22972E15u);
  // Ids after the first free slot are not looked at.
  ComputerTable gap;
  gap.set(1, 0x00261E27u, "late");
  EXPECT_EQ(new_computer_id(gap), 0x00261E27u);
}

TEST(ComputerTableTest, FindSlotStopsAtTheIdOrTheFirstFreeSlot) {
  ComputerTable table;
  EXPECT_EQ(table.find_slot(7), 0);
  table.set(0, 5, "a");
  table.set(1, 7, "b");
  EXPECT_EQ(table.find_slot(7), 1);
  EXPECT_EQ(table.find_slot(9), 2);
  table.set(2, 8, "c");
  table.set(3, 6, "d");
  EXPECT_EQ(table.find_slot(9), -1);
  EXPECT_EQ(table.find_slot(6), 3);
}

}  // namespace
}  // namespace keldar

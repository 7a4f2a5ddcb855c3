#include "platform/posix/posix_clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace keldar {
namespace {

// Central European rules: UTC+1, summer time UTC+2 from the last Sunday of
// March 02:00 to the last Sunday of October 03:00.
class SystemClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

  std::optional<std::string> saved_;
  SystemClock clock_;
};

TEST_F(SystemClockTest, SummerAndWinterMomentsCarryTheDaylightFlag) {
  const std::int64_t summer = 1625140800;  // 2021-07-01 12:00:00 UTC
  LocalTime local = clock_.to_local(summer);
  EXPECT_EQ(local.year, 2021);
  EXPECT_EQ(local.month, 7);
  EXPECT_EQ(local.day, 1);
  EXPECT_EQ(local.hour, 14);
  EXPECT_EQ(local.minute, 0);
  EXPECT_EQ(local.is_dst, 1);
  EXPECT_EQ(clock_.from_local(local), summer);

  const std::int64_t winter = 1610712030;  // 2021-01-15 12:00:30 UTC
  local = clock_.to_local(winter);
  EXPECT_EQ(local.month, 1);
  EXPECT_EQ(local.hour, 13);
  EXPECT_EQ(local.second, 30);
  EXPECT_EQ(local.is_dst, 0);
  EXPECT_EQ(clock_.from_local(local), winter);
  local.is_dst = -1;  // the rules decide
  EXPECT_EQ(clock_.from_local(local), winter);
}

TEST_F(SystemClockTest, TheDaylightFlagChoosesTheHourThatOccursTwice) {
  // 2021-10-31 02:30 local happens first in summer time, then in winter time.
  LocalTime twice;
  twice.year = 2021;
  twice.month = 10;
  twice.day = 31;
  twice.hour = 2;
  twice.minute = 30;
  twice.is_dst = 1;
  const std::int64_t first = clock_.from_local(twice);
  EXPECT_EQ(first, 1635640200);  // 00:30 UTC
  twice.is_dst = 0;
  EXPECT_EQ(clock_.from_local(twice), first + 3600);
  EXPECT_EQ(clock_.to_local(first + 3600).is_dst, 0);
}

// Local fields of a moment without the daylight flag, for comparing.
std::string wall_clock(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

TEST_F(SystemClockTest, EveryMomentOfTwoYearsComesBackFromItsLocalTime) {
  // Conversion after conversion, as a scan makes them, across four changes
  // of the offset; the step is not a whole hour, so every minute and second
  // comes up.
  for (std::int64_t m = 1577836800; m < 1640995200; m += 3599) {  // 2020-01-01 .. 2022-01-01
    LocalTime local = clock_.to_local(m);
    ASSERT_EQ(clock_.from_local(local), m) << wall_clock(local) << " with its daylight flag";
    // The local time of the hour after a change to winter time occurs
    // twice: the rules cannot tell which moment it means.
    const bool twice = wall_clock(clock_.to_local(m - 3600)) == wall_clock(local) ||
                       wall_clock(clock_.to_local(m + 3600)) == wall_clock(local);
    local.is_dst = -1;
    const std::int64_t found = clock_.from_local(local);
    if (twice) {
      EXPECT_EQ(wall_clock(clock_.to_local(found)), wall_clock(local));
    } else {
      ASSERT_EQ(found, m) << wall_clock(local) << ", the rules deciding";
    }
  }
}

TEST_F(SystemClockTest, AChangedTzCountsAtTheNextConversion) {
  LocalTime local;
  local.year = 2021;
  local.month = 7;
  local.day = 1;
  local.hour = 14;
  EXPECT_EQ(clock_.from_local(local), 1625140800);  // 12:00 UTC in Central Europe
  EXPECT_EQ(clock_.from_local(local), 1625140800);
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);      // no tzset: mktime reads TZ itself
  EXPECT_EQ(clock_.from_local(local), 1625162400);  // 18:00 UTC in New York
  EXPECT_EQ(clock_.to_local(1625162400).hour, 14);
}

TEST_F(SystemClockTest, FieldsOutOfRangeCountOnAsMktimeCountsThem) {
  LocalTime local;
  local.year = 2021;
  local.month = 13;  // January of the next year
  local.day = 15;
  local.hour = 12;
  EXPECT_EQ(clock_.from_local(local), 1642244400);  // 2022-01-15 11:00 UTC
  local.month = 4;
  local.day = 31;                                   // May 1
  EXPECT_EQ(clock_.from_local(local), 1619863200);  // 2021-05-01 10:00 UTC
  local.day = 30;
  local.second = 60;                                // the next minute
  EXPECT_EQ(clock_.from_local(local), 1619776860);  // 2021-04-30 10:01 UTC
}

TEST_F(SystemClockTest, NowIsTheSystemTimeInSeconds) {
  std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  std::int64_t now = clock_.now();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 5);
}

}  // namespace
}  // namespace keldar

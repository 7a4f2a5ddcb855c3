#include "platform/posix/posix_clock.h"

#include <gtest/gtest.h>

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

TEST_F(SystemClockTest, NowIsTheSystemTimeInSeconds) {
  std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  std::int64_t now = clock_.now();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 5);
}

}  // namespace
}  // namespace keldar

#include "platform/fake/fixed_clock.h"

#include <gtest/gtest.h>

#include "fakes/environment.h"

namespace keldar {
namespace {

using test::ScopedTimeZone;

TEST(FixedClock, FollowsTheDaylightRulesOfTz) {
  FixedClock clock;
  {
    ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    LocalTime summer = clock.to_local(1625140800);  // 2021-07-01 12:00:00 UTC
    EXPECT_EQ(summer.hour, 14);
    EXPECT_EQ(summer.is_dst, 1);
    LocalTime winter = clock.to_local(1610712000);  // 2021-01-15 12:00:00 UTC
    EXPECT_EQ(winter.hour, 13);
    EXPECT_EQ(winter.day, 15);
    EXPECT_EQ(winter.is_dst, 0);
    summer.is_dst = -1;
    EXPECT_EQ(clock.from_local(summer), 1625140800);
  }
  // A later change of TZ is seen at once.
  test::ScopedEnv utc("TZ", "UTC0");  // TZ changed without asking the C library to read it
  EXPECT_EQ(clock.to_local(1625140800).hour, 12);
}

}  // namespace
}  // namespace keldar

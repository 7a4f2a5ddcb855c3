#include "platform/fake/fixed_clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace keldar {
namespace {

// Sets TZ for one test and puts the old value back.
class ScopedTz {
 public:
  explicit ScopedTz(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", tz, 1);
  }
  ~ScopedTz() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(FixedClock, FollowsTheDaylightRulesOfTz) {
  FixedClock clock;
  {
    ScopedTz tz("CET-1CEST,M3.5.0,M10.5.0/3");
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
  ScopedTz utc("UTC0");
  EXPECT_EQ(clock.to_local(1625140800).hour, 12);
}

}  // namespace
}  // namespace keldar

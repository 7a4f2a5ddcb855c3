#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/operation_log.h"
#include "fakes/environment.h"
#include "fakes/recording_host.h"
#include "lists/stamps.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fixed_clock.h"

namespace keldar {
namespace {

constexpr std::int64_t kSummer = 1593561600;  // 2020-07-01 00:00:00 UTC
constexpr std::int64_t kWinter = 1578268800;  // 2020-01-06 00:00:00 UTC

class TimestampTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone tz_{"CET-1CEST,M3.5.0,M10.5.0/3"};
  FixedClock clock{kWinter};
};

TEST_F(TimestampTest, ZeroIsThreeDashesAndLeavesTheDaylightFlag) {
  bool daylight = true;
  EXPECT_EQ(timestamp_text(0, clock, daylight), "---");
  EXPECT_TRUE(daylight);
}

TEST_F(TimestampTest, MarkerBitsArePrintedNotCounted) {
  test::ScopedTimeZone utc("UTC0");
  bool daylight = true;
  EXPECT_EQ(timestamp_text(1, clock, daylight), "01.01.1970 00:00:00 d");
  EXPECT_FALSE(daylight) << "no daylight saving time in UTC";
  std::string marked = timestamp_text(0x80000000u | 1000000000u, clock, daylight);
  EXPECT_EQ(marked, "09.09.2001 01:46:40n ");
  EXPECT_EQ(marked.size(), 21u);
  EXPECT_EQ(timestamp_text(1000000001u, clock, daylight), "09.09.2001 01:46:40 d")
      << "bit 0 does not move the printed second";
}

TEST_F(TimestampTest, LocalTimeAndDaylightFlagFollowTheRulesOfNow) {
  bool daylight = true;
  EXPECT_EQ(timestamp_text(static_cast<std::uint32_t>(kSummer), clock, daylight),
            "01.07.2020 02:00:00  ");
  EXPECT_FALSE(daylight) << "the flag describes now (winter), not the printed time";
  clock.set_now(kSummer);
  EXPECT_EQ(timestamp_text(static_cast<std::uint32_t>(kWinter), clock, daylight),
            "06.01.2020 01:00:00  ");
  EXPECT_TRUE(daylight);
}

TEST_F(TimestampTest, BannerTimeCarriesTheDaylightBit) {
  clock.set_now(kSummer + 1);  // odd: bit 0 of the moment is dropped
  EXPECT_EQ(banner_time(clock, true), static_cast<std::uint32_t>(kSummer) | 1u);
  EXPECT_EQ(banner_time(clock, false), static_cast<std::uint32_t>(kSummer));

  FakeFileSystem fs;
  RecordingHost host;
  OperationLog log(fs, host, clock);
  EXPECT_EQ(log.banner_time(), static_cast<std::uint32_t>(kSummer) | 1u)
      << "the log brings the flag up to date before building the banner time";
  EXPECT_TRUE(log.daylight());
  EXPECT_EQ(log.timestamp(log.banner_time()), "01.07.2020 02:00:00 d");
}

TEST(OperationLogTest, LinesReachTheHostWhenNoFileCanBeOpened) {
  FakeFileSystem fs;
  fs.add_volume("C:\\");
  FixedClock clock;
  RecordingHost host;
  OperationLog log(fs, host, clock);
  EXPECT_EQ(log.open("C:\\MISSING\\KELDAR.LOG", std::nullopt), err::kPathNotFound);
  EXPECT_FALSE(log.file_open());
  log.line("one");
  EXPECT_EQ(host.lines, std::vector<std::string>{"one"});
  EXPECT_EQ(log.close(), err::kPathNotFound);
  EXPECT_FALSE(fs.exists("C:\\MISSING\\KELDAR.LOG"));
}

TEST(OperationLogTest, WriteErrorIsReportedAtClose) {
  FakeFileSystem fs;
  fs.add_volume("C:\\", true, 1, 4096, 4096);
  FixedClock clock;
  RecordingHost host;
  OperationLog log(fs, host, clock);
  ASSERT_EQ(log.open("C:\\KELDAR.LOG", std::nullopt), err::kOk);
  log.line(std::string(3000, 'a'));
  log.line(std::string(3000, 'b'));  // does not fit
  EXPECT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(log.close(), err::kDiskFull);
  EXPECT_EQ(fs.contents("C:\\KELDAR.LOG"), std::string(3000, 'a') + "\r\n");
}

TEST(OperationLogTest, WorkingLogPath) {
  EXPECT_EQ(working_log_path("/tmp", '/'), "/tmp/KELDAR.LOG");
  EXPECT_EQ(working_log_path("/tmp/", '/'), "/tmp/KELDAR.LOG");
  EXPECT_EQ(working_log_path("C:\\TEMP", '\\'), "C:\\TEMP\\KELDAR.LOG");
}

}  // namespace
}  // namespace keldar

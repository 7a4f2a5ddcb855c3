// The Windows system, clock and error texts.
#ifdef _WIN32
#include "platform/win32/win32_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "disks.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_errors.h"

namespace keldar::test {
namespace {

// One process at a time holds a carrier, whatever the case of its path;
// a mark let go stands in no one's way.
TEST(Win32SystemTest, OneProcessAtATimeHoldsACarrier) {
  Win32System first, second;
  EXPECT_TRUE(first.hold_carrier("C:\\Keldar-Carrier-Test\\"));
  EXPECT_FALSE(second.hold_carrier("c:\\KELDAR-CARRIER-TEST"));
  EXPECT_TRUE(second.hold_carrier("C:\\Keldar-Carrier-Other"));
  first.release_carrier();
  EXPECT_TRUE(second.hold_carrier("C:\\Keldar-Carrier-Test"));
}

// KELDAR.ID goes in the drive root when it is there or the root takes new
// files; otherwise in the fallback folder, which is made.
TEST(Win32SystemTest, TheIdentificationFileFallsBackWhereTheRootTakesNoFiles) {
  Win32Disk disk;
  ASSERT_FALSE(disk.root().empty());
  const std::wstring root = Win32Disk::wide(disk.root()) + L"\\";
  const std::wstring fallback = root + L"local\\keldar\\C";

  EXPECT_EQ(win32::choose_identification_file(root, fallback), disk.root() + "\\KELDAR.ID");
  std::vector<DirItem> items;
  ASSERT_EQ(disk.fs().search(disk.root(), "*", items), 0);
  EXPECT_TRUE(items.empty()) << "the trial file is removed, no folder made";

  const std::wstring missing = root + L"no drive\\";
  EXPECT_EQ(win32::choose_identification_file(missing, fallback),
            disk.root() + "\\local\\keldar\\C\\KELDAR.ID");
  ItemKind kind;
  ASSERT_EQ(disk.fs().item_kind(disk.root() + "\\local\\keldar\\C", kind), 0);
  EXPECT_EQ(kind, ItemKind::kFolder);

  // An existing file in the root always wins, writable or not.
  ASSERT_EQ(disk.fs().create_folder(disk.root() + "\\old"), 0);
  ASSERT_EQ(disk.fs().write_file(disk.root() + "\\old\\KELDAR.ID", "1234"), 0);
  disk.set_read_only(disk.root() + "\\old\\KELDAR.ID");
  EXPECT_EQ(win32::choose_identification_file(root + L"old\\", fallback),
            disk.root() + "\\old\\KELDAR.ID");
}

TEST(Win32SystemTest, EnvironmentAndCurrentDirectoryAsWindows1251) {
  Win32System system;
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KELDAR_TEST", L"\x041F\x0430\x043F\x043A\x0430"));
  EXPECT_EQ(system.environment("KELDAR_TEST"), cp1251("Папка"));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KELDAR_TEST", L"\x4E2D"));
  EXPECT_EQ(system.environment("KELDAR_TEST"), std::nullopt) << "cannot be carried";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KELDAR_TEST", L""));
  EXPECT_EQ(system.environment("KELDAR_TEST"), "");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KELDAR_TEST", nullptr));
  EXPECT_EQ(system.environment("KELDAR_TEST"), std::nullopt);

  auto cwd = system.current_directory();
  ASSERT_TRUE(cwd.has_value());
  EXPECT_TRUE(cwd->size() == 3 || cwd->back() != '\\') << *cwd;
}

TEST(Win32SystemTest, ErrorTextsComeFromTheSystemWhenInstalled) {
  const std::string text = system_error_text(err::kAccessDenied);
  ASSERT_GT(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(system_error_text(987654), "") << "no such code";

  const std::string built_in = error_text(err::kAccessDenied);
  set_error_text_source(system_error_text);
  EXPECT_EQ(error_text(err::kAccessDenied), text);
  EXPECT_EQ(error_line(987654), cp1251("Системная ошибка 987654.")) << "the table's fallback";
  set_error_text_source(nullptr);
  EXPECT_EQ(error_text(err::kAccessDenied), built_in);
}

// The C runtime's rules under TZ: the offset and the daylight flag, and
// every moment comes back from its local time.
TEST(Win32SystemTest, LocalTimesFollowTheRuntimesRules) {
  ASSERT_EQ(::_putenv("TZ=CET-1CEST"), 0);
  ::_tzset();
  Win32Clock clock;
  LocalTime summer = clock.to_local(1625140800);  // 2021-07-01 12:00:00 UTC
  EXPECT_EQ(summer.hour, 14);
  EXPECT_EQ(summer.is_dst, 1);
  LocalTime winter = clock.to_local(1610712030);  // 2021-01-15 12:00:30 UTC
  EXPECT_EQ(winter.hour, 13);
  EXPECT_EQ(winter.second, 30);
  EXPECT_EQ(winter.is_dst, 0);
  for (std::int64_t m = 1609459200; m < 1640995200; m += 3599) {  // the year 2021
    LocalTime local = clock.to_local(m);
    ASSERT_EQ(clock.from_local(local), m) << local.month << "-" << local.day << " " << local.hour;
  }
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_LE(before, clock.now());
  EXPECT_LE(clock.now(), before + 5);
  ::_putenv("TZ=UTC0");
  ::_tzset();
}

}  // namespace
}  // namespace keldar::test
#endif

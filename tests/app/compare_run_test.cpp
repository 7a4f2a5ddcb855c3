// Compare over all objects, from a carrier prepared by hand: the list file
// says what this computer synchronised before and what other computers left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "app/startup.h"
#include "app/worker.h"
#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "format/bytes.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"

namespace keldar {
namespace {

std::string u(std::string_view utf8) { return cp1251(utf8); }

// Files are written at the fake's "now", 2021-01-01 00:00:00 UTC; on an
// exact-time volume their stamp is that moment with the exact-time marker.
constexpr std::uint32_t kStamp = 1609459200u | 0x80000000u;

std::string record(std::uint32_t stamp0, std::uint8_t state, std::string_view name) {
  std::string r;
  append_u32(r, stamp0);
  for (int k = 1; k < 4; ++k) append_u32(r, 0);
  append_u16(r, static_cast<std::uint16_t>(name.size()));
  r += static_cast<char>(state);
  r += name;
  return r;
}

class CompareRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.make_folders("C:\\CARRIER");
    system.set_current_directory("C:\\CARRIER");
    // This computer is Ann, in slot 0.
    std::string comps(80, '\0');
    comps.replace(0, 7,
                  std::string("\x27\x1E\x26\x00"
                              "Ann",
                              7));
    fs.write("C:\\CARRIER\\COMPS.QRV", comps);
    fs.write("C:\\KELDAR.ID", std::string("\x27\x1E\x26\x00", 4));

    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    r.set_allow_nested(true);
    EXPECT_TRUE(r.set_path(0, "D:\\WORK\\*.*"));
    EXPECT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    fs.write("C:\\CARRIER\\SYNCOBJ.QRV", objects.encode());

    MaskTable masks;
    masks.record(0) = MaskRecord{};
    EXPECT_TRUE(masks.record(0).set_pattern("*.txt"));
    masks.record(0).set_allow_copy(true);
    masks.record(0).set_allow_delete(true);
    EXPECT_TRUE(masks.insert_template_at(0));
    fs.write("C:\\CARRIER\\MASKS.QRV", masks.encode());

    fs.make_folders("D:\\WORK");
    for (const char* name : {"SAME.TXT", "NEWER.TXT", "OLDER.TXT", "NEW.TXT", "FROMBOB.TXT",
                             "DELME.TXT", "IGNORED.BIN"}) {
      fs.write(std::string("D:\\WORK\\") + name, "data");
    }
    fs.write("C:\\CARRIER\\00001\\FROMBOB.TXT", "Bob's copy");

    std::string list = std::string("\xE5\x03\x00\x00\x00", 5);
    list += record(kStamp, 0, "\\");
    list += record(kStamp, 0, "SAME.TXT");
    list += record(kStamp - 10, 0, "NEWER.TXT");
    list += record(kStamp + 10, 0, "OLDER.TXT");
    list += record(kStamp, 0, "GONE.TXT");
    list += record(kStamp, 2, "FROMBOB.TXT");
    list += record(kStamp, 255, "DELME.TXT");
    fs.write("C:\\CARRIER\\00001.QRN", list);
    list_before = list;
  }

  // Runs Compare and returns the lines from the Compare banner on.
  std::vector<std::string> compare() {
    FixedClock clock;
    RecordingHost host;
    Session session(fs, system, clock, host);
    EXPECT_EQ(start_up(session, 'C'), StartResult::kReady);
    std::size_t first = host.lines.size();
    log_compare_banner(session);
    session.queue.set(op::kCompare);
    RunOutcome outcome = run_all_objects(session);
    EXPECT_FALSE(outcome.failed || outcome.interrupted || outcome.unreachable);
    EXPECT_FALSE(session.queue.running());
    EXPECT_EQ(finish_run(session), 0);
    return {host.lines.begin() + static_cast<long>(first), host.lines.end()};
  }

  FakeFileSystem fs;
  FakeSystem system;
  std::string list_before;
  test::ScopedTimeZone time_zone_{"MSK-3"};
};

TEST_F(CompareRunTest, MarkersAndSummaryOfEveryKindOfDifference) {
  std::vector<std::string> lines = compare();
  const std::vector<std::string> expected = {
      u("01.01.2021 03:00:00  =|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=|=| СРАВНИТЬ"),
      u("Заполнение локальных списков файлов..."),
      "7+2       ->D:\\WORK\\*.*",
      std::string(76, '-'),
      u("Сравнение объектов со списками файлов"),
      std::string(76, '_'),
      u("Сравнение объекта: D:\\WORK\\*.*"),
      u("Сравнение списка файлов с предыдущей синхронизацией..."),
      "+ NEW.TXT",
      "X DELME.TXT",
      "2 FROMBOB.TXT",
      "x GONE.TXT",
      "< OLDER.TXT",
      "> NEWER.TXT",
      "0 \\",  // the carrier folder exists, and no computer recorded putting it there
      std::string(76, '-'),
      u("Объект просмотрен, всего файлов 9, добавлено 1,"),
      u("изменено 2, удалено 1"),
      "    9->C:\\CARRIER\\00001.QRN",
      std::string(76, '#'),
      u("Завершение") + "(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)(x)" + "01.01.2021 03:00:00  ",
      std::string(95, '='),
  };
  EXPECT_EQ(lines, expected);
  // The scan found two new names, so the list is written with them (this
  // computer's state is past 0, so their list stamps stay 0).
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00001.QRN"),
            list_before + record(0, 0, "NEW.TXT") + record(0, 0, "IGNORED.BIN"));

  // A second Compare finds the same differences and writes nothing.
  lines = compare();
  EXPECT_EQ(lines[2], "9         ->D:\\WORK\\*.*");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "    9->C:\\CARRIER\\00001.QRN"), 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "+ NEW.TXT"), 1);
}

}  // namespace
}  // namespace keldar

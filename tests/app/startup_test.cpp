#include "app/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"

namespace keldar {
namespace {

std::string u(std::string_view utf8) { return cp1251(utf8); }

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// 2021-01-01 00:00:00 UTC is 03:00:00 in Moscow (no daylight saving time).
const std::string kStartBanner = u("Запуск ") + repeat("<+>", 16) + "01.01.2021 03:00:00  ";
const std::string kEndBanner = u("Завершение") + repeat("(x)", 15) + "01.01.2021 03:00:00  ";

// One simulated computer: its own identification file, the shared carrier.
struct Computer {
  explicit Computer(FileSystem& fs, std::string id_file = "C:\\KELDAR.ID",
                    std::string carrier = "C:\\CARRIER")
      : session(fs, system, clock, host) {
    system.set_current_directory(carrier);
    system.set_identification_file('C', id_file);
  }
  StartResult start(std::string name = "Ann") {
    host.answer_with(std::move(name));
    return start_up(session, 'C');
  }
  FakeSystem system;
  FixedClock clock;
  RecordingHost host;
  Session session;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.add_volume("E:\\");
    fs.make_folders("C:\\CARRIER");
  }
  FakeFileSystem fs;
  FaultyFileSystem faults{fs};
  test::ScopedTimeZone time_zone_{"MSK-3"};
};

std::string as_file(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

TEST_F(StartupTest, FirstStartOnAFreshCarrier) {
  Computer pc(fs);
  ASSERT_EQ(pc.start("Ann"), StartResult::kReady);
  ASSERT_EQ(finish_run(pc.session), err::kOk);

  const std::vector<std::string> expected = {
      kStartBanner,
      u("Загрузка таблицы компьютеров из COMPS.QRV"),
      u("файл COMPS.QRV отсутствует, создаем пустой"),
      u("Идентификация компьютера по файлу C:\\KELDAR.ID"),
      u("Файл C:\\KELDAR.ID отсутствует, компьютер не использовался для синхронизации"),
      u("Файл C:\\KELDAR.ID создан"),
      u("Добавлен идентификатор компьютера: Ann"),
      u("Файл списка масок MASKS.QRV создан"),
      u("Файл объектов синхронизации SYNCOBJ.QRV создан"),
      std::string(76, '#'),
      kEndBanner,
      std::string(95, '='),
  };
  EXPECT_EQ(pc.host.lines, expected);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\KELDAR.LOG"), as_file(expected));
  EXPECT_EQ(pc.host.prompts,
            std::vector<std::string>{u("Новый компьютер для синхронизации, введите имя:")});
  EXPECT_EQ(pc.host.status, "1=>Ann");
  EXPECT_EQ(pc.session.computer, 0);

  std::string comps(80, '\0');
  comps.replace(0, 7,
                std::string("\x27\x1E\x26\x00"
                            "Ann",
                            7));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), comps);
  EXPECT_EQ(fs.contents("C:\\KELDAR.ID"), std::string("\x27\x1E\x26\x00", 4));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\MASKS.QRV"), std::string(2, '\0'));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\SYNCOBJ.QRV"), std::string("\xE5\x00\x00\x01\x00", 5));
  EXPECT_FALSE(pc.session.failures.config_file || pc.session.failures.log_file ||
               pc.session.failures.unidentified);
}

TEST_F(StartupTest, LaterStartsAndOtherComputersShareTheTable) {
  Computer first(fs);
  ASSERT_EQ(first.start("Ann"), StartResult::kReady);
  ASSERT_EQ(finish_run(first.session), err::kOk);

  Computer again(fs);
  ASSERT_EQ(again.start("ignored"), StartResult::kReady);
  EXPECT_TRUE(again.host.prompts.empty());
  EXPECT_EQ(again.host.lines[3], u("Компьютер идентифицирован: Ann"));
  EXPECT_EQ(again.host.lines[4], u("Загружено из файла MASKS.QRV масок имен файлов:  0"));
  EXPECT_EQ(again.host.lines[5], u("Загружено из файла SYNCOBJ.QRV объектов синхронизации:  0"));
  ASSERT_EQ(finish_run(again.session), err::kOk);
  // The log grows across runs.
  std::string log = *fs.contents("C:\\CARRIER\\KELDAR.LOG");
  EXPECT_NE(log.find(u("Компьютер идентифицирован: Ann")), std::string::npos);
  EXPECT_EQ(log.find(kStartBanner), 0u);
  EXPECT_NE(log.rfind(kStartBanner), 0u);

  // A second computer gets the next candidate of the same sequence, slot 1.
  Computer second(fs, "E:\\KELDAR.ID");
  ASSERT_EQ(second.start("Bob"), StartResult::kReady);
  EXPECT_EQ(second.session.computer, 1);
  EXPECT_EQ(second.host.status, "2=>Bob");
  EXPECT_EQ(fs.contents("E:\\KELDAR.ID"), std::string("\x85\x09\xF6\x52", 4));
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV")->substr(20, 8), std::string("\x85\x09\xF6\x52"
                                                                              "Bob\0",
                                                                              8));
}

TEST_F(StartupTest, ComputersOnSeparateCarriersGetTheSameId) {
  fs.make_folders("E:\\CARRIER2");
  Computer a(fs, "C:\\KELDAR.ID", "C:\\CARRIER");
  Computer b(fs, "E:\\KELDAR.ID", "E:\\CARRIER2");
  ASSERT_EQ(a.start("A"), StartResult::kReady);
  ASSERT_EQ(b.start("B"), StartResult::kReady);
  EXPECT_EQ(fs.contents("C:\\KELDAR.ID"), fs.contents("E:\\KELDAR.ID"));
}

TEST_F(StartupTest, LongNameKeepsFifteenCharacters) {
  Computer pc(fs);
  ASSERT_EQ(pc.start(u("Бухгалтерия-отдел-2")), StartResult::kReady);
  EXPECT_EQ(pc.session.computers.name(0), u("Бухгалтерия-отд"));
  EXPECT_EQ(pc.host.status, "1=>" + u("Бухгалтерия-отд"));
  // The log names the computer as it is stored.
  EXPECT_NE(std::find(pc.host.lines.begin(), pc.host.lines.end(),
                      u("Добавлен идентификатор компьютера: Бухгалтерия-отд")),
            pc.host.lines.end());
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV")->substr(4, 16), u("Бухгалтерия-отд") + '\0');
}

TEST_F(StartupTest, NoNameLeavesTheComputerUnidentifiedAndAsksAgainNextTime) {
  Computer pc(fs);
  pc.host.cancel_prompts();
  ASSERT_EQ(start_up(pc.session, 'C'), StartResult::kReady);
  EXPECT_EQ(pc.session.computer, -1);
  EXPECT_TRUE(pc.session.failures.unidentified);
  EXPECT_EQ(pc.host.status, "");
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), std::string(80, '\0'));
  // Operations that need this computer are refused with one line.
  std::size_t before = pc.host.lines.size();
  EXPECT_FALSE(pc.session.require_computer(u("синхронизация")));
  ASSERT_EQ(pc.host.lines.size(), before + 1);
  EXPECT_NE(pc.host.lines.back().find(u("не идентифицирован")), std::string::npos);

  Computer next(fs);
  ASSERT_EQ(next.start("Ann"), StartResult::kReady);
  EXPECT_EQ(next.host.prompts.size(), 1u);
  EXPECT_EQ(next.session.computer, 0);
  EXPECT_TRUE(next.session.require_computer(u("синхронизация")));
}

TEST_F(StartupTest, FifthComputerIsTurnedAway) {
  const char* names[] = {"A", "B", "C", "D"};
  for (int i = 0; i < 4; ++i) {
    Computer pc(fs, "E:\\ID" + std::to_string(i));
    ASSERT_EQ(pc.start(names[i]), StartResult::kReady);
    ASSERT_EQ(pc.session.computer, i);
  }
  const std::string before = *fs.contents("C:\\CARRIER\\COMPS.QRV");
  Computer fifth(fs, "E:\\ID5");
  EXPECT_EQ(fifth.start("E"), StartResult::kFifthComputer);
  EXPECT_EQ(fifth.host.lines.back(), u("Новый компьютер, но максимум достигнут"));
  EXPECT_EQ(fifth.host.messages,
            std::vector<std::string>{u("Новый компьютер, но максимум достигнут")});
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), before);
}

TEST_F(StartupTest, IdentificationFileThatCannotBeCreatedEndsTheProgram) {
  Computer pc(fs, "E:\\NOFOLDER\\KELDAR.ID");
  EXPECT_EQ(pc.start(), StartResult::kIdFileFailed);
  EXPECT_EQ(pc.host.lines.back(),
            u("Ошибка создания файла E:\\NOFOLDER\\KELDAR.ID, программа завершена"));
  EXPECT_EQ(pc.host.messages, std::vector<std::string>{u("Ошибка создания файла идентификации")});
  EXPECT_TRUE(pc.host.prompts.empty());
}

TEST_F(StartupTest, DamagedIdentificationFileIsKeptAndNotTrusted) {
  fs.write("C:\\KELDAR.ID", "\x01\x02");
  Computer pc(fs);
  ASSERT_EQ(pc.start(), StartResult::kReady);
  EXPECT_EQ(pc.session.computer, -1);
  EXPECT_TRUE(pc.session.failures.unidentified);
  EXPECT_TRUE(pc.host.prompts.empty());
  EXPECT_EQ(fs.contents("C:\\KELDAR.ID"), "\x01\x02");
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), std::string(80, '\0'));
}

TEST_F(StartupTest, UnreadableComputerTableIsNeitherTrustedNorOverwritten) {
  fs.write("C:\\CARRIER\\COMPS.QRV", "old table");
  faults.fail_path("COMPS.QRV", err::kAccessDenied);
  Computer pc(faults);
  ASSERT_EQ(pc.start(), StartResult::kReady);
  EXPECT_EQ(pc.host.lines[2], u("Ошибка чтения из файла COMPS.QRV: Отказано в доступе."));
  EXPECT_EQ(pc.session.computer, -1);
  EXPECT_TRUE(pc.session.failures.config_file);
  EXPECT_TRUE(pc.host.prompts.empty());
  faults.clear_failures();
  EXPECT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), "old table");
}

// COMPS.QRV of any length but 80 is reported; a computer whose record it
// holds whole is still known, but no new one is registered on it (the free
// slot could be a lost computer's), and nothing is written: neither the
// table nor the new computer's identification file.
TEST_F(StartupTest, ComputerTableOfAnyOtherSizeGetsNoNewComputer) {
  Computer ann(fs);
  ASSERT_EQ(ann.start("Ann"), StartResult::kReady);
  Computer bob(fs, "E:\\KELDAR.ID");
  ASSERT_EQ(bob.start("Bob"), StartResult::kReady);
  const std::string table = *fs.contents("C:\\CARRIER\\COMPS.QRV");
  for (std::size_t len = 0; len <= table.size() + 1; ++len) {
    if (len == table.size()) continue;
    const std::string data = len < table.size() ? table.substr(0, len) : table + 'x';
    fs.write("C:\\CARRIER\\COMPS.QRV", data);
    Computer known(fs);
    ASSERT_EQ(known.start("Ann"), StartResult::kReady);
    if (len >= 20) {
      EXPECT_EQ(known.session.computer, 0) << "length " << len;
    }
    Computer newcomer(fs, "E:\\NEW.ID");
    ASSERT_EQ(newcomer.start("Cid"), StartResult::kReady);
    const auto& lines = newcomer.host.lines;
    ASSERT_EQ(std::count(lines.begin(), lines.end(), u("Файл COMPS.QRV поврежден")), 1)
        << "length " << len;
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  u("Таблица компьютеров повреждена, компьютер не добавлен и не идентифицирован")),
        lines.end());
    EXPECT_EQ(newcomer.session.computer, -1);
    EXPECT_TRUE(newcomer.session.failures.config_file);
    EXPECT_TRUE(newcomer.host.prompts.empty());
    EXPECT_FALSE(fs.exists("E:\\NEW.ID")) << "length " << len;
    ASSERT_EQ(fs.contents("C:\\CARRIER\\COMPS.QRV"), data) << "length " << len;
  }
}

TEST_F(StartupTest, CarrierThatFailsEveryCallIsReportedLineByLine) {
  faults.fail_path("C:\\CARRIER\\", err::kWriteProtect);
  Computer pc(faults);
  ASSERT_EQ(pc.start("Ann"), StartResult::kReady);
  const auto& lines = pc.host.lines;
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], kStartBanner);
  EXPECT_EQ(
      lines[1],
      u("Ошибка открытия файла журнала C:\\CARRIER\\KELDAR.LOG: Носитель защищен от записи."));
  EXPECT_EQ(lines[3], u("Ошибка чтения из файла COMPS.QRV: Носитель защищен от записи."));
  EXPECT_EQ(lines[lines.size() - 3], u("Ошибка чтения из файла MASKS.QRV"));
  EXPECT_EQ(lines[lines.size() - 2], u("Ошибка чтения из файла SYNCOBJ.QRV"));
  EXPECT_TRUE(pc.session.failures.log_file);
  EXPECT_TRUE(pc.session.failures.config_file);
  finish_run(pc.session);
  faults.clear_failures();
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\KELDAR.LOG"));
}

TEST_F(StartupTest, CarrierWithoutRoomForTablesReportsEachFailure) {
  fs.make_folders("E:\\FULL");
  fs.set_capacity("E:\\", 0);
  Computer pc(fs, "C:\\KELDAR.ID", "E:\\FULL");
  ASSERT_EQ(pc.start("Ann"), StartResult::kReady);
  const auto& lines = pc.host.lines;
  EXPECT_EQ(lines[3], u("Ошибка создания файла COMPS.QRV: Недостаточно места на диске."));
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      u("Ошибка записи файла COMPS.QRV: Недостаточно места на диске.")),
            lines.end());
  EXPECT_EQ(pc.session.computer, 0) << "the table in memory is complete";
  EXPECT_EQ(lines[lines.size() - 3], u("Ошибка создания файла списка масок MASKS.QRV"));
  EXPECT_EQ(lines[lines.size() - 2], u("Ошибка создания файла объектов синхронизации SYNCOBJ.QRV"));
  EXPECT_TRUE(pc.session.failures.config_file);
  EXPECT_NE(finish_run(pc.session), err::kOk) << "the log could not be written either";
  EXPECT_TRUE(pc.session.failures.log_file);
}

TEST_F(StartupTest, CarrierAtADriveRootHasNoSecondSeparator) {
  Computer pc(fs, "C:\\KELDAR.ID", "E:\\");
  ASSERT_EQ(pc.start(), StartResult::kReady);
  EXPECT_EQ(pc.session.carrier.folder, "E:\\");
  EXPECT_TRUE(fs.exists("E:\\COMPS.QRV"));
  EXPECT_TRUE(fs.exists("E:\\KELDAR.LOG"));
}

TEST_F(StartupTest, CurrentDirectoryThatCannotBeHadEndsTheProgram) {
  Computer pc(fs);
  pc.system.set_current_directory(std::nullopt);
  EXPECT_EQ(pc.start(), StartResult::kNoCarrier);
  EXPECT_EQ(pc.host.messages.size(), 1u);
}

TEST_F(StartupTest, WorkingLogInTempIsMovedBackAtTheEnd) {
  fs.make_folders("E:\\TEMP");
  fs.write("C:\\CARRIER\\KELDAR.LOG", "old line\r\n");
  Computer pc(fs);
  pc.system.set_environment("TEMP", "E:\\TEMP");
  ASSERT_EQ(pc.start(), StartResult::kReady);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\KELDAR.LOG"), "old line\r\n")
      << "kept log untouched while running";
  EXPECT_EQ(fs.contents("E:\\TEMP\\KELDAR.LOG")->substr(0, 10), "old line\r\n");
  ASSERT_EQ(finish_run(pc.session), err::kOk);
  EXPECT_FALSE(fs.exists("E:\\TEMP\\KELDAR.LOG"));
  EXPECT_EQ(*fs.contents("C:\\CARRIER\\KELDAR.LOG"), "old line\r\n" + as_file(pc.host.lines));
}

TEST_F(StartupTest, WorkingLogStartsEmptyWithoutAKeptLog) {
  fs.make_folders("E:\\TEMP");
  fs.write("E:\\TEMP\\KELDAR.LOG", "left from a crash\r\n");
  Computer pc(fs);
  pc.system.set_environment("TEMP", "E:\\TEMP\\");
  ASSERT_EQ(pc.start(), StartResult::kReady);
  ASSERT_EQ(finish_run(pc.session), err::kOk);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\KELDAR.LOG"), as_file(pc.host.lines));
}

TEST_F(StartupTest, FailedMoveBackKeepsBothLogs) {
  fs.make_folders("E:\\TEMP");
  fs.write("C:\\CARRIER\\KELDAR.LOG", "history\r\n");
  Computer pc(faults);
  pc.system.set_environment("TEMP", "E:\\TEMP");
  ASSERT_EQ(pc.start(), StartResult::kReady);
  faults.fail_path("C:\\CARRIER\\KELDAR.LOG", err::kWriteProtect);
  EXPECT_EQ(finish_run(pc.session), err::kWriteProtect);
  EXPECT_TRUE(pc.session.failures.log_file);
  faults.clear_failures();
  EXPECT_EQ(fs.contents("C:\\CARRIER\\KELDAR.LOG"), "history\r\n");
  EXPECT_EQ(fs.contents("E:\\TEMP\\KELDAR.LOG"), "history\r\n" + as_file(pc.host.lines));
}

TEST(IdentificationDriveTest, FirstCharacterOfTheArguments) {
  EXPECT_EQ(identification_drive(""), 'C');
  EXPECT_EQ(identification_drive("1"), 'D');
  EXPECT_EQ(identification_drive("2 --batch"), 'E');
  EXPECT_EQ(identification_drive("   3"), 'F');
  EXPECT_EQ(identification_drive("4"), 'C');
  EXPECT_EQ(identification_drive("--batch 2"), 'C');
  EXPECT_EQ(identification_drive("21"), 'E');
}

}  // namespace
}  // namespace keldar

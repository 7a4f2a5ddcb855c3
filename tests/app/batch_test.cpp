#include "app/batch.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/hooked_host.h"
#include "fakes/computers.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

TEST(ParseOptionsTest, AcceptedForms) {
  Options o = parse_options({"2", "--batch", "--name", "Анна"});
  EXPECT_TRUE(o.error.empty());
  EXPECT_TRUE(o.batch);
  EXPECT_EQ(o.name, cp1251("Анна"));
  EXPECT_EQ(o.argument_text[0], '2');

  o = parse_options({"--batch", "--name=Bob"});
  EXPECT_EQ(o.name, "Bob");
  EXPECT_EQ(o.argument_text, "--batch --name=Bob");
  EXPECT_TRUE(parse_options({"--help"}).help);
  EXPECT_TRUE(parse_options({"--version"}).version);
  EXPECT_FALSE(parse_options({"--batch"}).version);
  EXPECT_FALSE(parse_options({"--batch"}).name.has_value());
  EXPECT_EQ(parse_options({"--batch", "--name="}).name, "");
  EXPECT_TRUE(parse_options({"--verify"}).verify);
  EXPECT_FALSE(parse_options({"--verify"}).window());
}

TEST(ParseOptionsTest, RefusedForms) {
  EXPECT_FALSE(parse_options({"--batch", "--name"}).error.empty());
  EXPECT_FALSE(parse_options({"--batch", "--frobnicate"}).error.empty());
  EXPECT_FALSE(parse_options({"--batch", "2"}).error.empty()) << "the drive comes first";
  EXPECT_FALSE(parse_options({"--batch", "--name", "名前"}).error.empty()) << "not Windows-1251";
  EXPECT_FALSE(parse_options({"--batch", "--name", "\xFF"}).error.empty()) << "not UTF-8";
  EXPECT_FALSE(parse_options({"--verify", "--sync"}).error.empty()) << "one run at a time";
}

// The help is shared by both systems: what the window needs is the program's
// own paragraph, so no system's help names another's display variables.
TEST(UsageTextTest, TheWindowParagraphIsTheProgramsOwn) {
  const std::string window = "Окна еще нет.";
  const std::string usage = usage_text(window);
  EXPECT_NE(usage.find("носителя.\n\n" + window + "\n\n  1, 2, 3"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("DISPLAY"), std::string::npos) << usage;
}

TEST(TerminalHostTest, LinesAreUtf8AndNamesComeFromOptionOrTerminal) {
  std::ostringstream out, err;
  TerminalHost host(out, err, nullptr, std::nullopt);
  host.show_log_line(cp1251("Запуск ") + "\x98");
  EXPECT_EQ(out.str(), "Запуск ?\n");
  std::string answer;
  host.ask_text("prompt", answer);
  EXPECT_EQ(answer, "") << "no terminal, no option: no name";

  TerminalHost named(out, err, nullptr, cp1251("Ёлка"));
  named.ask_text("prompt", answer);
  EXPECT_EQ(answer, cp1251("Ёлка"));

  std::istringstream typed("Борис\n");
  TerminalHost asking(out, err, &typed, std::nullopt);
  asking.ask_text(cp1251("Имя:"), answer);
  EXPECT_EQ(answer, cp1251("Борис"));
  EXPECT_EQ(err.str(), "Имя: ");
}

// Two computers on the fake that share the carrier C:\CARRIER.
class RunBatchTest : public ::testing::Test {
 protected:
  // Runs the program with `args` on the first computer, whose
  // identification files are `id_file` and C:\E-KELDAR.ID (argument 2).
  int run(std::vector<std::string> args, const std::string& id_file = "C:\\KELDAR.ID") {
    system.set_identification_file('C', id_file);
    system.set_identification_file('E', "C:\\E-KELDAR.ID");
    return run_on(0, std::move(args));
  }
  int run_on(int computer, std::vector<std::string> args) {
    out.str("");
    Options options = parse_options(args);
    HookedHost host(out, err, options.name, on_line);
    return run_batch(*world.session(computer, host), options);
  }
  std::function<void(std::string_view)> on_line;
  test::Computers world{{.computers = 2}};
  FakeFileSystem& fs = world.fake();
  FakeSystem& system = world.simulated_system(0);
  std::ostringstream out, err;
};

TEST_F(RunBatchTest, ExitStatusTellsWhatHappened) {
  EXPECT_EQ(run({"--batch"}), exit_status::kUnidentified) << "no name: unidentified";
  EXPECT_EQ(run({"--batch", "--name", "Ann"}), exit_status::kOk);
  EXPECT_NE(out.str().find("Добавлен идентификатор компьютера: Ann\n"), std::string::npos);
  EXPECT_EQ(run({"--batch"}), exit_status::kOk);
  EXPECT_NE(out.str().find("Компьютер идентифицирован: Ann\n"), std::string::npos);
  EXPECT_EQ(out.str().substr(out.str().size() - 96), std::string(95, '=') + "\n");

  EXPECT_EQ(run({"2", "--batch", "--name", "Bob"}), exit_status::kOk);
  EXPECT_EQ(fs.contents("C:\\E-KELDAR.ID"), std::string("\x85\x09\xF6\x52", 4));
  EXPECT_EQ(run({"--batch", "--name", "C"}, "C:\\ID3"), exit_status::kOk);
  EXPECT_EQ(run({"--batch", "--name", "D"}, "C:\\ID4"), exit_status::kOk);
  EXPECT_EQ(run({"--batch", "--name", "E"}, "C:\\ID5"), exit_status::kFifthComputer);
  EXPECT_EQ(run({"--batch"}, "C:\\NO\\ID"), exit_status::kIdFileFailed);

  fs.write("C:\\CARRIER\\MASKS.QRV", "\x01");
  EXPECT_EQ(run({"--batch"}), exit_status::kConfigFile);
  fs.write("C:\\CARRIER\\MASKS.QRV", std::string(2, '\0'));
  EXPECT_EQ(run({"--batch"}), exit_status::kOk);

  system.set_environment("TEMP", "C:\\NOSUCHFOLDER");
  EXPECT_EQ(run({"--batch"}), exit_status::kLogFile);
  system.set_current_directory(std::nullopt);
  EXPECT_EQ(run({"--batch"}), exit_status::kNoCarrier);
}

TEST_F(RunBatchTest, FatalEndsStillBringTheLogBack) {
  fs.make_folders("C:\\TEMP");
  system.set_environment("TEMP", "C:\\TEMP");
  EXPECT_EQ(run({"--batch"}, "C:\\NO\\ID"), exit_status::kIdFileFailed);
  EXPECT_FALSE(fs.exists("C:\\TEMP\\KELDAR.LOG"));
  std::string log = *fs.contents("C:\\CARRIER\\KELDAR.LOG");
  EXPECT_NE(log.find(cp1251("Ошибка создания файла C:\\NO\\ID, программа завершена\r\n")),
            std::string::npos);
}

// The carrier is lazily unmounted as Action 2 begins, leaving its empty
// mount point: nothing reaches it, the exit status tells, and with the
// carrier back the next run completes.
TEST_F(RunBatchTest, CarrierUnmountedDuringASynchronizeGetsNothing) {
  world.put(0, "A.TXT", "a", test::Computers::kNow);
  fs.make_folders("C:\\TEMP");
  system.set_environment("TEMP", "C:\\TEMP");
  ASSERT_EQ(run_on(0, {"--batch", "--name", "Ann"}), exit_status::kOk);
  ASSERT_EQ(run_on(1, {"--batch", "--name", "Bob"}), exit_status::kOk);
  world.write_objects(world.one_object());
  world.write_masks({{"*.*", /*copy=*/true, /*remove=*/false}});
  ASSERT_EQ(run_on(1, {"--sync"}), exit_status::kOk);

  on_line = [this](std::string_view line) {
    if (line.starts_with(cp1251("Действие 2."))) fs.unmount_folder("C:\\CARRIER");
  };
  EXPECT_EQ(run_on(0, {"--sync"}), exit_status::kFailures);
  on_line = nullptr;
  EXPECT_NE(out.str().find("\n21: "), std::string::npos) << out.str();
  for (const std::string& path : fs.all_paths()) {
    EXPECT_FALSE(path.starts_with("C:\\CARRIER\\")) << path;
  }

  fs.remount_folder("C:\\CARRIER");
  EXPECT_EQ(run_on(0, {"--sync"}), exit_status::kOk) << out.str();
  EXPECT_EQ(fs.contents("C:\\CARRIER\\00001\\A.TXT"), "a");
}

// --verify reads every carrier copy that has a record and reports one that
// is not the copy recorded, with the exit status of a failed copy; the
// carrier and the lists stay as they were.
TEST_F(RunBatchTest, VerifyReportsADamagedCarrierCopyAndChangesNothing) {
  world.put(0, "A.TXT", "abc", test::Computers::kNow);
  world.put(0, "B.TXT", "b", test::Computers::kNow);
  ASSERT_EQ(run_on(0, {"--batch", "--name", "Ann"}), exit_status::kOk);
  ASSERT_EQ(run_on(1, {"--batch", "--name", "Bob"}), exit_status::kOk);
  world.write_objects(world.one_object());
  world.write_masks({{"*.*", /*copy=*/true, /*remove=*/false}});
  ASSERT_EQ(run_on(1, {"--sync"}), exit_status::kOk);
  ASSERT_EQ(run_on(0, {"--sync"}), exit_status::kOk);
  const std::string copy = "C:\\CARRIER\\00001\\A.TXT";
  ASSERT_EQ(fs.contents(copy), "abc");

  EXPECT_EQ(run_on(1, {"--verify"}), exit_status::kOk) << out.str();
  EXPECT_NE(out.str().find("Проверено копий на носителе 2, повреждено 0, без контрольной суммы 0"),
            std::string::npos)
      << out.str();

  FileTimes times;
  ASSERT_EQ(fs.get_times(copy, times), 0);
  fs.write(copy, "aXc", times.last_write);
  // Every file but the log, with its time: a scan of the object folder
  // would round this odd second (the volume keeps exact times).
  world.put(1, "ODD.TXT", "odd", test::Computers::kNow + 1);
  auto files = [this] {
    std::map<std::string, std::string> files;
    for (const std::string& path : fs.all_paths()) {
      auto data = fs.contents(path);
      FileTimes t;
      if (!path.ends_with(".LOG") && data && fs.get_times(path, t) == 0) {
        files[path] = *data + "@" + std::to_string(t.last_write);
      }
    }
    return files;
  };
  const auto before = files();
  EXPECT_EQ(run_on(1, {"--verify"}), exit_status::kFailures);
  EXPECT_NE(out.str().find("ERC=A.TXT\n***: Копия на носителе повреждена"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("Проверено копий на носителе 2, повреждено 1, без контрольной суммы 0"),
            std::string::npos);
  EXPECT_EQ(files(), before);
}

}  // namespace
}  // namespace keldar

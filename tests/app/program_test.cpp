// The main window's logic through a fake window, on the fake file system:
// which commands are enabled when, the counter lines after the list
// dialogs, runs one at a time, Выход/Стоп and the end of the program.
#include "app/program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/fixed_clock.h"

namespace keldar {
namespace {

using test::u;

// Holds a run where it begins its object loop until released.
class GateHost : public RecordingHost {
 public:
  void set_running(bool on) override {
    RecordingHost::set_running(on);
    if (on && gated) {
      entered = true;
      gate.get_future().wait();
    }
  }
  bool gated = false;
  std::atomic<bool> entered{false};
  std::promise<void> gate;
};

class FakeWindow : public MainWindowView {
 public:
  void clear_log() override {}
  void set_enabled(Command command, bool on) override { enabled[command] = on; }
  void set_text(Command command, std::string_view text) override { texts[command] = text; }
  void open_masks_dialog() override { calls.push_back("masks"); }
  void open_objects_dialog() override { calls.push_back("objects"); }
  void close_dialog() override {
    calls.push_back("close dialog");
    program->dialog_closed(counters_at_close);
  }
  void show_run() override { calls.push_back("show run"); }
  void post_run_ended() override { posted = true; }
  void restore_objects_dialog() override { calls.push_back("restore objects"); }
  void close_window() override { calls.push_back("close"); }

  // Whether the four commands other than Выход are enabled, all alike.
  bool commands_enabled() const {
    const bool masks = enabled.at(Command::kMasks);
    for (Command c : {Command::kObjects, Command::kCompare, Command::kSynchronize}) {
      EXPECT_EQ(enabled.at(c), masks);
    }
    return masks;
  }

  Program* program = nullptr;
  ChangeCounters counters_at_close;
  std::map<Command, bool> enabled;
  std::map<Command, std::string> texts;
  std::vector<std::string> calls;
  std::atomic<bool> posted{false};
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.make_folders("C:\\CARRIER");
    fs.write("D:\\WORK\\A.TXT", "a");
    system.set_current_directory("C:\\CARRIER");
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    EXPECT_TRUE(r.set_path(0, "D:\\WORK\\*.*"));
    EXPECT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    fs.write("C:\\CARRIER\\SYNCOBJ.QRV", objects.encode());
    host.answer_with("Ann");
    window.program = &program;
    ASSERT_EQ(program.start_up('C'), std::nullopt);
    host.lines.clear();
  }
  long count(const std::string& line) const {
    return std::count(host.lines.begin(), host.lines.end(), line);
  }

  FakeFileSystem fs;
  FakeSystem system;
  FixedClock clock;
  GateHost host;
  Session session{fs, system, clock, host};
  FakeWindow window;
  Program program{session, window};
};

TEST(ExitStatusTest, TheSmallestStatusOfWhatWentWrong) {
  struct Case {
    Failures failures;
    long log_failures;
    bool interrupted;
    int status;
  };
  const Case cases[] = {
      {{}, 0, false, exit_status::kOk},
      {{}, 0, true, exit_status::kInterrupted},
      {{}, 1, true, exit_status::kFailures},
      {{.lists = true}, 0, false, exit_status::kFailures},
      {{.log_file = true, .lists = true}, 3, true, exit_status::kLogFile},
      {{.config_file = true, .log_file = true}, 0, false, exit_status::kConfigFile},
      {{.config_file = true, .unidentified = true}, 0, true, exit_status::kUnidentified},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exit_status_of(c.failures, c.log_failures, c.interrupted), c.status) << c.status;
  }
}

TEST_F(ProgramTest, CommandsWaitForAListDialogWhichLogsItsCountersWhenClosed) {
  EXPECT_TRUE(window.commands_enabled());
  program.open_masks();
  EXPECT_FALSE(window.commands_enabled());
  program.open_objects();
  program.compare();
  program.synchronize();
  EXPECT_EQ(window.calls, std::vector<std::string>{"masks"});
  EXPECT_FALSE(program.busy());
  program.dialog_closed({.added = 0, .changed = 12, .deleted = 0});
  EXPECT_TRUE(window.commands_enabled());

  program.open_objects();
  program.dialog_closed({});
  program.open_objects();
  program.dialog_closed({.added = 1, .changed = 0, .deleted = 1});
  EXPECT_EQ(window.calls, (std::vector<std::string>{"masks", "objects", "objects"}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{u("Изменено масок файлов: 12"),
                                                  u("Удалено объектов синхронизации: 1"),
                                                  u("Добавлено объектов синхронизации: 1")}));
}

TEST_F(ProgramTest, ExitDuringARunOnlyStopsItAndASecondExitEndsTheProgram) {
  host.gated = true;
  program.compare();
  EXPECT_TRUE(program.busy());
  EXPECT_FALSE(window.commands_enabled());
  EXPECT_EQ(window.calls, std::vector<std::string>{"show run"});
  program.compare();
  program.running_changed(true);
  EXPECT_EQ(window.texts[Command::kExit], u("Стоп"));

  while (!host.entered) std::this_thread::yield();
  program.exit();
  EXPECT_FALSE(program.finished());
  host.gate.set_value();
  program.run_ended();
  EXPECT_TRUE(window.posted);
  EXPECT_FALSE(program.busy());
  EXPECT_TRUE(window.commands_enabled());
  program.running_changed(false);
  EXPECT_EQ(window.texts[Command::kExit], u("Выход"));
  EXPECT_EQ(count(u("Процесс прерван ") + std::string(60, '#')), 1);
  EXPECT_EQ(std::count_if(host.lines.begin(), host.lines.end(),
                          [](const std::string& l) { return l.ends_with(u(" СРАВНИТЬ")); }),
            1)
      << "the second Compare was refused";

  program.exit();
  program.exit();
  EXPECT_TRUE(program.finished());
  EXPECT_EQ(window.calls, (std::vector<std::string>{"show run", "close"}));
  EXPECT_EQ(count(std::string(95, '=')), 1);
}

TEST_F(ProgramTest, TheObjectsDialogComesBackAfterItsRunAndExitClosesItFirst) {
  program.open_objects();
  ASSERT_TRUE(prepare_object_operation(session, 0, ObjectOperation::kCompare));
  program.start(RunThread::Kind::kOneObject);
  program.run_ended();
  EXPECT_FALSE(window.commands_enabled()) << "the dialog is still open";
  window.counters_at_close = {.added = 0, .changed = 1, .deleted = 0};
  program.exit();
  EXPECT_EQ(window.calls, (std::vector<std::string>{"objects", "show run", "restore objects",
                                                    "close dialog", "close"}));
  const auto changed =
      std::find(host.lines.begin(), host.lines.end(), u("Изменено объектов синхронизации: 1"));
  const auto end = std::find(host.lines.begin(), host.lines.end(), std::string(95, '='));
  EXPECT_LT(changed, end);
}

}  // namespace
}  // namespace keldar

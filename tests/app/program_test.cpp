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
using Calls = std::vector<std::string>;

// Holds a run where its object loop begins, until released.
class GateHost : public RecordingHost {
 public:
  void set_running(bool on) override {
    if (!on || !gated) return;
    entered = true;
    gate.get_future().wait();
  }
  bool gated = false;
  std::atomic<bool> entered{false};
  std::promise<void> gate;
};

class FakeWindow : public MainWindowView {
 public:
  void clear_log() override {}
  void set_enabled(Command command, bool on) override { enabled[command] = on; }
  void set_text(Command command, std::string_view text) override {
    EXPECT_EQ(command, Command::kExit);
    exit_text = text;
  }
  void open_masks_dialog() override { calls.push_back("masks"); }
  void open_objects_dialog() override { calls.push_back("objects"); }
  void close_dialog() override {
    calls.push_back("close dialog");
    program->dialog_closed({.added = 0, .changed = 1, .deleted = 0});
  }
  void show_run() override { calls.push_back("show run"); }
  void post_run_ended() override { posted = true; }
  void restore_objects_dialog() override { calls.push_back("restore objects"); }
  void close_window() override { calls.push_back("close"); }

  // Whether the commands are enabled: the four other than Выход, alike.
  bool commands() const {
    const auto on = std::ranges::count_if(enabled, [](auto& e) { return e.second; });
    EXPECT_TRUE(enabled.size() == 4 && (on == 0 || on == 4)) << on;
    return on == 4;
  }

  Program* program = nullptr;
  std::map<Command, bool> enabled;
  std::string exit_text;
  Calls calls;
  std::atomic<bool> posted{false};
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.make_folders("C:\\CARRIER");
    fs.write("C:\\WORK\\A.TXT", "a");
    system.set_current_directory("C:\\CARRIER");
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    ASSERT_TRUE(r.set_path(0, "C:\\WORK\\*.*"));
    ASSERT_TRUE(objects.commit_new_object());
    fs.write("C:\\CARRIER\\SYNCOBJ.QRV", objects.encode());
    host.answer_with("Ann");
    window.program = &program;
    ASSERT_EQ(program.start_up('C'), std::nullopt);
    host.lines.clear();
  }
  long count(const std::string& line) const { return std::ranges::count(host.lines, line); }

  FakeFileSystem fs;
  FakeSystem system;
  FixedClock clock;
  GateHost host;
  Session session{fs, system, clock, host};
  FakeWindow window;
  Program program{session, window};
};

TEST(ExitStatusTest, TheSmallestStatusOfWhatWentWrong) {
  EXPECT_EQ(exit_status_of({}, 0, false), exit_status::kOk);
  EXPECT_EQ(exit_status_of({}, 0, true), exit_status::kInterrupted);
  EXPECT_EQ(exit_status_of({}, 1, true), exit_status::kFailures);
  EXPECT_EQ(exit_status_of({.lists = true}, 0, false), exit_status::kFailures);
  EXPECT_EQ(exit_status_of({.log_file = true, .lists = true}, 3, true), exit_status::kLogFile);
  EXPECT_EQ(exit_status_of({.config_file = true, .log_file = true}, 0, false),
            exit_status::kConfigFile);
  EXPECT_EQ(exit_status_of({.config_file = true, .unidentified = true}, 0, true),
            exit_status::kUnidentified);
}

TEST_F(ProgramTest, CommandsWaitForAListDialogWhichLogsItsCountersWhenClosed) {
  EXPECT_TRUE(window.commands());
  program.open_masks();
  EXPECT_FALSE(window.commands());
  program.open_objects();
  program.compare();
  program.synchronize();
  EXPECT_FALSE(program.busy());
  program.dialog_closed({.added = 0, .changed = 12, .deleted = 0});
  EXPECT_TRUE(window.commands());
  program.open_objects();
  program.dialog_closed({});
  program.open_objects();
  program.dialog_closed({.added = 1, .changed = 0, .deleted = 1});
  EXPECT_EQ(window.calls, (Calls{"masks", "objects", "objects"}));
  EXPECT_EQ(host.lines,
            (Calls{u("Изменено масок файлов: 12"), u("Удалено объектов синхронизации: 1"),
                   u("Добавлено объектов синхронизации: 1")}));
}

TEST_F(ProgramTest, ExitDuringARunOnlyStopsItAndASecondExitEndsTheProgram) {
  host.gated = true;
  program.compare();
  EXPECT_TRUE(program.busy());
  EXPECT_FALSE(window.commands());
  program.compare();  // refused: one run at a time
  program.running_changed(true);
  EXPECT_EQ(window.exit_text, u("Стоп"));
  while (!host.entered) std::this_thread::yield();
  program.exit();
  EXPECT_FALSE(program.finished());
  host.gate.set_value();
  program.run_ended();
  EXPECT_TRUE(window.posted);
  EXPECT_FALSE(program.busy());
  EXPECT_TRUE(window.commands());
  program.running_changed(false);
  EXPECT_EQ(window.exit_text, u("Выход"));
  EXPECT_EQ(count(u("Процесс прерван ") + std::string(60, '#')), 1);
  EXPECT_EQ(std::ranges::count_if(host.lines, [](auto& l) { return l.ends_with(u(" СРАВНИТЬ")); }),
            1);

  program.exit();
  program.exit();
  EXPECT_TRUE(program.finished());
  EXPECT_EQ(window.calls, (Calls{"show run", "close"}));
  EXPECT_EQ(count(std::string(95, '=')), 1);
}

TEST_F(ProgramTest, TheObjectsDialogComesBackAfterItsRunAndExitClosesItFirst) {
  program.open_objects();
  ASSERT_TRUE(prepare_object_operation(session, 0, ObjectOperation::kCompare));
  program.start(RunThread::Kind::kOneObject);
  program.run_ended();
  EXPECT_FALSE(window.commands()) << "the dialog is still open";
  program.exit();
  EXPECT_EQ(window.calls,
            (Calls{"objects", "show run", "restore objects", "close dialog", "close"}));
  const auto changed = std::ranges::find(host.lines, u("Изменено объектов синхронизации: 1"));
  EXPECT_LT(changed, std::ranges::find(host.lines, std::string(95, '=')));
}

}  // namespace
}  // namespace keldar

#include "app/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "app/startup.h"
#include "fakes/recording_host.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"

namespace keldar {
namespace {

// Holds the worker at the start of its run until released.
class GateHost : public RecordingHost {
 public:
  void set_running(bool on) override {
    RecordingHost::set_running(on);
    if (on) {
      entered = true;
      gate.get_future().wait();
    }
  }
  std::promise<void> gate;
  std::atomic<bool> entered{false};
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.make_folders("C:\\CARRIER");
    fs.write("D:\\WORK\\A.TXT", "a");
    system.set_current_directory("C:\\CARRIER");
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(7);
    r.set_allow_nested(true);
    EXPECT_TRUE(r.set_path(0, "D:\\WORK\\*.*"));
    EXPECT_TRUE(objects.commit_new_object());
    objects.set_next_id(8);
    fs.write("C:\\CARRIER\\SYNCOBJ.QRV", objects.encode());
  }
  FakeFileSystem fs;
  FakeSystem system;
  FixedClock clock;
};

TEST_F(WorkerTest, OnlyOneRunAtATime) {
  GateHost host;
  host.answer_with("Ann");
  Session session(fs, system, clock, host);
  ASSERT_EQ(start_up(session, 'C'), StartResult::kReady);
  session.queue.set(op::kCompare);
  RunThread thread;
  ASSERT_TRUE(thread.start(session, RunThread::Kind::kAllObjects));
  // The first run fills the lists and then waits at the gate.
  while (!host.entered) std::this_thread::yield();
  EXPECT_TRUE(thread.busy());
  EXPECT_FALSE(thread.start(session, RunThread::Kind::kAllObjects));
  host.gate.set_value();
  RunOutcome outcome = thread.wait();
  EXPECT_FALSE(outcome.failed || outcome.interrupted);
  EXPECT_FALSE(thread.busy());
  auto refused = std::find(host.lines.begin(), host.lines.end(),
                           cp1251("Выполняется другая операция, новая не запущена"));
  EXPECT_NE(refused, host.lines.end());
  EXPECT_EQ(host.lines.back(), std::string(76, '#'));
  EXPECT_TRUE(fs.exists("C:\\CARRIER\\00007.QRN"));
}

TEST_F(WorkerTest, ClearForgetsTheListAndEmptiesTheCarrierFolder) {
  RecordingHost host;
  host.answer_with("Ann");
  Session session(fs, system, clock, host);
  ASSERT_EQ(start_up(session, 'C'), StartResult::kReady);
  fs.write("C:\\CARRIER\\00007.QRN", std::string("\xE5\x01\x00\x00\x00", 5));
  fs.write("C:\\CARRIER\\00007\\SUB\\B.TXT", "b");
  std::size_t first = host.lines.size();
  ASSERT_TRUE(prepare_object_operation(session, 0, ObjectOperation::kClear));
  RunOutcome outcome = run_one_object(session);
  EXPECT_FALSE(outcome.failed || outcome.interrupted);
  const std::vector<std::string> expected = {
      cp1251("Файл списка объекта 7 удален"),
      std::string(76, '_'),
      cp1251("Удаление каталога: C:\\CARRIER\\00007\\*.*"),
      std::string(76, '#'),
  };
  EXPECT_EQ(
      std::vector<std::string>(host.lines.begin() + static_cast<long>(first), host.lines.end()),
      expected);
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00007.QRN"));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00007"));
  EXPECT_FALSE(session.queue.running());
  EXPECT_FALSE(session.force);
}

TEST_F(WorkerTest, ReplaceAsksFirstAndNoDoesNothing) {
  RecordingHost host;
  host.answer_with("Ann");
  host.answers = {Answer::kNo};
  Session session(fs, system, clock, host);
  ASSERT_EQ(start_up(session, 'C'), StartResult::kReady);
  EXPECT_FALSE(prepare_object_operation(session, 0, ObjectOperation::kReplace));
  ASSERT_EQ(host.questions.size(), 1u);
  // The question names the folder, and Нет is its default.
  EXPECT_EQ(host.questions[0].text,
            cp1251("Все файлы объекта будут удалены, вы уверены?\r\nD:\\WORK\\"));
  EXPECT_TRUE(host.questions[0].default_no);
  EXPECT_FALSE(session.queue.running());
  EXPECT_TRUE(fs.exists("D:\\WORK\\A.TXT"));
  EXPECT_FALSE(prepare_object_operation(session, 1, ObjectOperation::kCompare)) << "no such object";
}

// Replace empties the object folder but keeps the folder itself, and never
// makes one that is not there (an unmounted drive, a renamed folder).
TEST_F(WorkerTest, ReplaceKeepsTheObjectFolderAndNeverMakesIt) {
  for (const bool present : {true, false}) {
    SCOPED_TRACE(present ? "present" : "missing");
    if (!present) fs.remove_tree("D:\\WORK");
    FolderIdentity before;
    if (present) ASSERT_EQ(fs.folder_identity("D:\\WORK", before), 0);
    RecordingHost host;
    host.answer_with("Ann");
    host.answers = {Answer::kYes};
    Session session(fs, system, clock, host);
    ASSERT_EQ(start_up(session, 'C'), StartResult::kReady);
    ASSERT_TRUE(prepare_object_operation(session, 0, ObjectOperation::kReplace));
    (void)run_one_object(session);
    FolderIdentity after;
    EXPECT_EQ(fs.folder_identity("D:\\WORK", after) == 0, present);
    if (present) EXPECT_EQ(after, before);
    EXPECT_FALSE(fs.exists("D:\\WORK\\A.TXT"));
  }
}

}  // namespace
}  // namespace keldar

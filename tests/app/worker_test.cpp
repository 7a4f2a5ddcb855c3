#include "app/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "app/startup.h"
#include "fakes/computers.h"
#include "fakes/recording_host.h"
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

// One computer on the fake, its object 7 in D:\A holding A.TXT.
class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() {
    world.put(0, "A.TXT", "a", test::Computers::kNow);
    world.write_objects(world.one_object(7));
  }
  // A session of the computer, started.
  std::unique_ptr<Session> start(RecordingHost& host) {
    host.answer_with("Ann");
    auto session = world.session(0, host);
    EXPECT_EQ(start_up(*session, 'C'), StartResult::kReady);
    return session;
  }
  test::Computers world{{.computers = 1}};
  FakeFileSystem& fs = world.fake();
};

TEST_F(WorkerTest, OnlyOneRunAtATime) {
  GateHost host;
  auto started = start(host);
  Session& session = *started;
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
  auto started = start(host);
  Session& session = *started;
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
  host.answers = {Answer::kNo};
  auto started = start(host);
  Session& session = *started;
  EXPECT_FALSE(prepare_object_operation(session, 0, ObjectOperation::kReplace));
  ASSERT_EQ(host.questions.size(), 1u);
  // The question names the folder, and Нет is its default.
  EXPECT_EQ(host.questions[0].text,
            cp1251("Все файлы объекта будут удалены, вы уверены?\r\nD:\\A\\"));
  EXPECT_TRUE(host.questions[0].default_no);
  EXPECT_FALSE(session.queue.running());
  EXPECT_TRUE(fs.exists("D:\\A\\A.TXT"));
  EXPECT_FALSE(prepare_object_operation(session, 1, ObjectOperation::kCompare)) << "no such object";
}

// Replace empties the object folder but keeps the folder itself, with its
// times (its own deletions are no change of the user's, which the next
// Synchronize would send to the others), and never makes one that is not
// there (an unmounted drive, a renamed folder).
TEST_F(WorkerTest, ReplaceKeepsTheObjectFolderAndNeverMakesIt) {
  world.set_now(test::Computers::kNow + 100);  // the deletions come later
  for (const bool present : {true, false}) {
    SCOPED_TRACE(present ? "present" : "missing");
    if (!present) fs.remove_tree("D:\\A");
    FolderIdentity before;
    FileTimes times_before;
    if (present) {
      ASSERT_EQ(fs.folder_identity("D:\\A", before), 0);
      times_before = fs.times("D:\\A");
    }
    RecordingHost host;
    host.answers = {Answer::kYes};
    auto started = start(host);
    Session& session = *started;
    ASSERT_TRUE(prepare_object_operation(session, 0, ObjectOperation::kReplace));
    (void)run_one_object(session);
    FolderIdentity after;
    EXPECT_EQ(fs.folder_identity("D:\\A", after) == 0, present);
    if (present) {
      EXPECT_EQ(after, before);
      EXPECT_EQ(fs.times("D:\\A").last_write, times_before.last_write);
    }
    EXPECT_FALSE(fs.exists("D:\\A\\A.TXT"));
  }
}

}  // namespace
}  // namespace keldar

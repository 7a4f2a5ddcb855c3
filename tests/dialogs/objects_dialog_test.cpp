#include "dialogs/objects_dialog.h"

#include <functional>

#include "dialogs/dialogs_fixture.h"
#include "dialogs/memory_grid.h"
#include "lists/file_list.h"

namespace keldar {
namespace {

using test::u;

class FakeObjectsView : public ObjectsView {
 public:
  Grid& grid() override { return grid_; }
  void set_info(std::string_view text) override { info = text; }
  void set_state(std::string_view text) override { state = text; }
  void set_index(std::string_view text) override { index = text; }
  void set_id(std::string_view text) override { id = text; }
  EditResult edit_object(ObjectRecord& record) override {
    edited_ids.push_back(record.id());
    return editor ? editor(record) : EditResult::kCancelled;
  }
  bool ask_yes_no(std::string_view text) override {
    questions.emplace_back(text);
    return yes;
  }
  void show_message(std::string_view text) override { messages.emplace_back(text); }
  void minimise() override { ++minimised; }

  MemoryGrid grid_;
  std::string info = "-", state = "-", index, id;
  std::function<EditResult(ObjectRecord&)> editor;
  std::vector<int> edited_ids;
  std::vector<std::string> questions, messages;
  bool yes = false;
  int minimised = 0;
};

// Runs a started one-object run at once, on the calling thread.
class InlineRuns : public Runs {
 public:
  explicit InlineRuns(Session& s) : s_(s) {}
  bool busy() const override { return busy_now; }
  void start(RunThread::Kind kind) override {
    kinds.push_back(kind);
    run_one_object(s_);
  }
  bool busy_now = false;
  std::vector<RunThread::Kind> kinds;

 private:
  Session& s_;
};

// An editor that sets the paths it is given and confirms.
std::function<EditResult(ObjectRecord&)> set_paths(std::string p0, std::string p1 = "") {
  return [p0, p1](ObjectRecord& r) {
    EXPECT_TRUE(r.set_path(0, p0));
    EXPECT_TRUE(r.set_path(1, p1));
    return EditResult::kChanged;
  };
}

class ObjectsDialogTest : public DialogsTest {
 protected:
  void SetUp() override {
    start();
    dialog.open();
  }
  void add_object(const std::string& path) {
    view.editor = set_paths(path);
    dialog.add();
  }
  FakeObjectsView view;
  InlineRuns runs{session};
  ObjectsDialog dialog{session, view, runs};
};

TEST_F(ObjectsDialogTest, OpensOnAnEmptyTableWithHeaderAndOneEmptyRow) {
  const MemoryGrid& g = view.grid_;
  EXPECT_EQ(g.rows(), 2);
  EXPECT_EQ(g.cell(0, 0), "ID");
  EXPECT_EQ(g.cell(0, 1), "Ann");
  EXPECT_EQ(g.cell(0, 2), "");
  EXPECT_EQ((std::map<int, int>{{0, 400}, {1, 2100}, {2, 2100}, {3, 2100}, {4, 2100}}), g.widths);
  EXPECT_EQ((std::set<std::pair<int, int>>{{0, 1}}), g.bold);
  // The empty row is current, in this computer's column.
  EXPECT_EQ(g.row(), 1);
  EXPECT_EQ(g.column(), 1);
  EXPECT_EQ(view.index, "0");
  EXPECT_EQ(view.id, "");

  // Delete, Clear and the operations do nothing on the empty row.
  dialog.remove();
  for (auto op : {ObjectOperation::kCompare, ObjectOperation::kReplace, ObjectOperation::kClear}) {
    dialog.operation(op);
  }
  EXPECT_TRUE(host.lines.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_TRUE(runs.kinds.empty());
  EXPECT_EQ(view.minimised, 0);
}

TEST_F(ObjectsDialogTest, AddOpensTheTemplateAndNumbersNewObjects) {
  view.editor = [](ObjectRecord& r) {
    EXPECT_EQ(r.id(), 0);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(r.path(k), "");
      EXPECT_TRUE(r.copy_from_carrier(k) && r.copy_to_carrier(k));
    }
    EXPECT_FALSE(r.allow_nested());
    EXPECT_TRUE(r.set_path(0, "D:\\A\\*.*"));
    return EditResult::kChanged;
  };
  dialog.add();
  add_object("D:\\B\\*.*");
  EXPECT_EQ(host.lines, (std::vector<std::string>{u("Новый объект: 1"), u("Новый объект: 2")}));
  ObjectTable stored = stored_objects();
  ASSERT_EQ(stored.count(), 2);
  EXPECT_EQ(stored.next_id(), 3);
  EXPECT_EQ(stored.record(1).path(0), "D:\\B\\*.*");
  const MemoryGrid& g = view.grid_;
  EXPECT_EQ(g.rows(), 4);
  EXPECT_EQ(g.cell(1, 0), "1");
  EXPECT_EQ(g.cell(2, 1), "D:\\B\\*.*");
  EXPECT_EQ(g.row(), 3);  // back on the empty row
  EXPECT_EQ(dialog.counters().added, 2);
  EXPECT_EQ(dialog.counters().changed, 0);
}

TEST_F(ObjectsDialogTest, AddConfirmedWithoutAChangeAddsNothing) {
  view.editor = [](ObjectRecord&) { return EditResult::kUnchanged; };
  dialog.add();
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(session.objects.count(), 0);
  EXPECT_EQ(session.objects.next_id(), 1);
  EXPECT_EQ(dialog.counters().added, 0);
}

TEST_F(ObjectsDialogTest, DeletedIdsAreNotGivenBack) {
  add_object("D:\\A\\*.*");
  view.grid_.click_at(1, 1);
  dialog.remove();
  add_object("D:\\B\\*.*");
  EXPECT_EQ(session.objects.record(0).id(), 2);
  EXPECT_EQ(dialog.counters().added, 2);
  EXPECT_EQ(dialog.counters().deleted, 1);
}

TEST_F(ObjectsDialogTest, DeletingTheThirdOfFiveMovesTheLaterOnesUpAndRemovesItsData) {
  for (char c = 'A'; c <= 'E'; ++c) add_object(std::string("D:\\") + c + "\\*.*");
  fs.write("C:\\CARRIER\\00003.QRN", "list");
  fs.write("C:\\CARRIER\\00003\\X.TXT", "in transit");
  fs.write("C:\\CARRIER\\00004.QRN", "list");
  host.lines.clear();
  view.grid_.click_at(3, 1);
  dialog.remove();
  EXPECT_EQ(host.lines, std::vector<std::string>{u("Объект 3 удален")});
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00003.QRN"));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00003"));
  EXPECT_TRUE(fs.exists("C:\\CARRIER\\00004.QRN"));
  ObjectTable stored = stored_objects();
  ASSERT_EQ(stored.count(), 4);
  EXPECT_EQ(stored.record(2).id(), 4);
  EXPECT_EQ(stored.record(3).path(0), "D:\\E\\*.*");
  EXPECT_EQ(view.grid_.cell(3, 0), "4");
  EXPECT_EQ(view.grid_.rows(), 6);
  EXPECT_EQ(view.grid_.row(), 5);
}

TEST_F(ObjectsDialogTest, EditOfAnObjectAnsweredNoKeepsItsIdentity) {
  add_object("D:\\A\\*.*");
  fs.write("C:\\CARRIER\\00001.QRN", "list");
  host.lines.clear();
  view.grid_.click_at(1, 1);
  view.editor = set_paths("D:\\a\\*.*");
  dialog.edit();
  EXPECT_EQ(view.questions, std::vector<std::string>{
                                u("Объект был изменен, изменить идентификатор (будет удален файл "
                                  "общего списка)?")});
  EXPECT_EQ(host.lines, std::vector<std::string>{u("Объект 1 изменен")});
  EXPECT_TRUE(fs.exists("C:\\CARRIER\\00001.QRN"));
  EXPECT_EQ(stored_objects().record(0).id(), 1);
  EXPECT_EQ(stored_objects().record(0).path(0), "D:\\a\\*.*");
  EXPECT_EQ(dialog.counters().changed, 1);
}

TEST_F(ObjectsDialogTest, EditOfAnObjectAnsweredYesGivesItTheNextIdAndDropsItsList) {
  add_object("D:\\A\\*.*");
  add_object("D:\\B\\*.*");
  fs.write("C:\\CARRIER\\00001.QRN", "list");
  fs.write("C:\\CARRIER\\00001\\X.TXT", "x");
  host.lines.clear();
  view.yes = true;
  view.grid_.click_at(1, 2);
  view.editor = set_paths("D:\\A\\*.*", "D:\\SHARED\\*.*");
  dialog.edit();
  EXPECT_EQ(host.lines,
            (std::vector<std::string>{u("Объект 1 изменен"), u("Список объекта 1 удален"),
                                      u("Новый идентификатор объекта: 3")}));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00001.QRN"));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00001"));
  ObjectTable stored = stored_objects();
  EXPECT_EQ(stored.record(0).id(), 3);
  EXPECT_EQ(stored.record(0).path(1), "D:\\SHARED\\*.*");
  EXPECT_EQ(stored.next_id(), 4);
  EXPECT_EQ(dialog.counters().changed, 1);
  EXPECT_EQ(dialog.counters().added, 2);
}

TEST_F(ObjectsDialogTest, AFailedSaveShowsTheMessageAndKeepsTheChangeInMemory) {
  add_object("D:\\A\\*.*");
  faults.fail_path("SYNCOBJ", 5);
  add_object("D:\\B\\*.*");
  EXPECT_EQ(view.messages, std::vector<std::string>{u("Ошибка записи файла объектов")});
  EXPECT_EQ(session.objects.count(), 2);
  EXPECT_EQ(dialog.counters().added, 2);
  EXPECT_EQ(view.grid_.rows(), 3);  // not refilled
  faults.clear_failures();
  EXPECT_EQ(stored_objects().count(), 1);
}

// A damaged object table is not changed at all: a new object would take an
// id that an object of the file may hold, and no save may write over it.
TEST_F(ObjectsDialogTest, ADamagedTableRefusesEveryChange) {
  const std::string damaged = std::string("\xE5\x01\x00\x05\x00", 5) + std::string(2059, 'x');
  fs.write("C:\\CARRIER\\SYNCOBJ.QRV", damaged);
  ASSERT_EQ(session.objects.load(fs, "C:\\CARRIER\\SYNCOBJ.QRV"), load_result::kDamaged);
  dialog.open();
  add_object("D:\\A\\*.*");
  dialog.edit();
  EXPECT_EQ(view.messages, std::vector<std::string>(
                               2, u("Файл SYNCOBJ.QRV поврежден, изменения не записываются")));
  EXPECT_TRUE(view.edited_ids.empty());
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(session.objects.count(), 0);
  EXPECT_EQ(session.objects.next_id(), 1);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\SYNCOBJ.QRV"), damaged);
}

TEST_F(ObjectsDialogTest, ClicksShowThePathAndTheListStateWhileListsAreHeld) {
  fs.write("D:\\A\\F.TXT", "f");
  add_object("D:\\A\\*.*");
  view.grid_.click_at(1, 2);
  dialog.click();
  EXPECT_EQ(view.info, "");    // computer 2 has no path
  EXPECT_EQ(view.state, "-");  // no lists held: left as it is
  EXPECT_EQ(view.id, "1");
  EXPECT_EQ(view.index, "0");

  view.grid_.click_at(1, 1);
  dialog.operation(ObjectOperation::kCompare);
  ASSERT_EQ(runs.kinds, std::vector<RunThread::Kind>{RunThread::Kind::kOneObject});
  EXPECT_EQ(view.minimised, 1);
  ASSERT_TRUE(session.lists.held());
  dialog.click();
  EXPECT_EQ(view.info, "D:\\A\\*.*");
  EXPECT_EQ(view.state, u("заполнен"));
  view.grid_.click_at(1, 2);
  dialog.click();
  EXPECT_EQ(view.state, u("не обработан"));
  // The id column leaves the info line and clears the state line.
  view.grid_.click_at(1, 0);
  dialog.click();
  EXPECT_EQ(view.info, "");
  EXPECT_EQ(view.state, "");
  // A damaged list's state shows as its number.
  session.lists.list(0).states[0] = 9;
  view.grid_.click_at(1, 1);
  dialog.click();
  EXPECT_EQ(view.state, "9");
  // While a run is in progress the lists are not read.
  runs.busy_now = true;
  session.lists.list(0).states[0] = 3;
  dialog.click();
  EXPECT_EQ(view.state, "9");
}

TEST_F(ObjectsDialogTest, EverySaveReleasesTheLists) {
  add_object("D:\\A\\*.*");
  view.grid_.click_at(1, 1);
  dialog.operation(ObjectOperation::kCompare);
  ASSERT_TRUE(session.lists.held());
  add_object("D:\\B\\*.*");
  EXPECT_FALSE(session.lists.held());
}

TEST_F(ObjectsDialogTest, CommandsAreRefusedWhileARunIsInProgress) {
  add_object("D:\\A\\*.*");
  host.lines.clear();
  view.edited_ids.clear();
  runs.busy_now = true;
  view.grid_.click_at(1, 1);
  dialog.remove();
  dialog.add();
  dialog.operation(ObjectOperation::kClear);
  EXPECT_EQ(view.messages, std::vector<std::string>(3, run_in_progress_message()));
  EXPECT_TRUE(host.lines.empty());
  EXPECT_TRUE(view.edited_ids.empty());
  EXPECT_EQ(session.objects.count(), 1);
  EXPECT_TRUE(runs.kinds.empty());
  EXPECT_EQ(session.queue.current(), op::kNone);
}

TEST_F(ObjectsDialogTest, ReplaceAnsweredNoDoesNothing) {
  add_object("D:\\A\\*.*");
  host.lines.clear();
  host.answers = {Answer::kNo};
  view.grid_.click_at(1, 1);
  dialog.operation(ObjectOperation::kReplace);
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, u("Все файлы объекта будут удалены, вы уверены?\r\nD:\\A\\"));
  EXPECT_TRUE(host.lines.empty());
  EXPECT_TRUE(runs.kinds.empty());
  EXPECT_EQ(view.minimised, 0);
}

TEST_F(ObjectsDialogTest, ClearForgetsTheListAndRunsTheDeletion) {
  add_object("D:\\A\\*.*");
  fs.write("C:\\CARRIER\\00001.QRN", "list");
  fs.write("C:\\CARRIER\\00001\\X.TXT", "x");
  host.lines.clear();
  view.grid_.click_at(1, 1);
  dialog.operation(ObjectOperation::kClear);
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00001.QRN"));
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00001\\X.TXT"));
  ASSERT_GE(host.lines.size(), 3u);
  EXPECT_EQ(host.lines[0], u("Файл списка объекта 1 удален"));
  EXPECT_EQ(host.lines[1], std::string(76, '_'));
  EXPECT_EQ(host.lines[2], u("Удаление каталога: C:\\CARRIER\\00001\\*.*"));
  EXPECT_EQ(host.lines.back(), std::string(76, '#'));
}

}  // namespace
}  // namespace keldar

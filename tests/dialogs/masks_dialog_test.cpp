#include "dialogs/masks_dialog.h"

#include <deque>
#include <functional>

#include "dialogs/dialogs_fixture.h"
#include "dialogs/memory_grid.h"

namespace keldar {
namespace {

using test::u;

class FakeMasksView : public MasksView {
 public:
  Grid& grid() override { return grid_; }
  void set_info(std::string_view text) override { info = text; }
  void set_index(std::string_view text) override { index = text; }
  EditResult edit_mask(MaskRecord& record) override {
    EXPECT_FALSE(editors.empty());
    if (editors.empty()) return EditResult::kCancelled;
    auto editor = editors.front();
    editors.pop_front();
    return editor(record);
  }
  void show_message(std::string_view text) override { messages.emplace_back(text); }

  MemoryGrid grid_;
  std::string info, index;
  std::deque<std::function<EditResult(MaskRecord&)>> editors;
  std::vector<std::string> messages;
};

// An editor that types `pattern` and confirms through the dialog's own OK.
std::function<EditResult(MaskRecord&)> type(std::string pattern) {
  return [pattern](MaskRecord& r) {
    MaskFields fields = open_mask_edit(r);
    fields.pattern = pattern;
    std::string error;
    return apply_mask_edit(fields, r, error).value();
  };
}

EditResult cancel(MaskRecord&) { return EditResult::kCancelled; }

class MasksDialogTest : public DialogsTest {
 protected:
  void SetUp() override {
    start();
    dialog.open();
  }
  void append(const std::string& pattern) {
    view.grid_.click_at(view.grid_.rows() - 1, 0);
    view.editors.push_back(type(pattern));
    dialog.edit();
  }
  std::vector<std::string> patterns() {
    MaskTable stored;
    stored.load(fs, "C:\\CARRIER\\MASKS.QRV");
    std::vector<std::string> out;
    for (int i = 0; i < stored.count(); ++i) out.push_back(stored.record(i).pattern());
    return out;
  }
  FakeMasksView view;
  MasksDialog dialog{session, view};
};

TEST_F(MasksDialogTest, AnEmptyTableGrowsByEditOnTheEmptyRow) {
  const MemoryGrid& g = view.grid_;
  EXPECT_EQ(g.rows(), 2);
  EXPECT_EQ(g.cell(0, 0), u("Маска файла"));
  EXPECT_EQ(g.cell(0, 4), u("Запрос удал."));
  EXPECT_EQ((std::map<int, int>{{0, 1600}, {1, 500}, {2, 500}, {3, 1100}, {4, 1100}}), g.widths);
  view.grid_.click_at(1, 0);
  dialog.remove();  // the empty row: nothing
  EXPECT_EQ(dialog.counters().deleted, 0);

  append("*.TMP");
  EXPECT_EQ(patterns(), std::vector<std::string>{"*.TMP"});
  EXPECT_EQ(g.rows(), 3);
  EXPECT_EQ(g.cell(1, 0), "*.TMP");
  EXPECT_EQ(g.cell(1, 1), u("Нет"));
  EXPECT_EQ(dialog.counters().added, 1);
}

TEST_F(MasksDialogTest, InsertPutsTheNewMaskBeforeTheCurrentRow) {
  for (const char* p : {"1", "2", "3", "4"}) append(p);
  view.grid_.click_at(2, 3);  // mask 2, index 1
  view.editors.push_back(type("new"));
  dialog.insert();
  EXPECT_EQ(patterns(), (std::vector<std::string>{"1", "new", "2", "3", "4"}));
  EXPECT_EQ(view.grid_.cell(2, 0), "new");
  EXPECT_EQ(view.grid_.cell(5, 0), "4");
  EXPECT_EQ(dialog.counters().added, 5);
  EXPECT_EQ(dialog.counters().changed, 0);
}

TEST_F(MasksDialogTest, InsertCancelledLeavesEverythingAndTheNextEditIsPlain) {
  for (const char* p : {"1", "2"}) append(p);
  const std::string file = *fs.contents("C:\\CARRIER\\MASKS.QRV");
  view.grid_.click_at(1, 0);
  view.editors.push_back(cancel);
  dialog.insert();
  EXPECT_EQ(*fs.contents("C:\\CARRIER\\MASKS.QRV"), file);
  EXPECT_EQ(dialog.counters().added, 2);

  view.grid_.click_at(2, 0);
  view.editors.push_back(type("two"));
  dialog.edit();
  EXPECT_EQ(patterns(), (std::vector<std::string>{"1", "two"}));
  EXPECT_EQ(dialog.counters().changed, 1);
  EXPECT_EQ(dialog.counters().added, 2);
}

TEST_F(MasksDialogTest, OkWithoutAChangeCountsAndSavesNothing) {
  append("*.BAK");
  faults.fail_path("MASKS", 5);  // a save would show a message
  view.grid_.click_at(1, 2);
  view.editors.push_back(type("*.BAK"));
  dialog.edit();
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(dialog.counters().changed, 0);
}

TEST_F(MasksDialogTest, CheckingOnlyAllowCopyOnTheTemplateAddsAnEmptyPattern) {
  view.grid_.click_at(1, 0);
  view.editors.push_back([](MaskRecord& r) {
    MaskFields fields = open_mask_edit(r);
    fields.allow_copy = true;
    std::string error;
    return apply_mask_edit(fields, r, error).value();
  });
  dialog.edit();
  ASSERT_EQ(session.masks.count(), 1);
  EXPECT_EQ(session.masks.record(0).pattern(), "");
  EXPECT_TRUE(session.masks.record(0).allow_copy());
  EXPECT_EQ(view.grid_.cell(1, 1), u("Да"));
}

TEST_F(MasksDialogTest, DeletingTheOnlyMaskLeavesTwoZeroBytes) {
  append("*.*");
  view.grid_.click_at(1, 0);
  dialog.click();
  EXPECT_EQ(view.info, "*.*");
  EXPECT_EQ(view.index, "0");
  dialog.remove();
  EXPECT_EQ(*fs.contents("C:\\CARRIER\\MASKS.QRV"), std::string(2, '\0'));
  EXPECT_EQ(view.grid_.rows(), 2);
  EXPECT_EQ(dialog.counters().deleted, 1);
}

TEST_F(MasksDialogTest, AFailedSaveShowsTheMessage) {
  faults.fail_path("MASKS", 5);
  append("*.LOG");
  EXPECT_EQ(view.messages, std::vector<std::string>{u("Ошибка записи файла масок")});
  EXPECT_EQ(session.masks.count(), 1);
  EXPECT_EQ(dialog.counters().added, 1);
  EXPECT_EQ(view.grid_.rows(), 2);  // not refilled
}

TEST_F(MasksDialogTest, ADamagedTableRefusesEveryChange) {
  const std::string damaged = std::string("\x02\x00", 2) + std::string(76, 'x');
  fs.write("C:\\CARRIER\\MASKS.QRV", damaged);
  ASSERT_EQ(session.masks.load(fs, "C:\\CARRIER\\MASKS.QRV"), load_result::kDamaged);
  dialog.open();
  append("*.LOG");
  dialog.insert();
  EXPECT_EQ(view.messages,
            std::vector<std::string>(2, u("Файл MASKS.QRV поврежден, изменения не записываются")));
  EXPECT_EQ(view.editors.size(), 1u) << "the edit dialog was not opened";
  EXPECT_EQ(session.masks.count(), 0);
  EXPECT_EQ(fs.contents("C:\\CARRIER\\MASKS.QRV"), damaged);
}

TEST(MaskEditTest, PatternsKeepTheirFirst64Characters) {
  MaskRecord r;
  std::string error;
  MaskFields fields = open_mask_edit(r);
  fields.pattern = std::string(64, 'p');
  EXPECT_EQ(apply_mask_edit(fields, r, error), EditResult::kChanged);
  // The stored 64 characters have no terminator; the same text is no change.
  EXPECT_EQ(r.pattern(), std::string(64, 'p'));
  EXPECT_EQ(apply_mask_edit(fields, r, error), EditResult::kUnchanged);
  fields.pattern = std::string(64, 'p') + "qq";
  EXPECT_EQ(apply_mask_edit(fields, r, error), EditResult::kChanged);
  EXPECT_EQ(r.pattern(), std::string(64, 'p'));

  fields.pattern.reset();
  EXPECT_EQ(apply_mask_edit(fields, r, error), std::nullopt);
  EXPECT_EQ(error, u("Маска содержит знаки, которых нет в кодировке Windows-1251"));
}

TEST(MaskEditTest, AskFlagsAreKeptWhateverThePermissions) {
  MaskRecord r;
  r.set_ask_before_replacing(true);
  MaskFields fields = open_mask_edit(r);
  EXPECT_TRUE(fields.ask_before_replacing);
  EXPECT_FALSE(fields.allow_copy);
  EXPECT_TRUE(ask_box_highlighted(fields.allow_copy));
  EXPECT_FALSE(ask_box_highlighted(true));
  fields.ask_before_deleting = true;
  std::string error;
  EXPECT_EQ(apply_mask_edit(fields, r, error), EditResult::kChanged);
  EXPECT_TRUE(r.ask_before_deleting());
  EXPECT_FALSE(r.allow_delete());
  // Both ask flags are 32-bit ones, both permissions 16-bit zeros.
  const std::vector<std::uint8_t> flags(r.bytes.begin() + 64, r.bytes.end());
  EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace keldar

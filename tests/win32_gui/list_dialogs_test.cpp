// The objects, object edit, masks and mask edit dialogs and their grid, as
// the resources make them and as a person uses them: cells clicked, keys
// pressed, buttons pressed and edit dialogs filled in through window
// messages, questions answered through the host's hooks; what the core saw
// checked in the stored tables' bytes. On computer A of the multi-computer
// harness (fake disk), with real runs.
#include <windows.h>
// After windows.h, which they need.
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "fakes/computers.h"
#include "gui/win32/masks_window.h"
#include "gui/win32/object_edit_window.h"
#include "gui/win32/objects_window.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "gui/win32/window_app.h"
#include "win32_gui_support.h"

namespace keldar::test {
namespace {

constexpr const wchar_t* kObjectEdit = L"Объект синхронизации";
constexpr const wchar_t* kMaskEdit = L"Маска файлов";

// ---- the resources --------------------------------------------------------

// An unnamed static: its text and rectangle in dialog units.
struct Label {
  const wchar_t* text;
  int x, y, width, height;
};

struct DialogSpec {
  int resource;
  const wchar_t* caption;
  int width, height;
  std::vector<ControlSpec> controls;
  std::vector<Label> labels;
  std::vector<int> grids, check_boxes, edits;
};

const DialogSpec kDialogs[] = {
    {IDD_OBJECTS,
     L"Объекты синхронизации",
     422,
     299,
     {{IDC_OBJECTS_GRID, nullptr, 7, 7, 408, 233},
      {IDC_OBJECTS_INFO, L"", 7, 242, 408, 10},
      {IDC_OBJECTS_COMPARE, L"Сравнить", 7, 255, 48, 14},
      {IDC_OBJECTS_COPY, L"Копия объекта", 60, 255, 64, 14},
      {IDC_OBJECTS_REPLACE, L"Замена объекта", 129, 255, 68, 14},
      {IDC_OBJECTS_ETALON, L"Эталон", 202, 255, 59, 14},
      {IDC_OBJECTS_FROM_CARRIER, L"С носителя", 266, 255, 59, 14},
      {IDC_OBJECTS_STATE, L"", 331, 257, 84, 9},
      {IDC_OBJECTS_ADD, L"Добавить", 7, 276, 44, 16},
      {IDC_OBJECTS_EDIT, L"Изменить", 57, 276, 44, 16},
      {IDC_OBJECTS_DELETE, L"Удалить", 107, 276, 44, 16},
      {IDC_OBJECTS_CLEAR, L"Очистить", 157, 276, 44, 16},
      {IDC_OBJECTS_INDEX, L"Index", 259, 275, 18, 17},
      {IDC_OBJECTS_ID, L"ID", 327, 275, 26, 17},
      {IDC_OK, L"OK", 354, 276, 61, 16}},
     {{L"Индекс=", 223, 275, 28, 17}, {L"Объект ID=", 286, 275, 40, 17}},
     {IDC_OBJECTS_GRID},
     {},
     {}},
    {IDD_OBJECT_EDIT,
     kObjectEdit,
     362,
     129,
     {{IDC_EDIT_NAME0, L"", 7, 7, 99, 9},
      {IDC_EDIT_NAME1, L"", 7, 32, 99, 9},
      {IDC_EDIT_NAME2, L"", 7, 57, 99, 9},
      {IDC_EDIT_NAME3, L"", 7, 82, 99, 9},
      {IDC_EDIT_MARKER, nullptr, 110, 7, 32, 10},
      {IDC_EDIT_FROM_CARRIER0, L"Копирование с носителя", 147, 7, 100, 12},
      {IDC_EDIT_FROM_CARRIER1, L"Копирование с носителя", 147, 31, 100, 12},
      {IDC_EDIT_FROM_CARRIER2, L"Копирование с носителя", 147, 55, 100, 12},
      {IDC_EDIT_FROM_CARRIER3, L"Копирование с носителя", 147, 79, 100, 12},
      {IDC_EDIT_TO_CARRIER0, L"Копирование на носитель", 252, 7, 103, 12},
      {IDC_EDIT_TO_CARRIER1, L"Копирование на носитель", 252, 31, 103, 12},
      {IDC_EDIT_TO_CARRIER2, L"Копирование на носитель", 252, 55, 103, 12},
      {IDC_EDIT_TO_CARRIER3, L"Копирование на носитель", 252, 79, 103, 12},
      {IDC_EDIT_PATH0, L"", 7, 19, 348, 12},
      {IDC_EDIT_PATH1, L"", 7, 43, 348, 12},
      {IDC_EDIT_PATH2, L"", 7, 67, 348, 12},
      {IDC_EDIT_PATH3, L"", 7, 91, 348, 12},
      {IDC_EDIT_ID, L"ID", 22, 111, 33, 11},
      {IDC_EDIT_NESTED, L"Разрешить вложенные", 69, 110, 96, 12},
      {IDC_EDIT_BROWSE, L"Обзор", 189, 108, 50, 14},
      {IDC_OK, L"OK", 249, 108, 50, 14},
      {IDC_CANCEL, L"Отменить", 305, 108, 50, 14}},
     {{L"ID=", 7, 111, 12, 11}},
     {},
     {IDC_EDIT_FROM_CARRIER0, IDC_EDIT_FROM_CARRIER1, IDC_EDIT_FROM_CARRIER2,
      IDC_EDIT_FROM_CARRIER3, IDC_EDIT_TO_CARRIER0, IDC_EDIT_TO_CARRIER1, IDC_EDIT_TO_CARRIER2,
      IDC_EDIT_TO_CARRIER3, IDC_EDIT_NESTED},
     {IDC_EDIT_PATH0, IDC_EDIT_PATH1, IDC_EDIT_PATH2, IDC_EDIT_PATH3}},
    {IDD_MASKS,
     L"Маски файлов",
     241,
     299,
     {{IDC_MASKS_GRID, nullptr, 7, 7, 227, 252},
      {IDC_MASKS_INFO, L"", 7, 263, 169, 10},
      {IDC_MASKS_INDEX, L"Index", 215, 259, 19, 17},
      {IDC_MASKS_INSERT, L"Вставить", 7, 276, 50, 16},
      {IDC_MASKS_EDIT, L"Изменить", 66, 276, 50, 16},
      {IDC_MASKS_DELETE, L"Удалить", 125, 276, 50, 16},
      {IDC_OK, L"OK", 184, 276, 50, 16}},
     {{L"Индекс=", 181, 259, 30, 17}},
     {IDC_MASKS_GRID},
     {},
     {}},
    {IDD_MASK_EDIT,
     kMaskEdit,
     186,
     83,
     {{IDC_MASK_COPY, L"Разрешить копирование", 7, 7, 109, 11},
      {IDC_MASK_DELETE, L"Разрешить удаление", 7, 21, 109, 11},
      {IDC_MASK_ASK_REPLACE, L"Запрос на замену файла", 7, 35, 110, 11},
      {IDC_MASK_ASK_DELETE, L"Запрос на удаление файла", 7, 49, 110, 11},
      {IDC_MASK_PATTERN, L"", 7, 63, 172, 12},
      {IDC_OK, L"OK", 129, 7, 50, 14},
      {IDC_CANCEL, L"Отменить", 129, 24, 50, 14}},
     {},
     {},
     {IDC_MASK_COPY, IDC_MASK_DELETE, IDC_MASK_ASK_REPLACE, IDC_MASK_ASK_DELETE},
     {IDC_MASK_PATTERN}},
};

int screen_dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

LONG style_of(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

TEST(Win32ListLayout, EachDialogAsItsResourceMakesIt) {
  CMSFlexGrid::register_class();
  for (const DialogSpec& d : kDialogs) {
    SCOPED_TRACE(d.resource);
    HWND dialog = CreateDialogParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(d.resource), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    check_layout(dialog, d.caption, d.width, d.height, d.controls);
    for (const Label& l : d.labels) {
      HWND label = FindWindowExW(dialog, nullptr, L"Static", l.text);
      ASSERT_NE(label, nullptr);
      RECT expected{l.x, l.y, l.width, l.height};
      MapDialogRect(dialog, &expected);
      RECT got;
      GetWindowRect(label, &got);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
      EXPECT_EQ(got.left, expected.left);
      EXPECT_EQ(got.top, expected.top);
    }
    for (int id : d.grids) EXPECT_NE(CMSFlexGrid::from(GetDlgItem(dialog, id)), nullptr);
    for (int id : d.check_boxes) {
      EXPECT_EQ(style_of(GetDlgItem(dialog, id)) & BS_TYPEMASK, BS_AUTOCHECKBOX) << id;
    }
    for (int id : d.edits) EXPECT_TRUE(style_of(GetDlgItem(dialog, id)) & ES_AUTOHSCROLL) << id;
    EXPECT_EQ(style_of(GetDlgItem(dialog, IDC_OK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    DestroyWindow(dialog);
  }
}

// ---- the dialogs at work --------------------------------------------------

// The main window as far as the list dialogs need it: it opens them as
// the main window does, and runs end on the interface thread and show the
// objects dialog again.
class ListsView : public MainWindowView {
 public:
  ListsView(Session& session, Win32Host& host) : host_(host), make_(list_dialogs(session, host)) {}
  void clear_log() override {}
  void set_enabled(Command, bool) override {}
  void set_text(Command, std::string_view) override {}
  void open_masks_dialog() override { open(Command::kMasks); }
  void open_objects_dialog() override { open(Command::kObjects); }
  void close_dialog() override { dialog->close(); }
  void show_run() override {}
  void post_run_ended() override {
    host_.post([this] { program->run_ended(); });
  }
  void restore_objects_dialog() override { dialog->run_ended(); }
  void close_window() override {}

  Program* program = nullptr;
  std::unique_ptr<ListDialog> dialog;
  int closed = 0;

 private:
  void open(Command command) {
    dialog = make_(command, nullptr, *program, [this] {
      ++closed;
      program->dialog_closed(dialog->counters());
    });
  }

  Win32Host& host_;
  ListDialogMaker make_;
};

// Sends a mouse message to the middle of cell (row, column).
void click_cell(CMSFlexGrid& grid, int row, int column, UINT message = WM_LBUTTONDOWN) {
  const RECT r = grid.cell_rect(row, column);
  SendMessageW(grid.window(), message, MK_LBUTTON,
               MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

// A key pressed in `target` as the message loop hands it on: the dialog's
// navigation first.
void press(HWND dialog, HWND target, WPARAM key) {
  MSG msg{target, WM_KEYDOWN, key, 0, 0, {}};
  if (!IsDialogMessageW(dialog, &msg)) DispatchMessageW(&msg);
}

bool checked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class Win32ListDialogs : public ::testing::Test {
 protected:
  Win32ListDialogs() {
    world.write_objects(world.one_object());
    world.write_masks({{"*.tmp", false}, {"*.doc"}, {"*.bak", true, false, true}});
    world.start_only(0);  // computers A and B known to the carrier
    world.start_only(1);
    host.answer_hook = [this](const Question& q) {
      questions.push_back(q);
      return answer;
    };
    host.message_hook = [this](const std::wstring& text) { messages.push_back(text); };
    host.on_log_line = [this](const std::wstring& line, bool) { lines.push_back(line); };
    view.program = &program;
    EXPECT_FALSE(program.start_up('C'));
  }
  ~Win32ListDialogs() override {
    if (view.dialog) view.dialog->close();
    pump_until([this] { return !program.busy(); });
    EXPECT_TRUE(messages.empty()) << "a message was shown";
  }

  ObjectsWindow& open_objects() {
    program.open_objects();
    return dynamic_cast<ObjectsWindow&>(*view.dialog);
  }
  MasksWindow& open_masks() {
    program.open_masks();
    return dynamic_cast<MasksWindow&>(*view.dialog);
  }
  // The bytes of a table file on the carrier.
  std::string stored(const char* name) {
    return world.fake().contents(world.join(world.carrier(), name)).value_or("(missing)");
  }
  std::wstring label(int id) { return text_of(GetDlgItem(view.dialog->hwnd(), id)); }
  bool logged(const std::wstring& line) {
    pump();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  Computers world{{}};
  Win32Host host;
  std::unique_ptr<Session> session = world.session(0, host);
  ListsView view{*session, host};
  Program program{*session, view};
  Answer answer = Answer::kNo;
  std::vector<Question> questions;
  std::vector<std::wstring> messages, lines;
};

// The arrows move the current cell and stay inside the rows; Tab leaves the
// grid; Enter and Insert open the edit dialog (on the current row, and on
// the empty last row) without closing the dialog; Delete removes the
// current row's record.
void check_grid_keys(HWND dialog, CMSFlexGrid& grid, const wchar_t* edit_caption) {
  SetFocus(grid.window());
  grid.set_row(1);
  grid.set_column(0);
  press(dialog, grid.window(), VK_UP);
  EXPECT_EQ(grid.row(), 1);
  press(dialog, grid.window(), VK_DOWN);
  press(dialog, grid.window(), VK_RIGHT);
  EXPECT_EQ(grid.row(), 2);
  EXPECT_EQ(grid.column(), 1);
  press(dialog, grid.window(), VK_END);
  EXPECT_EQ(grid.column(), 4);
  press(dialog, grid.window(), VK_NEXT);
  press(dialog, grid.window(), VK_DOWN);
  EXPECT_EQ(grid.row(), grid.rows() - 1);
  int edits = 0;
  for (WPARAM key : {VK_RETURN, VK_INSERT}) {
    when_shown(edit_caption, [&](HWND edit) {
      ++edits;
      click(edit, IDCANCEL);
    });
    press(dialog, grid.window(), key);
  }
  EXPECT_EQ(edits, 2);
  EXPECT_TRUE(IsWindowVisible(dialog));  // Enter was not the dialog's OK
  const int rows = grid.rows();
  grid.set_row(1);
  SetFocus(grid.window());
  press(dialog, grid.window(), VK_DELETE);
  EXPECT_EQ(grid.rows(), rows - 1);
  ASSERT_EQ(GetFocus(), grid.window());
  press(dialog, grid.window(), VK_TAB);
  EXPECT_NE(GetFocus(), grid.window());
}

TEST_F(Win32ListDialogs, ObjectsGridShowsTheTableAndFollowsClicks) {
  CMSFlexGrid& grid = open_objects().flex_grid();
  const int dpi = screen_dpi();
  const int twips[] = {400, 2100, 2100, 2100, 2100};
  const wchar_t* headers[] = {L"ID", L"A", L"B", L"", L""};
  for (int column = 0; column < 5; ++column) {
    EXPECT_EQ(grid.column_pixels(column), MulDiv(twips[column], dpi, 1440));
    const RECT r = grid.cell_rect(0, column);
    EXPECT_EQ(r.right - r.left, grid.column_pixels(column));
    EXPECT_EQ(wide(grid.cell(0, column)), headers[column]);
    EXPECT_EQ(grid.bold(0, column), column == 1);  // this computer's column
  }
  ASSERT_EQ(grid.rows(), 3);  // header, one object, the empty row
  EXPECT_EQ(grid.row(), 2);
  EXPECT_EQ(label(IDC_OBJECTS_INDEX), L"1");

  click_cell(grid, 1, 2);
  EXPECT_EQ(grid.row(), 1);
  EXPECT_EQ(grid.column(), 2);
  EXPECT_EQ(label(IDC_OBJECTS_INFO), wide(world.join(world.folder(1), "*.*")));
  EXPECT_EQ(label(IDC_OBJECTS_ID), L"1");
  EXPECT_EQ(label(IDC_OBJECTS_INDEX), L"0");
  click_cell(grid, 1, 0);  // the id column leaves the info line
  EXPECT_EQ(label(IDC_OBJECTS_INFO), wide(world.join(world.folder(1), "*.*")));
  click_cell(grid, 0, 3);  // the header takes no clicks
  EXPECT_EQ(grid.column(), 0);

  std::wstring edited_id;
  when_shown(kObjectEdit, [&](HWND edit) {
    edited_id = text_of(GetDlgItem(edit, IDC_EDIT_ID));
    click(edit, IDCANCEL);
  });
  click_cell(grid, 1, 1, WM_LBUTTONDBLCLK);
  EXPECT_EQ(edited_id, L"1");
  check_grid_keys(view.dialog->hwnd(), grid, kObjectEdit);
}

TEST_F(Win32ListDialogs, MasksGridWorksFromTheKeyboard) {
  MasksWindow& window = open_masks();
  CMSFlexGrid& grid = window.flex_grid();
  const int dpi = screen_dpi();
  const int twips[] = {1600, 500, 500, 1100, 1100};
  const wchar_t* row1[] = {L"*.tmp", L"Нет", L"Да", L"Нет", L"Нет"};
  for (int column = 0; column < 5; ++column) {
    EXPECT_EQ(grid.column_pixels(column), MulDiv(twips[column], dpi, 1440));
    EXPECT_EQ(wide(grid.cell(1, column)), row1[column]);
  }
  EXPECT_EQ(wide(grid.cell(0, 3)), L"Запрос зам.");
  click_cell(grid, 3, 4);  // any column shows the pattern
  EXPECT_EQ(label(IDC_MASKS_INFO), L"*.bak");
  EXPECT_EQ(label(IDC_MASKS_INDEX), L"2");
  check_grid_keys(window.hwnd(), grid, kMaskEdit);
}

TEST_F(Win32ListDialogs, ObjectsAddEditDeleteAreStored) {
  ObjectsWindow& window = open_objects();
  ObjectTable expected = world.one_object();
  // Добавить: a path for A, one permission unchecked.
  when_shown(kObjectEdit, [](HWND edit) {
    EXPECT_EQ(text_of(GetDlgItem(edit, IDC_EDIT_ID)), L"0");
    for (int id = IDC_EDIT_FROM_CARRIER0; id <= IDC_EDIT_TO_CARRIER3; ++id) {
      EXPECT_TRUE(checked(edit, id)) << id;  // the eight permission boxes
    }
    EXPECT_FALSE(checked(edit, IDC_EDIT_NESTED));
    SetWindowTextW(GetDlgItem(edit, IDC_EDIT_PATH0), L"D:\\Новый\\*.*");
    SendMessageW(GetDlgItem(edit, IDC_EDIT_TO_CARRIER3), BM_CLICK, 0, 0);
    click(edit, IDOK);
  });
  click(window.hwnd(), IDC_OBJECTS_ADD);
  ObjectRecord& added = expected.new_object();
  added.set_id(2);
  ASSERT_TRUE(added.set_path(0, cp1251("D:\\Новый\\*.*")));
  added.set_copy_to_carrier(3, false);
  ASSERT_TRUE(expected.commit_new_object());
  expected.set_next_id(3);
  EXPECT_EQ(stored("SYNCOBJ.QRV"), expected.encode());
  EXPECT_EQ(window.flex_grid().row(), 3);  // back on the empty row

  // Изменить, and Да to the new identity: the next id.
  window.flex_grid().set_row(1);
  answer = Answer::kYes;
  when_shown(kObjectEdit, [](HWND edit) {
    SendMessageW(GetDlgItem(edit, IDC_EDIT_NESTED), BM_CLICK, 0, 0);
    click(edit, IDOK);
  });
  click(window.hwnd(), IDC_OBJECTS_EDIT);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text,
            L"Объект был изменен, изменить идентификатор (будет удален файл общего списка)?");
  EXPECT_EQ(questions[0].caption, Win32Host::app_name());
  EXPECT_EQ(questions[0].icon, UINT{MB_ICONQUESTION});
  EXPECT_TRUE(questions[0].default_no);
  EXPECT_FALSE(questions[0].cancel);
  expected.record(0).set_allow_nested(false);
  expected.record(0).set_id(3);
  expected.set_next_id(4);
  EXPECT_EQ(stored("SYNCOBJ.QRV"), expected.encode());

  // OK without a change stores and counts nothing.
  window.flex_grid().set_row(2);
  when_shown(kObjectEdit, [](HWND edit) { click(edit, IDOK); });
  click(window.hwnd(), IDC_OBJECTS_EDIT);

  // Удалить, without a question.
  window.flex_grid().set_row(1);
  click(window.hwnd(), IDC_OBJECTS_DELETE);
  expected.remove(0);
  EXPECT_EQ(stored("SYNCOBJ.QRV"), expected.encode());
  EXPECT_EQ(questions.size(), 1u);

  EXPECT_EQ(window.counters().added, 1);
  EXPECT_EQ(window.counters().changed, 1);
  EXPECT_EQ(window.counters().deleted, 1);
  click(window.hwnd(), IDCANCEL);  // Esc and the close box are OK
  EXPECT_EQ(view.closed, 1);
  EXPECT_TRUE(logged(L"Удалено объектов синхронизации: 1"));
  EXPECT_TRUE(logged(L"Добавлено объектов синхронизации: 1"));
  EXPECT_TRUE(logged(L"Изменено объектов синхронизации: 1"));
}

TEST_F(Win32ListDialogs, OperationsRunMinimisedAndReplaceAnsweredNoRunsNothing) {
  ObjectsWindow& window = open_objects();
  window.flex_grid().set_row(1);
  click(window.hwnd(), IDC_OBJECTS_REPLACE);  // answered Нет
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_FALSE(program.busy());
  EXPECT_FALSE(IsIconic(window.hwnd()));

  click(window.hwnd(), IDC_OBJECTS_COMPARE);
  EXPECT_TRUE(IsIconic(window.hwnd()));
  ASSERT_TRUE(pump_until([&] { return !program.busy() && !IsIconic(window.hwnd()); }));
  click_cell(window.flex_grid(), 1, 1);
  EXPECT_EQ(label(IDC_OBJECTS_STATE), L"заполнен");
  click_cell(window.flex_grid(), 1, 0);
  EXPECT_EQ(label(IDC_OBJECTS_STATE), L"");
}

// Обзор on this computer's row (the third): the open-file dialog starts in
// the folder of the stored path with its name part, takes a folder that
// does not exist, leaves the current directory alone, and keeps the edit
// dialog waiting (disabled) while it is open. The chosen path goes into the
// row's edit box only.
TEST_F(Win32ListDialogs, ObjectEditMarkerAndBrowse) {
  ObjectRecord record = world.one_object().record(0);
  ASSERT_TRUE(record.set_path(2, "C:\\windows\\system32\\*.*"));
  std::wstring folder, name, path;
  bool edit_enabled = true, read_only_box = true;
  RECT marker{}, expected{110, 57, 0, 0};
  when_shown(kObjectEdit, [&](HWND edit) {
    GetWindowRect(GetDlgItem(edit, IDC_EDIT_MARKER), &marker);
    MapWindowPoints(nullptr, edit, reinterpret_cast<POINT*>(&marker), 2);
    MapDialogRect(edit, &expected);
    when_shown(L"Select path", [&](HWND chooser) {
      wchar_t text[MAX_PATH] = {};
      SendMessageW(chooser, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(text));
      folder = text;
      SendMessageW(chooser, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(text));
      name = text;
      edit_enabled = IsWindowEnabled(edit);
      read_only_box = IsWindowVisible(GetDlgItem(chooser, chx1));
      SetWindowTextW(GetDlgItem(chooser, cmb13), L"Выбор\\*.*");
      click(chooser, IDOK);
    });
    click(edit, IDC_EDIT_BROWSE);
    path = text_of(GetDlgItem(edit, IDC_EDIT_PATH2));
    EXPECT_EQ(text_of(GetDlgItem(edit, IDC_EDIT_PATH0)), wide(record.path(0)));
    click(edit, IDCANCEL);
  });
  wchar_t before[MAX_PATH], after[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  ObjectEditWindow window(record, session->computers, 2, host);
  EXPECT_EQ(window.run(nullptr), EditResult::kCancelled);
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_EQ(marker.left, expected.left);  // beside the third row's name
  EXPECT_EQ(marker.top, expected.top);
  EXPECT_EQ(folder, L"C:\\windows\\system32");
  EXPECT_EQ(name, L"*.*");
  EXPECT_FALSE(edit_enabled);
  EXPECT_FALSE(read_only_box);
  EXPECT_EQ(path, L"C:\\windows\\system32\\Выбор\\*.*");
  EXPECT_STREQ(before, after);
  EXPECT_EQ(record.path(2), "C:\\windows\\system32\\*.*");  // cancelled
}

TEST_F(Win32ListDialogs, MasksInsertEditDeleteAreStored) {
  MasksWindow& window = open_masks();
  MaskTable expected;
  expected.load(world.fake(), world.join(world.carrier(), "MASKS.QRV"));
  // Вставить before the second mask; only the pattern and one flag set.
  click_cell(window.flex_grid(), 2, 0);
  when_shown(kMaskEdit, [](HWND edit) {
    EXPECT_EQ(text_of(GetDlgItem(edit, IDC_MASK_PATTERN)), L"");
    SetWindowTextW(GetDlgItem(edit, IDC_MASK_PATTERN), L"*.нов");
    SendMessageW(GetDlgItem(edit, IDC_MASK_COPY), BM_CLICK, 0, 0);
    click(edit, IDOK);
  });
  click(window.hwnd(), IDC_MASKS_INSERT);
  MaskRecord& added = expected.record(expected.count());
  ASSERT_TRUE(added.set_pattern(cp1251("*.нов")));
  added.set_allow_copy(true);
  ASSERT_TRUE(expected.insert_template_at(1));
  EXPECT_EQ(stored("MASKS.QRV"), expected.encode());

  // Вставить, then Отменить: nothing changes, and the next Изменить is a
  // plain edit.
  when_shown(kMaskEdit, [](HWND edit) { click(edit, IDCANCEL); });
  click(window.hwnd(), IDC_MASKS_INSERT);
  EXPECT_EQ(stored("MASKS.QRV"), expected.encode());

  // The ask box of a permission that is off is drawn pushed, and can still
  // be checked; checking the permission clears the look.
  click_cell(window.flex_grid(), 1, 0);  // "*.tmp", copy off
  when_shown(kMaskEdit, [](HWND edit) {
    HWND ask = GetDlgItem(edit, IDC_MASK_ASK_REPLACE);
    EXPECT_TRUE(SendMessageW(ask, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_FALSE(SendMessageW(GetDlgItem(edit, IDC_MASK_ASK_DELETE), BM_GETSTATE, 0, 0) &
                 BST_PUSHED);
    SendMessageW(ask, BM_CLICK, 0, 0);
    EXPECT_TRUE(checked(edit, IDC_MASK_ASK_REPLACE));
    EXPECT_TRUE(SendMessageW(ask, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(GetDlgItem(edit, IDC_MASK_COPY), BM_CLICK, 0, 0);
    EXPECT_FALSE(SendMessageW(ask, BM_GETSTATE, 0, 0) & BST_PUSHED);
    click(edit, IDOK);
  });
  click(window.hwnd(), IDC_MASKS_EDIT);
  expected.record(0).set_ask_before_replacing(true);
  expected.record(0).set_allow_copy(true);
  EXPECT_EQ(stored("MASKS.QRV"), expected.encode());

  // Удалить every mask: the file keeps its count alone.
  while (window.flex_grid().rows() > 2) {
    window.flex_grid().set_row(1);
    click(window.hwnd(), IDC_MASKS_DELETE);
  }
  EXPECT_EQ(stored("MASKS.QRV"), std::string(2, '\0'));
  EXPECT_EQ(window.counters().added, 1);
  EXPECT_EQ(window.counters().changed, 1);
  EXPECT_EQ(window.counters().deleted, 4);
}

}  // namespace
}  // namespace keldar::test

// The main window driven through window messages, as a person would drive
// it: buttons pressed, the name dialog filled in, questions answered, on the
// computers of tests/fakes/computers.h on the real disk (the Windows layer
// under Wine) with the system clock.
#include <windows.h>
// After windows.h, which it needs.
#include <richedit.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "fakes/computers.h"
#include "gui/win32/main_window.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "gui/win32/window_app.h"
#include "platform/text.h"
#include "win32_gui_support.h"

namespace keldar::test {
namespace {

constexpr int kAnn = 0, kBoris = 1;
constexpr std::int64_t kT0 = Computers::kNow;

std::wstring w(std::string_view utf8) { return wide(cp1251(utf8)); }

std::string read_file(const std::string& path) {
  std::ifstream in(Computers::native(path), std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

// A list dialog that stands in for the objects and masks dialogs: it has
// counted what a test gives it and closes when told.
class StubListDialog : public ListDialog {
 public:
  StubListDialog(ChangeCounters counters, std::function<void()> closed)
      : counters_(counters), closed_(std::move(closed)) {}
  HWND hwnd() const override { return nullptr; }
  const ChangeCounters& counters() const override { return counters_; }
  void close() override { closed_(); }

 private:
  ChangeCounters counters_;
  std::function<void()> closed_;
};

// One computer of the world: the host, the session and the window, with
// the program's list dialogs unless a test gives its own.
struct Computer {
  Computer(Computers& world, int c, ListDialogMaker maker = {})
      : session(world.session(c, host)),
        window(*session, host, maker ? std::move(maker) : list_dialogs(*session, host)) {
    ShowWindow(window.hwnd(), SW_SHOW);
  }
  // Start-up; a computer new to the carrier is named `name` in the
  // computer-name dialog.
  void start(const std::wstring& name) {
    if (!name.empty()) {
      when_shown(L"Компьютер", [name](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_NAME_EDIT, name.c_str());
        click(dialog, IDOK);
      });
    }
    ASSERT_FALSE(window.program().start_up('C'));
  }
  // Presses a button of the main window as a click does.
  void press(Command command) { SendMessageW(window.button(command), BM_CLICK, 0, 0); }
  void wait_for_run() {
    ASSERT_TRUE(pump_until([&] { return !window.program().busy(); }));
  }
  std::wstring pane() {
    pump();
    return window.pane_text();
  }
  std::wstring text(int id) {
    pump();
    return text_of(GetDlgItem(window.hwnd(), id));
  }

  Win32Host host;
  std::unique_ptr<Session> session;
  MainWindow window;
};

// The list dialog open in `c`'s window.
HWND list_dialog(Computer& c) {
  ListDialog* dialog = c.window.list_dialog();
  return dialog != nullptr ? dialog->hwnd() : nullptr;
}

class Win32MainWindow : public ::testing::Test {
 protected:
  Win32MainWindow() : world_({.disk = Computers::Disk::kNative, .carrier = "Носитель"}) {
    world_.use_system_clock();
  }
  Computers world_;
};

// Сравнить and Синхронизировать start the runs the harness sees; Выход
// ends the program and leaves the log on the carrier; another computer then
// receives what this one put there.
TEST_F(Win32MainWindow, ButtonsRunCompareAndSynchronizeThenExitWritesTheLog) {
  world_.write_objects(world_.one_object());
  world_.write_masks({{"*.*"}});
  world_.put(kAnn, "доклад.txt", "from Ann", kT0);
  // Ann and Boris (with nothing) join the carrier in this order.
  ASSERT_EQ(world_.start_only(kAnn).started, StartResult::kReady);
  ASSERT_EQ(world_.synchronize(kBoris).finished, 0);
  {
    Computer ann(world_, kAnn);
    ann.start(L"");
    EXPECT_EQ(ann.text(IDC_MAIN_STATUS), L"1=>A");
    // The first run takes the folder as it is; a change after it travels.
    // Compare scans the folder again, Synchronize works on the lists it
    // finds held.
    ann.press(Command::kSynchronize);
    ann.wait_for_run();
    world_.put(kAnn, "доклад.txt", "changed by Ann", kT0 + 10);
    ann.press(Command::kCompare);
    ann.wait_for_run();
    EXPECT_NE(ann.pane().find(w("Сравнение объектов со списками файлов")), std::wstring::npos);
    ann.press(Command::kSynchronize);
    ann.wait_for_run();
    EXPECT_EQ(world_.tree(world_.object_carrier(1)),
              (Tree{{"доклад.txt", entry_text("changed by Ann", kT0 + 10)}}));

    EXPECT_EQ(text_of(ann.window.button(Command::kExit)), L"Выход");
    EXPECT_EQ(text_of(ann.window.hwnd()), L"Brindlewood");
    EXPECT_NE(ann.pane().find(w("Действие 2.")), std::wstring::npos);
    ann.press(Command::kExit);
    EXPECT_EQ(ann.window.hwnd(), nullptr);
    EXPECT_TRUE(ann.window.program().finished());
  }
  const std::string log = read_file(world_.join(world_.carrier(), "KELDAR.LOG"));
  EXPECT_NE(log.find(std::string(95, '=')), std::string::npos);

  const RunRecord boris = world_.synchronize(kBoris);
  EXPECT_EQ(world_.tree(kBoris), world_.tree(kAnn)) << boris.all();
}

// A newcomer sets up the carrier through the window alone: a mask and an
// object in the list dialogs, a comparison and a synchronisation; a second
// computer joins, and after a change on the first it receives the files.
TEST_F(Win32MainWindow, NewcomerSetsUpTheCarrierAndASecondComputerReceivesTheFiles) {
  world_.put(kAnn, "docs/план.txt", "the plan", kT0);
  std::filesystem::create_directories(
      Computers::native(world_.join(world_.folder(kBoris), "docs")));
  auto object_path = [&](int c) { return wide(world_.join(world_.folder(c), "docs/*.*")); };
  {
    Computer ann(world_, kAnn);
    ann.start(L"Анна");
    ann.press(Command::kMasks);
    HWND masks = list_dialog(ann);
    ASSERT_NE(masks, nullptr);
    when_shown(L"Маска файлов", [](HWND edit) {
      SetDlgItemTextW(edit, IDC_MASK_PATTERN, L"*.*");
      for (int box : {IDC_MASK_COPY, IDC_MASK_DELETE}) {
        if (!IsDlgButtonChecked(edit, box)) SendMessageW(GetDlgItem(edit, box), BM_CLICK, 0, 0);
      }
      click(edit, IDOK);
    });
    click(masks, IDC_MASKS_INSERT);
    click(masks, IDOK);
    EXPECT_NE(ann.pane().find(w("Добавлено масок файлов: 1")), std::wstring::npos);

    ann.press(Command::kObjects);
    HWND objects = list_dialog(ann);
    ASSERT_NE(objects, nullptr);
    EXPECT_FALSE(IsWindowEnabled(ann.window.button(Command::kCompare)));
    when_shown(L"Объект синхронизации", [&](HWND edit) {
      SetDlgItemTextW(edit, IDC_EDIT_PATH0, object_path(kAnn).c_str());
      SetDlgItemTextW(edit, IDC_EDIT_PATH1, object_path(kBoris).c_str());
      click(edit, IDOK);
    });
    click(objects, IDC_OBJECTS_ADD);
    click(objects, IDOK);
    EXPECT_NE(ann.pane().find(w("Новый объект: 1\nДобавлено объектов синхронизации: 1")),
              std::wstring::npos);

    ann.press(Command::kCompare);
    ann.wait_for_run();
    EXPECT_NE(ann.pane().find(w("Первая обработка списка файлов на этом компьютере...")),
              std::wstring::npos);
    ann.press(Command::kSynchronize);
    ann.wait_for_run();
    ann.press(Command::kExit);
  }
  auto synchronize = [&](int c, const std::wstring& name) {
    Computer computer(world_, c);
    computer.start(name);
    computer.press(Command::kSynchronize);
    computer.wait_for_run();
    computer.press(Command::kExit);
    EXPECT_EQ(computer.window.hwnd(), nullptr);
  };
  synchronize(kBoris, L"Борис");  // joins with an empty folder
  world_.put(kAnn, "docs/план.txt", "the new plan", kT0 + 10);
  world_.put(kAnn, "docs/итог.txt", "the result", kT0);
  synchronize(kAnn, L"");
  EXPECT_EQ(world_.tree(world_.object_carrier(1)).size(), 2u);
  synchronize(kBoris, L"");
  const Tree both = {{"docs/итог.txt", entry_text("the result", kT0)},
                     {"docs/план.txt", entry_text("the new plan", kT0 + 10)}};
  EXPECT_EQ(world_.tree(kAnn), both);
  EXPECT_EQ(world_.tree(kBoris), both);
  EXPECT_EQ(world_.tree(world_.object_carrier(1)), Tree{});  // nobody needs the copies now
}

// Стоп during a run only stops it, also by the close box; idle, the close
// box ends the program. The worker's question is a message box with no
// owner: the window stays enabled and its Стоп works while the worker waits.
TEST_F(Win32MainWindow, StopWorksWhileAQuestionWaitsAndTheCloseBoxThenEnds) {
  world_.write_objects(world_.one_object());
  world_.put(kAnn, "a.txt", "a", kT0);
  world_.put(kAnn, "b.txt", "b", kT0);
  ASSERT_EQ(world_.synchronize(kAnn).finished, 0);
  world_.remove(kAnn, "a.txt");
  world_.remove(kAnn, "b.txt");
  Computer ann(world_, kAnn);
  ann.start(L"");
  std::wstring seen;
  when_shown(L"Копирование на носитель", [&](HWND box) {
    const std::wstring before = text_of(ann.window.button(Command::kExit));
    ann.press(Command::kExit);
    SendMessageW(ann.window.hwnd(), WM_CLOSE, 0, 0);
    seen = before + L"|" + std::to_wstring(IsWindowEnabled(ann.window.hwnd())) + L"|" +
           std::to_wstring(ann.window.hwnd() != nullptr) + L"|" +
           std::to_wstring(ann.session->queue.running());
    click(box, IDNO);
  });
  ann.press(Command::kSynchronize);
  ann.wait_for_run();
  EXPECT_EQ(seen, L"Стоп|1|1|0");
  EXPECT_NE(ann.pane().find(w("Процесс прерван ") + std::wstring(60, L'#')), std::wstring::npos);
  EXPECT_EQ(text_of(ann.window.button(Command::kExit)), L"Выход");
  SendMessageW(ann.window.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(ann.window.hwnd(), nullptr);
}

// The questions as message boxes: caption, text with its line ends, the
// buttons, the icon and the default button, asked from a worker thread.
TEST_F(Win32MainWindow, QuestionsAreMessageBoxesWithTheirButtonsIconAndDefault) {
  Computer ann(world_, kAnn);
  ann.start(L"Анна");
  struct Case {
    bool warning, cancel, deletes;
    Answer pressed;
    const wchar_t* expected;  // buttons, icon, default
  };
  const Case cases[] = {
      {false, true, false, Answer::kCancel, L"&Да&НетОтмена||6"},
      {true, true, false, Answer::kYes, L"&Да&НетОтмена|icon|6"},
      {false, false, false, Answer::kNo, L"&Да&Нет||6"},
      {false, false, true, Answer::kYes, L"&Да&Нет||7"},
  };
  for (const Case& c : cases) {
    std::wstring seen;
    when_shown(L"Вопрос", [&](HWND box) {
      seen = text_of(GetDlgItem(box, 0xFFFF)) + L"|";
      for (int id : {IDYES, IDNO, IDCANCEL}) seen += text_of(GetDlgItem(box, id));
      HWND icon = GetDlgItem(box, 0x0440);
      seen += std::wstring(L"|") + (SendMessageW(icon, STM_GETICON, 0, 0) != 0 ? L"icon" : L"");
      for (int id : {IDYES, IDNO}) {
        if ((GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
          seen += L"|" + std::to_wstring(id);
        }
      }
      click(box, c.pressed == Answer::kYes ? IDYES : c.pressed == Answer::kNo ? IDNO : IDCANCEL);
    });
    Answer answer{};
    std::thread worker([&] {
      answer = c.deletes
                   ? ann.host.ask_to_delete(cp1251("Удалить?\r\nДа"), cp1251("Вопрос"))
                   : ann.host.ask(cp1251("Удалить?\r\nДа"), cp1251("Вопрос"), c.warning, c.cancel);
    });
    ASSERT_TRUE(pump_until([&] { return !seen.empty(); }));
    worker.join();
    EXPECT_EQ(seen, std::wstring(L"Удалить?\r\nДа|") + c.expected);
    EXPECT_EQ(answer, c.pressed);
  }
}

// Enter does not close the window, Esc is Выход; the pane keeps its last
// lines as plain text, each failure line in a colour of its own and the
// next one not.
TEST_F(Win32MainWindow, EnterIsIgnoredEscExitsAndThePaneShowsFailures) {
  Computer ann(world_, kAnn);
  ann.start(L"Анна");
  ann.window.set_pane_lines(3);
  for (const char* line : {"один", "ERC=файл", "{\\rtf1 три}", "четыре"}) {
    ann.host.show_log_line(cp1251(line));
  }
  EXPECT_EQ(ann.pane(), L"ERC=файл\n{\\rtf1 три}\nчетыре");  // plain text, as logged
  HWND pane = ann.window.log_pane();
  constexpr COLORREF kAuto = 0xFF000000;  // the pane's own text colour
  auto colour_at = [&](LONG at) {
    CHARRANGE range{at, at + 1};
    SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwEffects & CFE_AUTOCOLOR) ? kAuto : format.crTextColor;
  };
  EXPECT_EQ(colour_at(0), RGB(0xC0, 0, 0));
  EXPECT_EQ(colour_at(10), kAuto);

  SetFocus(pane);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageW(pane, WM_KEYDOWN, key, 0);
    pump();
    if (key == VK_RETURN) {
      EXPECT_NE(ann.window.hwnd(), nullptr);
    }
  }
  EXPECT_EQ(ann.window.hwnd(), nullptr);
  EXPECT_TRUE(ann.window.program().finished());
}

// The window has its icon, big and small; the system menu's item opens the
// about box; a double click on the window opens the font dialog, and
// cancelling it keeps the pane's font.
TEST_F(Win32MainWindow, AboutBoxFromTheSystemMenuAndCancelledFontKeepsThePaneFont) {
  Computer ann(world_, kAnn);
  ann.start(L"Анна");
  for (WPARAM size : {ICON_BIG, ICON_SMALL}) {
    EXPECT_NE(SendMessageW(ann.window.hwnd(), WM_GETICON, size, 0), 0);
  }
  HMENU menu = GetSystemMenu(ann.window.hwnd(), FALSE);
  wchar_t item[64] = {};
  GetMenuStringW(menu, IDM_ABOUT, item, 64, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"&О программе KELDAR...");
  bool about_shown = false;
  when_shown(L"О программе KELDAR", [&](HWND about) {
    check_layout(about, L"О программе KELDAR", 174, 47, {{IDC_OK, L"OK", 124, 7, 44, 14}});
    about_shown = true;
    click(about, IDOK);
  });
  SendMessageW(ann.window.hwnd(), WM_SYSCOMMAND, IDM_ABOUT, 0);
  EXPECT_TRUE(about_shown);

  LOGFONTW before{}, after{};
  GetObjectW(ann.window.pane_font(), sizeof before, &before);
  EXPECT_STREQ(before.lfFaceName, L"Fixedsys");
  EXPECT_EQ(before.lfWeight, FW_NORMAL);
  EXPECT_EQ(before.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(before.lfOutPrecision, OUT_STROKE_PRECIS);
  bool font_dialog = false;
  when_shown_if(
      [&](HWND window) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        return window != ann.window.hwnd() && std::wstring(name) == L"#32770";
      },
      [&](HWND dialog) {
        font_dialog = true;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      });
  SendMessageW(ann.window.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_TRUE(font_dialog);
  GetObjectW(ann.window.pane_font(), sizeof after, &after);
  EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
}

// The name dialog: a name the carrier cannot hold is refused with a
// message and the dialog stays; Отмена leaves the computer unidentified
// and the status empty.
TEST_F(Win32MainWindow, NameDialogRefusesAnUncarriableNameAndCancelLeavesUnidentified) {
  Computer ann(world_, kAnn);
  std::wstring message;
  ann.host.message_hook = [&](const std::wstring& text) { message = text; };
  std::wstring layout_prompt;
  when_shown(L"Компьютер", [&](HWND dialog) {
    check_layout(
        dialog, L"Компьютер", 320, 43,
        {{IDC_NAME_PROMPT, L"Новый компьютер для синхронизации, введите имя:", 7, 7, 244, 13},
         {IDC_NAME_EDIT, L"", 7, 26, 244, 12},
         {IDC_OK, L"OK", 263, 7, 50, 14},
         {IDC_CANCEL, L"Отмена", 263, 24, 50, 14}});
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_NAME_EDIT));
    SetDlgItemTextW(dialog, IDC_NAME_EDIT, L"名前");
    click(dialog, IDOK);
    EXPECT_TRUE(IsWindowVisible(dialog));
    click(dialog, IDCANCEL);
  });
  ASSERT_FALSE(ann.window.program().start_up('C'));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(ann.session->computer, -1);
  EXPECT_EQ(ann.text(IDC_MAIN_STATUS), L"");
}

// The list dialogs open through Маски and Объекты; while one is open the
// runs are refused, and when it closes its non-zero counters are logged,
// also when Выход closes it.
TEST_F(Win32MainWindow, ListDialogCountersAreLoggedWhenItCloses) {
  StubListDialog* open = nullptr;
  Computer ann(world_, kAnn, [&](Command which, HWND, Runs&, std::function<void()> closed) {
    ChangeCounters counters;
    counters.added = which == Command::kMasks ? 2 : 0;
    counters.deleted = 1;
    auto dialog = std::make_unique<StubListDialog>(counters, std::move(closed));
    open = dialog.get();
    return dialog;
  });
  ann.start(L"Анна");
  ann.press(Command::kMasks);
  ASSERT_NE(open, nullptr);
  EXPECT_FALSE(IsWindowEnabled(ann.window.button(Command::kCompare)));
  EXPECT_FALSE(IsWindowEnabled(ann.window.button(Command::kObjects)));
  open->close();
  EXPECT_NE(ann.pane().find(w("Удалено масок файлов: 1\nДобавлено масок файлов: 2")),
            std::wstring::npos);
  EXPECT_EQ(ann.window.list_dialog(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(ann.window.button(Command::kCompare)));

  ann.press(Command::kObjects);
  ASSERT_NE(ann.window.list_dialog(), nullptr);
  ann.press(Command::kExit);
  EXPECT_EQ(ann.window.hwnd(), nullptr);
  const std::string log = read_file(world_.join(world_.carrier(), "KELDAR.LOG"));
  EXPECT_NE(log.find(cp1251("Удалено объектов синхронизации: 1")), std::string::npos);
  EXPECT_EQ(log.find(cp1251("Добавлено объектов")), std::string::npos);
}

}  // namespace
}  // namespace keldar::test

#include "gui/win32/main_window.h"

#include <commdlg.h>
#include <richedit.h>

#include <utility>

#include "gui/win32/about_box.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"

namespace keldar {
namespace {

constexpr COLORREF kFailureColour = RGB(0xC0, 0x00, 0x00);

int button_id(Command command) {
  switch (command) {
    case Command::kMasks:
      return IDC_MAIN_MASKS;
    case Command::kObjects:
      return IDC_MAIN_OBJECTS;
    case Command::kCompare:
      return IDC_MAIN_COMPARE;
    case Command::kSynchronize:
      return IDC_MAIN_SYNCHRONIZE;
    case Command::kExit:
      break;
  }
  return IDC_MAIN_EXIT;
}

// The pane's starting font: Fixedsys at its own height, normal weight.
// Asked for with the Cyrillic character set and a fixed pitch: where the
// system's Fixedsys has no Cyrillic letters (its Western form), the log
// stays legible in another fixed-pitch font that has them.
HFONT fixedsys() {
  return CreateFontW(0, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_STROKE_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Fixedsys");
}

// Inserts `text` at the rich edit's selection as plain text: read as it
// is, never as a rich text document.
void insert_plain(HWND edit, const std::wstring& text) {
  struct Source {
    const std::wstring& text;
    std::size_t done = 0;
  } source{text};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = [](DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* written) -> DWORD {
    auto* s = reinterpret_cast<Source*>(cookie);
    const std::size_t bytes_left = (s->text.size() - s->done) * sizeof(wchar_t);
    const std::size_t bytes =
        std::min<std::size_t>(bytes_left, size / sizeof(wchar_t) * sizeof(wchar_t));
    memcpy(buffer, s->text.data() + s->done, bytes);
    s->done += bytes / sizeof(wchar_t);
    *written = static_cast<LONG>(bytes);
    return 0;
  };
  SendMessageW(edit, EM_STREAMIN, SF_TEXT | SF_UNICODE | SFF_SELECTION,
               reinterpret_cast<LPARAM>(&stream));
}

}  // namespace

MainWindow::MainWindow(Session& session, Win32Host& host, ListDialogMaker make_list_dialog)
    : host_(host), make_list_dialog_(std::move(make_list_dialog)), program_(session, *this) {
  LoadLibraryW(L"riched20.dll");  // the log pane's window class
  create(nullptr, IDD_MAIN);
  // Calls from the worker arrive posted, in the order they were made.
  host_.on_log_line = [this](const std::wstring& line, bool failure) {
    append_line(line, failure);
  };
  host_.on_status = [this](const std::wstring& text) {
    SetWindowTextW(item(IDC_MAIN_STATUS), text.c_str());
  };
  host_.on_progress = [this](const std::wstring& text) {
    SetWindowTextW(item(IDC_MAIN_PROGRESS), text.c_str());
  };
  host_.on_title = [this](const std::wstring& text) { SetWindowTextW(hwnd(), text.c_str()); };
  host_.on_running = [this](bool running) { program_.running_changed(running); };
}

MainWindow::~MainWindow() {
  alive_.reset();
  host_.on_log_line = nullptr;
  host_.on_status = nullptr;
  host_.on_progress = nullptr;
  host_.on_title = nullptr;
  host_.on_running = nullptr;
  list_.reset();
  if (hwnd() != nullptr) DestroyWindow(hwnd());
  if (font_ != nullptr) DeleteObject(font_);
}

void MainWindow::init() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (auto [which, metric] :
       {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
    const int size = GetSystemMetrics(metric);
    auto icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_KELDAR), IMAGE_ICON, size, size, LR_SHARED));
    SendMessageW(hwnd(), WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
  wchar_t about[64] = {};
  if (LoadStringW(instance, IDS_ABOUT, about, 64) > 0) {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, about);
  }
  HWND pane = item(IDC_MAIN_LOG);
  SendMessageW(pane, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  set_pane_font(fixedsys());
}

INT_PTR MainWindow::handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      init();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) command(LOWORD(wparam));
      return TRUE;
    case WM_CLOSE:
      // The close box is Выход.
      program_.exit();
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != IDM_ABOUT) return FALSE;
      show_about();
      return TRUE;
    case WM_LBUTTONDBLCLK:
      choose_font();
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(SendMessageW(hwnd(), WM_GETICON, ICON_BIG, 0));
    default:
      return FALSE;
  }
}

void MainWindow::command(int id) {
  switch (id) {
    case IDC_MAIN_MASKS:
      program_.open_masks();
      break;
    case IDC_MAIN_OBJECTS:
      program_.open_objects();
      break;
    case IDC_MAIN_COMPARE:
      program_.compare();
      break;
    case IDC_MAIN_SYNCHRONIZE:
      program_.synchronize();
      break;
    case IDC_MAIN_EXIT:  // also Esc
      program_.exit();
      break;
    default:
      // Enter (IDOK) does not close the window.
      break;
  }
}

HWND MainWindow::button(Command command) const { return item(button_id(command)); }
HWND MainWindow::log_pane() const { return item(IDC_MAIN_LOG); }

std::wstring MainWindow::pane_text() const {
  GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
  std::wstring text(
      SendMessageW(log_pane(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0) + 1,
      L'\0');
  GETTEXTEX get{};
  get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;  // lines end in '\r' alone
  get.codepage = 1200;
  text.resize(SendMessageW(log_pane(), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                           reinterpret_cast<LPARAM>(text.data())));
  for (wchar_t& c : text) {
    if (c == L'\r') c = L'\n';
  }
  return text;
}

void MainWindow::append_line(const std::wstring& line, bool failure) {
  HWND pane = log_pane();
  while (!line_lengths_.empty() && line_lengths_.size() >= max_lines_) {
    // The oldest line goes with its line end.
    CHARRANGE first{0, static_cast<LONG>(line_lengths_.front() + 1)};
    SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    line_lengths_.pop_front();
  }
  GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
  const auto end = static_cast<LONG>(
      SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
  CHARRANGE at_end{end, end};
  SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at_end));
  // Each line is given its own colour: a failure line stands out, and the
  // line after it does not take its colour.
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.dwEffects = failure ? 0 : CFE_AUTOCOLOR;
  format.crTextColor = kFailureColour;
  SendMessageW(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  insert_plain(pane, line_lengths_.empty() ? line : L"\r" + line);
  line_lengths_.push_back(line.size());
  // The newest line in view, from the pane's left edge: a word longer
  // than the pane is wide must not leave the view scrolled sideways.
  SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
  POINT at{};
  SendMessageW(pane, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&at));
  at.x = 0;
  SendMessageW(pane, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&at));
}

void MainWindow::clear_log() {
  SetWindowTextW(log_pane(), L"");
  line_lengths_.clear();
}

void MainWindow::set_pane_font(HFONT font) {
  SendMessageW(log_pane(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

void MainWindow::choose_font() {
  LOGFONTW description{};
  GetObjectW(font_, sizeof description, &description);
  CHOOSEFONTW choice{};
  choice.lStructSize = sizeof choice;
  choice.hwndOwner = hwnd();
  choice.lpLogFont = &description;
  choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
  // Cancelled, the pane keeps its font.
  if (ChooseFontW(&choice)) set_pane_font(CreateFontIndirectW(&description));
}

void MainWindow::show_about() {
  AboutBox about;
  about.run(hwnd());
}

void MainWindow::set_enabled(Command command, bool enabled) {
  HWND control = button(command);
  if (!enabled && GetFocus() == control) SetFocus(log_pane());  // the keyboard stays usable
  EnableWindow(control, enabled);
}

void MainWindow::set_text(Command command, std::string_view text) {
  set_window_text(button(command), text);
}

void MainWindow::open_masks_dialog() { open_list_dialog(Command::kMasks); }
void MainWindow::open_objects_dialog() { open_list_dialog(Command::kObjects); }

void MainWindow::open_list_dialog(Command which) {
  if (!make_list_dialog_) {
    program_.dialog_closed({});
    return;
  }
  list_ = make_list_dialog_(which, hwnd(), program_, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired() || !list_) return;
    program_.dialog_closed(list_->counters());
    // The dialog is destroyed outside the call that reported its close.
    host_.post([this, alive, closed = list_.get()] {
      if (!alive.expired() && list_.get() == closed) list_.reset();
    });
  });
}

void MainWindow::close_dialog() {
  if (list_) list_->close();
}

void MainWindow::show_run() {
  // The log, the progress and Стоп stay in view while the objects dialog
  // that started the run is minimised.
  if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
  SetForegroundWindow(hwnd());
}

void MainWindow::post_run_ended() {
  host_.post([this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) program_.run_ended();
  });
}

void MainWindow::restore_objects_dialog() {
  if (list_) list_->run_ended();
}

void MainWindow::close_window() {
  if (hwnd() != nullptr) DestroyWindow(hwnd());
  // Wakes the message loop, which ends now that the window is gone.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void run_message_loop(const MainWindow& window) {
  MSG msg;
  while (window.hwnd() != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    HWND active = GetActiveWindow();
    if (active != nullptr && IsDialogMessageW(active, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace keldar

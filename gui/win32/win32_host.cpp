#include "gui/win32/win32_host.h"

#include <future>
#include <memory>

#include "app/failure_line.h"
#include "dialogs/computer_name.h"
#include "gui/win32/computer_name_window.h"
#include "platform/win32/wide_text.h"

namespace keldar {
namespace {

// The message that carries a piece of work (a heap-allocated
// std::function<void()> in lParam) to the host's window.
constexpr UINT kWork = WM_APP + 1;
constexpr wchar_t kClass[] = L"KeldarHostWindow";

// A question's text as a message box shows it: lines end in "\r\n".
std::wstring shown_text(std::string_view text) {
  std::wstring shown;
  for (wchar_t c : wide(text)) {
    if (c == L'\r') continue;
    if (c == L'\n') shown += L'\r';
    shown += c;
  }
  return shown;
}

// A message box whose buttons speak Russian, as the rest of the program,
// where the system has the Russian texts.
int russian_box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof box;
  box.hwndOwner = owner;
  box.lpszText = text.c_str();
  box.lpszCaption = caption.c_str();
  box.dwStyle = style;
  box.dwLanguageId = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);
  return MessageBoxIndirectW(&box);
}

}  // namespace

std::wstring wide(std::string_view cp1251_text) {
  if (auto text = win32::widen(cp1251_text)) return *text;
  std::wstring text;
  for (char c : cp1251_text) {
    auto one = win32::widen(std::string_view(&c, 1));
    text += one ? *one : std::wstring(1, L'\uFFFD');
  }
  return text;
}

Win32Host::Win32Host() : thread_(GetCurrentThreadId()) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClass;
  RegisterClassW(&window_class);  // fails harmlessly when a host made it before
  window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

Win32Host::~Win32Host() {
  // Work still queued is dropped unrun.
  MSG msg;
  while (PeekMessageW(&msg, window_, kWork, kWork, PM_REMOVE)) {
    delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  }
  DestroyWindow(window_);
}

LRESULT CALLBACK Win32Host::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWork) {
    std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lparam));
    (*work)();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Host::post(std::function<void()> work) {
  auto* item = new std::function<void()>(std::move(work));
  if (!PostMessageW(window_, kWork, 0, reinterpret_cast<LPARAM>(item))) delete item;
}

void Win32Host::on_gui_thread(const std::function<void()>& work) {
  if (on_gui_thread()) {
    work();
    return;
  }
  // Posted rather than sent: a sent message would overtake the log lines
  // posted before it.
  std::promise<void> done;
  post([&] {
    work();
    done.set_value();
  });
  done.get_future().wait();
}

void Win32Host::show_log_line(std::string_view line) {
  post([this, text = wide(line), failure = is_failure_line(line)] {
    if (on_log_line) on_log_line(text, failure);
  });
}

void Win32Host::set_status(std::string_view text) {
  post([this, text = wide(text)] {
    if (on_status) on_status(text);
  });
}

void Win32Host::set_progress(std::string_view text) {
  post([this, text = wide(text)] {
    if (on_progress) on_progress(text);
  });
}

void Win32Host::set_title(std::string_view text) {
  post([this, text = wide(text)] {
    if (on_title) on_title(text);
  });
}

void Win32Host::set_running(bool running) {
  post([this, running] {
    if (on_running) on_running(running);
  });
}

void Win32Host::ask_text(std::string_view prompt, std::string& answer) {
  on_gui_thread([&] {
    ComputerNameDialog logic(prompt, answer);
    ComputerNameWindow window(logic, *this);
    window.run(GetActiveWindow());
  });
}

Answer Win32Host::ask(std::string_view text, std::string_view caption, bool warning, bool cancel) {
  return ask_question(
      {shown_text(text), wide(caption), warning ? UINT{MB_ICONEXCLAMATION} : 0u, cancel});
}

Answer Win32Host::ask_to_delete(std::string_view text, std::string_view caption) {
  return ask_question({shown_text(text), wide(caption), 0, /*cancel=*/false, /*default_no=*/true});
}

Answer Win32Host::ask_question(const Question& question) {
  Answer answer = question.cancel ? Answer::kCancel : Answer::kNo;
  // A question of a run is modal to no window: the main window stays
  // usable while the worker waits, so that its Стоп can be pressed.
  const HWND owner = on_gui_thread() ? GetActiveWindow() : nullptr;
  on_gui_thread([&] {
    if (answer_hook) {
      answer = answer_hook(question);
      if (!question.cancel && answer == Answer::kCancel) answer = Answer::kNo;
      return;
    }
    UINT style = (question.cancel ? MB_YESNOCANCEL : MB_YESNO) | question.icon;
    if (question.default_no) style |= MB_DEFBUTTON2;
    if (owner == nullptr) style |= MB_SETFOREGROUND;
    switch (russian_box(owner, question.text, question.caption, style)) {
      case IDYES:
        answer = Answer::kYes;
        break;
      case IDNO:
        answer = Answer::kNo;
        break;
      default:
        break;
    }
  });
  return answer;
}

void Win32Host::show_message(std::string_view text) { message(shown_text(text)); }

void Win32Host::message(const std::wstring& text) {
  const HWND owner = on_gui_thread() ? GetActiveWindow() : nullptr;
  on_gui_thread([&] {
    if (message_hook) {
      message_hook(text);
      return;
    }
    russian_box(owner, text, app_name(), MB_OK);
  });
}

}  // namespace keldar

// The window's host on Windows: what the core shows goes to the main window,
// what it asks is asked in message boxes and dialogs. Any thread may call
// it: calls from the worker are handed to the interface thread through a
// message-only window (log lines, texts and progress posted in order; a
// question blocks the worker until the interface thread has answered it).
// Texts are Windows-1251 in the core and UTF-16 here.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace keldar {

// A question as the window shows it.
struct Question {
  std::wstring text;
  std::wstring caption;
  UINT icon = 0;            // MB_ICONQUESTION, MB_ICONWARNING or 0
  bool cancel = false;      // Да/Нет/Отмена rather than Да/Нет
  bool default_no = false;  // Нет rather than Да is the default button
};

class Win32Host : public Host {
 public:
  // Lives on the interface thread, the thread that makes it.
  Win32Host();
  ~Win32Host() override;
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  void show_log_line(std::string_view line) override;
  void set_status(std::string_view text) override;
  void set_progress(std::string_view text) override;
  void set_title(std::string_view text) override;
  void set_running(bool running) override;
  void ask_text(std::string_view prompt, std::string& answer) override;
  Answer ask(std::string_view text, std::string_view caption, bool warning, bool cancel) override;
  Answer ask_to_delete(std::string_view text, std::string_view caption) override;
  void show_message(std::string_view text) override;

  // Asks on the interface thread (from any thread): Да/Нет(/Отмена) in a
  // message box, or through the answer hook when one is set. Asked from the
  // interface thread, the box is modal to the active window; asked from the
  // worker, it has no owner, so the main window stays usable (Стоп) while
  // the worker waits.
  Answer ask_question(const Question& question);
  // A message with an OK button, or the message hook when one is set.
  void message(const std::wstring& text);

  // Runs `work` later on the interface thread, after what was posted
  // before it. Any thread may call it.
  void post(std::function<void()> work);
  // Runs `work` on the interface thread and waits for it.
  void on_gui_thread(const std::function<void()>& work);
  bool on_gui_thread() const { return GetCurrentThreadId() == thread_; }

  // What the main window shows, called on the interface thread in the
  // order the core made the calls. `failure`: the line reports a failure
  // and is shown so that it stands out.
  std::function<void(const std::wstring& line, bool failure)> on_log_line;
  std::function<void(const std::wstring&)> on_status;
  std::function<void(const std::wstring&)> on_progress;
  std::function<void(const std::wstring&)> on_title;
  std::function<void(bool)> on_running;

  // For tests and other programs that drive the window: answers questions
  // and takes messages instead of a person. Called on the interface thread.
  std::function<Answer(const Question&)> answer_hook;
  std::function<void(const std::wstring&)> message_hook;

  // The caption of message boxes that have none of their own: the
  // program's name, as the main window's title.
  static const wchar_t* app_name() { return L"Brindlewood"; }

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  DWORD thread_;
  HWND window_;  // message-only: receives the posted work
};

// Windows-1251 -> UTF-16 for the window; the byte without a character
// shows as U+FFFD.
std::wstring wide(std::string_view cp1251_text);

}  // namespace keldar

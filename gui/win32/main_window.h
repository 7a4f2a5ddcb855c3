// The main window: the log pane, Маски, Объекты, Сравнить, Синхронизировать
// and Выход/Стоп, the computer's status text and the progress field. A view
// of the core's Program, which decides what the commands do; the window
// holds the controls, the list dialog while one is open, the pane's font
// and the about box. A modeless dialog: whoever makes it runs the message
// loop (run_message_loop), so the window stays usable while a run goes on.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "app/program.h"
#include "gui/win32/dialog_window.h"
#include "gui/win32/list_dialog.h"

namespace keldar {

class Win32Host;

class MainWindow : public DialogWindow, public MainWindowView {
 public:
  // Makes the window, hidden; `make_list_dialog` makes the objects and
  // masks dialogs.
  MainWindow(Session& session, Win32Host& host, ListDialogMaker make_list_dialog);
  ~MainWindow() override;

  Program& program() { return program_; }

  HWND button(Command command) const;
  HWND log_pane() const;
  // The pane's text, lines ended by '\n'.
  std::wstring pane_text() const;
  HFONT pane_font() const { return font_; }
  // The pane keeps at most this many lines; the oldest go first.
  void set_pane_lines(std::size_t lines) { max_lines_ = lines; }
  ListDialog* list_dialog() const { return list_.get(); }
  // The font dialog for the pane, as a double click on the window opens it.
  void choose_font();
  void show_about();

  // MainWindowView
  void clear_log() override;
  void set_enabled(Command command, bool enabled) override;
  void set_text(Command command, std::string_view text) override;
  void open_masks_dialog() override;
  void open_objects_dialog() override;
  void close_dialog() override;
  void show_run() override;
  void post_run_ended() override;
  void restore_objects_dialog() override;
  void close_window() override;

 protected:
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void init();
  void command(int id);
  void append_line(const std::wstring& line, bool failure);
  void open_list_dialog(Command which);
  void set_pane_font(HFONT font);

  Win32Host& host_;
  ListDialogMaker make_list_dialog_;
  std::unique_ptr<ListDialog> list_;
  HFONT font_ = nullptr;
  std::deque<std::size_t> line_lengths_;  // the pane's lines, oldest first
  std::size_t max_lines_ = 5000;
  // Work posted to the interface thread does nothing once the window is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  // Last: made when the rest is, and gone (its run stopped and waited for)
  // before it.
  Program program_;
};

// Dispatches the thread's messages, with the dialogs' keyboard handling,
// until `window` has closed.
void run_message_loop(const MainWindow& window);

}  // namespace keldar

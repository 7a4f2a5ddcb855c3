// A dialog made from a resource, with its messages handed to an object:
// the base of the window's dialogs. Modal (run_modal) or modeless
// (create); the object outlives its window.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace keldar {

class DialogWindow {
 public:
  DialogWindow() = default;
  // A modeless window still open is destroyed.
  virtual ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // The dialog's window while it exists, else nullptr.
  HWND hwnd() const { return hwnd_; }
  HWND item(int id) const { return GetDlgItem(hwnd_, id); }

  // Shows dialog `resource` modally; returns what ended it (EndDialog).
  INT_PTR run_modal(HWND owner, int resource);
  // Makes dialog `resource` modeless and hidden; its window, or nullptr.
  HWND create(HWND owner, int resource);

 protected:
  // Every message from WM_INITDIALOG on. Returns what the dialog procedure
  // returns (FALSE: the default handling); `result` is set as the message's
  // result (DWLP_MSGRESULT) when it is not 0.
  virtual INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) = 0;

 private:
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
};

// A window's text as UTF-16.
std::wstring window_text(HWND window);
// Sets a window's text from Windows-1251.
void set_window_text(HWND window, std::string_view cp1251_text);

}  // namespace keldar

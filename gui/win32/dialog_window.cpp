#include "gui/win32/dialog_window.h"

#include "gui/win32/win32_host.h"

namespace keldar {

DialogWindow::~DialogWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

INT_PTR DialogWindow::run_modal(HWND owner, int resource) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), owner, procedure,
                         reinterpret_cast<LPARAM>(this));
}

HWND DialogWindow::create(HWND owner, int resource) {
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), owner, procedure,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogWindow::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    self->hwnd_ = window;
  }
  if (self == nullptr) return FALSE;  // the messages before WM_INITDIALOG
  const INT_PTR result = self->handle(message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

std::wstring window_text(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void set_window_text(HWND window, std::string_view cp1251_text) {
  SetWindowTextW(window, wide(cp1251_text).c_str());
}

}  // namespace keldar

#include "gui/win32/about_box.h"

#include "gui/win32/resource.h"

namespace keldar {

void AboutBox::run(HWND owner) { run_modal(owner, IDD_ABOUT); }

INT_PTR AboutBox::handle(UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(hwnd(), LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace keldar

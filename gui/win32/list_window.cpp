#include "gui/win32/list_window.h"

namespace keldar {

void ListWindow::open(HWND owner, int resource, int grid_id, const wchar_t* face) {
  grid_id_ = grid_id;
  face_ = face;
  CMSFlexGrid::register_class();
  if (create(owner, resource) == nullptr) return;
  ShowWindow(hwnd(), SW_SHOW);
}

void ListWindow::close() {
  if (hwnd() == nullptr) return;
  DestroyWindow(hwnd());
  grid_ = nullptr;
  // The callback may have the main window forget this dialog; nothing of it
  // is used after the call.
  if (closed_) std::exchange(closed_, nullptr)();
}

INT_PTR ListWindow::handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      grid_ = CMSFlexGrid::from(item(grid_id_));
      grid_->set_font(face_, 8.25);
      opened();
      SetFocus(grid_->window());
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == grid_id_) {
        grid_event(static_cast<CMSFlexGrid::Notification>(HIWORD(wparam)));
      } else if (id == IDOK || id == IDCANCEL) {
        close();
      } else if (HIWORD(wparam) == BN_CLICKED) {
        command(id);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace keldar

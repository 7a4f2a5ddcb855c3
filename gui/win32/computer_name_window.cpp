#include "gui/win32/computer_name_window.h"

#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "platform/win32/wide_text.h"
#include "store/computer_table.h"

namespace keldar {

bool ComputerNameWindow::run(HWND owner) { return run_modal(owner, IDD_COMPUTER_NAME) == IDOK; }

INT_PTR ComputerNameWindow::handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The caller's prompt replaces the resource's, even an empty one.
      set_window_text(item(IDC_NAME_PROMPT), logic_.prompt());
      set_window_text(item(IDC_NAME_EDIT), logic_.initial_text());
      // No more than the computer table stores.
      SendMessageW(item(IDC_NAME_EDIT), EM_LIMITTEXT, ComputerTable::kMaxName, 0);
      SetFocus(item(IDC_NAME_EDIT));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        ok();
      } else if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd(), IDCANCEL);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void ComputerNameWindow::ok() {
  bool carriable = true;
  std::string name = win32::narrow(window_text(item(IDC_NAME_EDIT)), carriable);
  std::string error;
  if (!logic_.accept(carriable ? std::optional<std::string>(name) : std::nullopt, error)) {
    host_.message(wide(error));
    return;
  }
  EndDialog(hwnd(), IDOK);
}

}  // namespace keldar

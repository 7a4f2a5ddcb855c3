// The about box: the icon, the product's name and version, OK.
#pragma once

#include "gui/win32/dialog_window.h"

namespace keldar {

class AboutBox : public DialogWindow {
 public:
  // Shows the box modally until OK, Esc or the close box.
  void run(HWND owner);

 protected:
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;
};

}  // namespace keldar

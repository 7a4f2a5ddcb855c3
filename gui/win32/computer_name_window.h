// The computer-name dialog: a prompt and one line of text, OK and Отмена.
#pragma once

#include "dialogs/computer_name.h"
#include "gui/win32/dialog_window.h"

namespace keldar {

class Win32Host;

class ComputerNameWindow : public DialogWindow {
 public:
  ComputerNameWindow(ComputerNameDialog& logic, Win32Host& host) : logic_(logic), host_(host) {}
  // Shows the dialog modally until OK with a name the logic takes, or
  // Отмена; true for OK.
  bool run(HWND owner);

 protected:
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void ok();

  ComputerNameDialog& logic_;
  Win32Host& host_;
};

}  // namespace keldar

// The object edit dialog: per computer its name, path and two permissions,
// the allow-nested box, the row marker beside this computer's row, Обзор
// for this computer's path through the open-file dialog.
#pragma once

#include <windows.h>

#include "dialogs/object_edit.h"
#include "gui/win32/dialog_window.h"

namespace keldar {

class Win32Host;

class ObjectEditWindow : public DialogWindow {
 public:
  ObjectEditWindow(ObjectRecord& record, const ComputerTable& computers, int computer,
                   Win32Host& host)
      : record_(record), computers_(computers), computer_(computer), host_(host) {}
  // Runs the dialog modally over `owner`; the record is changed only on
  // kChanged.
  EditResult run(HWND owner);

 protected:
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void show_record();
  void ok();
  void browse();

  ObjectRecord& record_;
  const ComputerTable& computers_;
  int computer_;
  Win32Host& host_;
  EditResult result_ = EditResult::kCancelled;
};

}  // namespace keldar

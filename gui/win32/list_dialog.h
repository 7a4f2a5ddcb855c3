// The objects and masks dialogs as the main window keeps them while one is
// open: modeless, so that the main window's Стоп stays usable during the
// objects dialog's runs.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/counters.h"
#include "app/program.h"

namespace keldar {

class ListDialog {
 public:
  // Destroys the dialog's window if it is still open.
  virtual ~ListDialog() = default;
  virtual HWND hwnd() const = 0;
  // The change counters the main window logs after the dialog has closed.
  virtual const ChangeCounters& counters() const = 0;
  // Closes the dialog as its OK does.
  virtual void close() = 0;
  // A run that this dialog started has ended: the dialog is shown again.
  virtual void run_ended() {}
};

// Makes and shows the list dialog of `command` (Command::kMasks or
// Command::kObjects) owned by `owner`, with `runs` to start the objects
// dialog's runs. `closed` is called once when the dialog closes, by
// whatever button or by close(); the main window destroys the dialog later,
// outside that call.
using ListDialogMaker = std::function<std::unique_ptr<ListDialog>(
    Command command, HWND owner, Runs& runs, std::function<void()> closed)>;

}  // namespace keldar

// The objects and masks dialogs as the main window makes them.
#include <memory>

#include "gui/win32/masks_window.h"
#include "gui/win32/objects_window.h"
#include "gui/win32/window_app.h"

namespace keldar {

ListDialogMaker list_dialogs(Session& session, Win32Host& host) {
  return [&session, &host](Command command, HWND owner, Runs& runs,
                           std::function<void()> closed) -> std::unique_ptr<ListDialog> {
    if (command == Command::kObjects) {
      // Without an owner: minimised during its runs, it leaves the main
      // window in view.
      return std::make_unique<ObjectsWindow>(session, host, runs, std::move(closed));
    }
    return std::make_unique<MasksWindow>(session, host, owner, std::move(closed));
  };
}

}  // namespace keldar

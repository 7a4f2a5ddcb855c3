#include "gui/win32/window_app.h"

namespace keldar {

// None yet: the main window then logs no counters and opens nothing.
ListDialogMaker list_dialogs(Session&, Win32Host&) { return {}; }

}  // namespace keldar

// keldar.exe with its window: the host, the main window, the start-up
// sequence, the message loop, and the end of the run when the window
// closes. The platform comes from the program's composition root.
#pragma once

#include <optional>

#include "app/batch.h"
#include "gui/win32/list_dialog.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace keldar {

class Win32Host;

// The objects and masks dialogs of the program.
ListDialogMaker list_dialogs(Session& session, Win32Host& host);

// Runs the window on the given platform in the current directory (the
// carrier). Returns the exit status (the batch statuses: 0, or 1, 3, 7 when
// start-up ended the program); nullopt, before anything is done, when the
// window cannot be made (no display).
std::optional<int> run_window(const Options& options, FileSystem& fs, System& system, Clock& clock);

}  // namespace keldar

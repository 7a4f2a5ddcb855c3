// keldar.exe with its window: the host, the main window, the start-up
// sequence, the message loop, and the end of the run when the window
// closes. The platform comes from the program's composition root.
#pragma once

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
// start-up ended the program).
int run_window(const Options& options, FileSystem& fs, System& system, Clock& clock);

// When this process is the only one on its console (a console made for it
// because it was started from the desktop rather than from a command
// prompt), lets the console go, so that no console window stays open beside
// the window. True when it did.
bool release_own_console();

}  // namespace keldar

// keldar with its window: the application, the start-up sequence of the
// main window, the event loop, and the end of the run when the window
// closes. The platform comes from the program's composition root.
#pragma once

#include "app/batch.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace keldar {

// Whether a display can be had: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM
// is set and not empty.
bool display_available();

// Installs Qt's own Russian translation (qtbase_ru from Qt's translations
// folder) into the application, so that the stock file, folder and font
// choosers speak Russian like the rest of the program. False when it is
// missing.
bool load_qt_translation();

// Runs the window on the given platform in the current directory (the
// carrier). Returns the exit status (the batch statuses: 0, or 1, 3, 7 when
// start-up ended the program).
int run_window(int argc, char** argv, const Options& options, FileSystem& fs, System& system,
               Clock& clock);

}  // namespace keldar

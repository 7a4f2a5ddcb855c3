// keldar with its window: the application, the start-up sequence of the
// main window, the event loop, and the end of the run when the window
// closes. The platform comes from the program's composition root.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// The Linux program's --carrier [FOLDER]: the carrier folder to change to
// before start-up, or, without a folder (the desktop entry started from a
// menu), one chosen in the window's folder chooser. The folder is the next
// argument unless that starts with '-' ("--carrier=FOLDER" takes any).
struct CarrierOption {
  bool given = false;
  std::optional<std::string> folder;  // UTF-8
  std::string error;                  // UTF-8; not empty when the option is wrong
};

// Takes --carrier and its folder out of `args`, so that the rest parses as
// the options of every system.
CarrierOption take_carrier_option(std::vector<std::string>& args);

// Asks for the carrier folder with a folder chooser, starting at the current
// directory, and makes it the current directory. False when the chooser was
// cancelled or the folder could not be entered (a message box says so).
bool choose_carrier_folder();

// Runs the window on the given platform in the current directory (the
// carrier); with `choose_carrier` a folder chooser first asks for the
// carrier folder and the program goes there. Returns the exit status (the
// batch statuses: 0, or 1, 3, 7 when start-up ended the program; 7 also when
// the chooser was cancelled or its folder could not be entered).
int run_window(int argc, char** argv, const Options& options, FileSystem& fs, System& system,
               Clock& clock, bool choose_carrier = false);

}  // namespace keldar

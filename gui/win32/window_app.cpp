#include "gui/win32/window_app.h"

#include <commctrl.h>

#include "app/startup.h"
#include "gui/win32/main_window.h"
#include "gui/win32/win32_host.h"

namespace keldar {

namespace {

// When this process is the only one on its console (a console made for it
// because it was started from the desktop rather than from a command
// prompt), lets the console go, so that no console window stays open beside
// the window.
void release_own_console() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace

std::optional<int> run_window(const Options& options, FileSystem& fs, System& system,
                              Clock& clock) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  Win32Host host;
  Session session(fs, system, clock, host);
  MainWindow window(session, host, list_dialogs(session, host));
  if (window.hwnd() == nullptr) return std::nullopt;
  release_own_console();
  ShowWindow(window.hwnd(), SW_SHOW);
  if (auto status = window.program().start_up(identification_drive(options.argument_text))) {
    return *status;
  }
  // The window ends the run itself (Выход while idle); the loop ends when it
  // has closed.
  run_message_loop(window);
  return exit_status::kOk;
}

}  // namespace keldar

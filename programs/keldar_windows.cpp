// keldar on Windows: keeps folders identical across computers through a
// removable drive. The program's composition root: the Windows platform
// layer, the window, and the console for batch runs.
#include <string>
#include <vector>

#include "app/batch.h"
#include "gui/win32/window_app.h"
#include "platform/errors.h"
#include "platform/win32/console.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_errors.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_system.h"
#include "version/version.h"

namespace {
// The help's paragraph on the window.
constexpr const char* kWindowHelp =
    "Без --batch, --compare, --sync, --verify, --object и команд объектов и масок\n"
    "открывается окно программы.";
}  // namespace

int main() {
  using namespace keldar;
  set_error_text_source(system_error_text);
  Console console;
  Options options = parse_options(command_line_arguments());
  if (!options.error.empty()) {
    console.err() << "keldar: " << options.error << "\n\n" << usage_text(kWindowHelp) << std::flush;
    return exit_status::kUsage;
  }
  if (options.help) {
    console.out() << usage_text(kWindowHelp) << std::flush;
    return exit_status::kOk;
  }
  if (options.version) {
    console.out() << "keldar " KELDAR_VERSION "\n" << std::flush;
    return exit_status::kOk;
  }
  Win32FileSystem fs;
  Win32System system;
  Win32Clock clock;
  if (options.window()) {
    if (auto status = run_window(options, fs, system, clock)) return *status;
    console.err() << "keldar: окно программы не открывается (нет дисплея); без окна запустите\n"
                     "keldar --batch, --compare, --sync или --object\n\n"
                  << usage_text(kWindowHelp) << std::flush;
    return exit_status::kUsage;
  }
  TerminalHost host(console.out(), console.err(), stdin_is_terminal() ? &console.in() : nullptr,
                    options.name, options.answer);
  Session session(fs, system, clock, host);
  stop_on_interrupt(session.queue.stop_slot());
  return run_batch(session, options);
}

// keldar on Linux: keeps folders identical across computers through a
// removable drive. The program's composition root: the Linux platform layer,
// and the Qt window or the terminal for batch runs.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch.h"
#include "gui/qt/window_app.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/terminal.h"

namespace {
// The help's paragraph on the window.
constexpr const char* kWindowHelp =
    "Без --batch, --compare, --sync, --object и команд объектов и масок\n"
    "открывается окно программы (нужен дисплей: DISPLAY или WAYLAND_DISPLAY).";
}  // namespace

int main(int argc, char** argv) {
  using namespace keldar;
  std::vector<std::string> args(argv + 1, argv + argc);
  Options options = parse_options(args);
  if (!options.error.empty()) {
    std::cerr << "keldar: " << options.error << "\n\n" << usage_text(kWindowHelp);
    return exit_status::kUsage;
  }
  if (options.help) {
    std::cout << usage_text(kWindowHelp);
    return exit_status::kOk;
  }
  const bool window = options.window();
  if (window && !display_available()) {
    std::cerr << "keldar: нет дисплея для окна программы (не заданы DISPLAY, WAYLAND_DISPLAY\n"
                 "и QT_QPA_PLATFORM); без окна запустите keldar --batch, --compare, --sync\n"
                 "или --object\n\n"
              << usage_text(kWindowHelp);
    return exit_status::kUsage;
  }
  PosixFileSystem fs;
  PosixSystem system;
  SystemClock clock;
  if (window) return run_window(argc, argv, options, fs, system, clock);
  TerminalHost host(std::cout, std::cerr, stdin_is_terminal() ? &std::cin : nullptr, options.name,
                    options.answer);
  Session session(fs, system, clock, host);
  stop_on_interrupt(session.queue.stop_slot());
  return run_batch(session, options);
}

// keldar on Linux: keeps folders identical across computers through a
// removable drive. The program's composition root: the Linux platform layer,
// and the Qt window or the terminal for batch runs.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/batch.h"
#include "gui/qt/window_app.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/terminal.h"
#include "version/version.h"

namespace {
// The help's paragraph on the window and on --carrier, which only the Linux
// program has.
constexpr const char* kWindowHelp =
    "Без --batch, --compare, --sync, --verify, --object и команд объектов и масок\n"
    "открывается окно программы (нужен дисплей: DISPLAY или WAYLAND_DISPLAY).\n"
    "\n"
    "  --carrier ПАПКА\n"
    "                сначала перейти в папку носителя ПАПКА (с окном и без);\n"
    "                --carrier без папки открывает окно выбора папки носителя\n"
    "                (так программу запускает меню), отказ от выбора - код 7";
}  // namespace

int main(int argc, char** argv) {
  using namespace keldar;
  std::vector<std::string> args(argv + 1, argv + argc);
  const CarrierOption carrier = take_carrier_option(args);
  Options options = parse_options(args);
  if (options.error.empty()) options.error = carrier.error;
  const bool window = options.window();
  if (options.error.empty() && carrier.given && !carrier.folder && !window) {
    options.error = "--carrier без папки выбирает папку в окне; без окна укажите папку";
  }
  if (!options.error.empty()) {
    std::cerr << "keldar: " << options.error << "\n\n" << usage_text(kWindowHelp);
    return exit_status::kUsage;
  }
  if (options.help) {
    std::cout << usage_text(kWindowHelp);
    return exit_status::kOk;
  }
  if (options.version) {
    std::cout << "keldar " KELDAR_VERSION "\n";
    return exit_status::kOk;
  }
  if (window && !display_available()) {
    std::cerr << "keldar: нет дисплея для окна программы (не заданы DISPLAY, WAYLAND_DISPLAY\n"
                 "и QT_QPA_PLATFORM); без окна запустите keldar --batch, --compare, --sync\n"
                 "или --object\n\n"
              << usage_text(kWindowHelp);
    return exit_status::kUsage;
  }
  if (carrier.folder) {
    std::error_code ec;
    std::filesystem::current_path(*carrier.folder, ec);
    if (ec) {
      std::cerr << "keldar: не удается перейти в папку носителя " << *carrier.folder << " ("
                << ec.message() << ")\n";
      return exit_status::kNoCarrier;
    }
  }
  PosixFileSystem fs;
  PosixSystem system;
  SystemClock clock;
  if (window) {
    return run_window(argc, argv, options, fs, system, clock, carrier.given && !carrier.folder);
  }
  TerminalHost host(std::cout, std::cerr, stdin_is_terminal() ? &std::cin : nullptr, options.name,
                    options.answer);
  Session session(fs, system, clock, host);
  stop_on_interrupt(session.queue.stop_slot());
  return run_batch(session, options);
}

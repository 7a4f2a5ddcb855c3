#include "gui/qt/window_app.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <cstdlib>

#include "app/startup.h"
#include "gui/qt/about_box.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"

namespace keldar {

bool display_available() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool load_qt_translation() {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_ru"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

CarrierOption take_carrier_option(std::vector<std::string>& args) {
  CarrierOption carrier;
  constexpr std::string_view kOption = "--carrier";
  for (std::size_t i = 0; i < args.size();) {
    const std::string& arg = args[i];
    const bool with_value =
        arg.starts_with(kOption) && arg.size() > kOption.size() && arg[kOption.size()] == '=';
    if (arg != kOption && !with_value) {
      ++i;
      continue;
    }
    if (carrier.given) carrier.error = "--carrier задан дважды";
    carrier.given = true;
    std::size_t taken = 1;
    if (with_value) {
      carrier.folder = arg.substr(kOption.size() + 1);
      if (carrier.folder->empty()) carrier.error = "--carrier= требует папку";
    } else if (i + 1 < args.size() && !args[i + 1].starts_with('-')) {
      carrier.folder = args[i + 1];
      taken = 2;
    }
    args.erase(args.begin() + i, args.begin() + i + taken);
  }
  return carrier;
}

bool choose_carrier_folder() {
  const QString folder =
      QFileDialog::getExistingDirectory(nullptr, ru("KELDAR: папка носителя"), QDir::currentPath());
  if (folder.isEmpty()) return false;
  if (!QDir::setCurrent(folder)) {
    QMessageBox::critical(nullptr, ru("KELDAR"), ru("Не удается перейти в папку ") + folder);
    return false;
  }
  return true;
}

int run_window(int argc, char** argv, const Options& options, FileSystem& fs, System& system,
               Clock& clock, bool choose_carrier) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(keldar_icon());
  // Without it the stock choosers speak English; the program runs all the same.
  (void)load_qt_translation();
  if (choose_carrier && !choose_carrier_folder()) return exit_status::kNoCarrier;
  QtHost host;
  Session session(fs, system, clock, host);
  MainWindow window(session, host);
  window.show();
  if (auto status = window.program().start_up(identification_drive(options.argument_text))) {
    return *status;
  }
  // The window ends the run itself (Выход while idle); the loop ends when it
  // has closed.
  QApplication::exec();
  return exit_status::kOk;
}

}  // namespace keldar

#include "gui/qt/window_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

#include "app/startup.h"
#include "gui/qt/about_box.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_host.h"

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

int run_window(int argc, char** argv, const Options& options, FileSystem& fs, System& system,
               Clock& clock) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(keldar_icon());
  // Without it the stock choosers speak English; the program runs all the same.
  (void)load_qt_translation();
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

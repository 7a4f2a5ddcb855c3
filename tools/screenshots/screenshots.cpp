// Takes a picture of each window of keldar for the documentation: it makes
// a small carrier with two computers, two objects and two masks in a
// temporary folder, runs the start-up and a comparison, and writes one PNG
// per window into the folder given as its argument. Run by
// scripts/screenshots.sh under a virtual display.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/startup.h"
#include "dialogs/computer_name.h"
#include "format/bytes.h"
#include "gui/qt/about_box.h"
#include "gui/qt/computer_name_window.h"
#include "gui/qt/main_window.h"
#include "gui/qt/masks_window.h"
#include "gui/qt/object_edit_window.h"
#include "gui/qt/objects_window.h"
#include "gui/qt/qt_host.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/text.h"

namespace fs = std::filesystem;
using namespace keldar;

namespace {

void write_file(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// The carrier's tables: this computer (Анна) and another (Борис), two
// objects, two masks.
void make_carrier(const fs::path& carrier, const fs::path& home, PosixSystem& system) {
  ComputerTable computers;
  computers.set(0, 1001, cp1251("Анна"));
  computers.set(1, 1002, cp1251("Борис"));
  write_file(carrier / "COMPS.QRV", computers.encode());
  std::string id;
  append_u32(id, 1001);
  write_file(system.identification_file('C'), id);

  ObjectTable objects;
  const char* names[] = {"Документы", "Фото"};
  for (int i = 0; i < 2; ++i) {
    ObjectRecord& r = objects.new_object();
    r.set_id(static_cast<std::int16_t>(i + 1));
    const std::string folder = (home / "anna" / names[i]).string() + "/*.*";
    (void)r.set_path(0, *from_utf8(folder));
    (void)r.set_path(1, *from_utf8(std::string("/home/boris/") + names[i] + "/*.*"));
    r.set_copy_from_carrier(1, i == 0);
    (void)objects.commit_new_object();
    write_file(home / "anna" / names[i] / "readme.txt", "text");
  }
  objects.set_next_id(3);
  write_file(carrier / "SYNCOBJ.QRV", objects.encode());

  MaskTable masks;
  (void)masks.record(0).set_pattern("*.tmp");
  masks.record(0).set_allow_delete(true);
  (void)masks.insert_template_at(0);
  (void)masks.record(1).set_pattern("*.*");
  masks.record(1).set_allow_copy(true);
  masks.record(1).set_allow_delete(true);
  masks.record(1).set_ask_before_replacing(true);
  (void)masks.insert_template_at(1);
  write_file(carrier / "MASKS.QRV", masks.encode());
}

void settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
}

bool save(QWidget* window, const QString& folder, const char* name) {
  settle();
  const QString path = folder + "/" + name + ".png";
  if (!window->grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// Shows `dialog` without blocking, pictures it and closes it.
bool picture(QDialog* dialog, const QString& folder, const char* name) {
  dialog->show();
  const bool ok = save(dialog, folder, name);
  dialog->close();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshots FOLDER\n");
    return 2;
  }
  const QString out = QDir(argv[1]).absolutePath();
  QDir().mkpath(out);
  QTemporaryDir temp(QDir::tempPath() + "/keldar-XXXXXX");
  const fs::path root = temp.path().toStdString();
  const fs::path carrier = root / "carrier";
  fs::create_directories(carrier);
  fs::current_path(carrier);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  unsetenv("TEMP");

  PosixFileSystem files;
  PosixSystem system;
  SystemClock clock;
  make_carrier(carrier, root / "home", system);
  QtHost host;
  Session session(files, system, clock, host);
  MainWindow window(session, host);
  window.show();
  if (window.program().start_up('C')) return 1;
  window.button(Command::kCompare)->click();
  while (window.program().busy())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

  bool ok = save(&window, out, "main_window");
  AboutBox about(&window);
  ok = picture(&about, out, "about_box") && ok;

  window.button(Command::kObjects)->click();
  ObjectsWindow* objects = window.objects_window();
  objects->flex_grid()->set_row(1);
  objects->flex_grid()->set_column(1);
  objects->flex_grid()->gridClick();
  ok = save(objects, out, "objects_dialog") && ok;
  ObjectEditWindow edit(session.objects.record(0), session.computers, session.computer, host,
                        objects);
  ok = picture(&edit, out, "object_edit") && ok;
  objects->accept();

  window.button(Command::kMasks)->click();
  MasksWindow* masks = window.masks_window();
  masks->flex_grid()->set_row(2);
  masks->flex_grid()->gridClick();
  ok = save(masks, out, "masks_dialog") && ok;
  MaskEditWindow mask_edit(session.masks.record(0), host, masks);
  ok = picture(&mask_edit, out, "mask_edit") && ok;
  masks->accept();

  std::string name = cp1251("Анна");
  ComputerNameDialog logic(cp1251("Новый компьютер для синхронизации, введите имя:"), name);
  ComputerNameWindow computer(logic, host, &window);
  ok = picture(&computer, out, "computer_name") && ok;

  window.button(Command::kExit)->click();
  return ok ? 0 : 1;
}

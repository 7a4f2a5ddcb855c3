// The window driven as a person would: buttons pressed, dialogs filled in,
// questions answered, on the computers of tests/fakes/computers.h on the real
// disk with the Linux layer's own surroundings (each computer its own
// XDG_CONFIG_HOME, the carrier the current directory) and the system clock.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string_view>
#include <thread>

#include "fakes/computers.h"
#include "gui/qt/about_box.h"
#include "gui/qt/computer_name_window.h"
#include "gui/qt/main_window.h"
#include "gui/qt/masks_window.h"
#include "gui/qt/object_edit_window.h"
#include "gui/qt/objects_window.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/window_app.h"
#include "platform/text.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;
using test::Computers;
using test::Tree;

constexpr int kRunTimeoutMs = 20000;
constexpr int kAnn = 0, kBoris = 1;
// The last-write time of the files the tests put in place.
constexpr std::int64_t kT0 = Computers::kNow;

// The bytes of the file at `path` (as the file system takes it).
std::string read_file(const std::string& path) {
  std::ifstream in(Computers::native(path), std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

// A path (as the file system takes it) as the window shows it.
QString shown(const std::string& path) { return QString::fromStdString(Computers::native(path)); }

// A snapshot compared whole; both trees are shown when they differ.
void compare_trees(const Tree& got, const Tree& expected) {
  QVERIFY2(got == expected,
           ("got\n" + test::render(got) + "expected\n" + test::render(expected)).c_str());
}

// Runs `act` on the next modal dialog of kind T as soon as it is shown.
template <class T>
void when_modal_is(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

void when_modal(std::function<void(QWidget*)> act) { when_modal_is<QWidget>(std::move(act)); }

void click_child(QWidget* parent, const char* name) {
  auto* button = parent->findChild<QPushButton*>(name);
  QVERIFY2(button != nullptr, name);
  QTest::mouseClick(button, Qt::LeftButton);
}

void click_cell(CMSFlexGrid* grid, int row, int column) {
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->cell_rect(row, column).center());
}

// Tab leaves the grid of `dialog`; Insert and Enter open the edit dialog
// (Вставить or Добавить, Изменить) and Delete removes the row's record.
void check_grid_keys(QDialog* dialog, CMSFlexGrid* grid) {
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Tab);
  QVERIFY(dialog->focusWidget() != grid);
  int edits = 0;
  for (Qt::Key key : {Qt::Key_Insert, Qt::Key_Return}) {
    when_modal_is<QDialog>([&](QDialog* edit) {
      ++edits;
      edit->reject();
    });
    QTest::keyClick(grid, key);
  }
  QCOMPARE(edits, 2);
  QVERIFY(dialog->isVisible());  // Enter was not the dialog's OK
  click_cell(grid, 1, 1);
  const int rows = grid->rowCount();
  QTest::keyClick(grid, Qt::Key_Delete);
  QCOMPARE(grid->rowCount(), rows - 1);
}

// The foreground of the text of `block`.
QBrush foreground(const QTextBlock& block) {
  return block.begin().fragment().charFormat().foreground();
}

// One computer of the world: the host, the session and the window.
struct Computer {
  Computer(Computers& world, int c) : session(world.session(c, host)) { window.show(); }
  // Start-up; a computer new to the carrier is named `name` in the
  // computer-name dialog (none for a computer the carrier knows: `name`
  // empty).
  void start(const QString& name) {
    if (!name.isEmpty()) {
      when_modal([name](QWidget* dialog) {
        auto* window = qobject_cast<ComputerNameWindow*>(dialog);
        QVERIFY(window != nullptr);
        window->name_edit()->insert(name);  // keyClicks types ASCII only
        click_child(window, "ok");
      });
    }
    QVERIFY(!window.program().start_up('C'));
  }
  QString pane() const { return window.log_pane()->toPlainText(); }
  void wait_for_run() { QTRY_VERIFY_WITH_TIMEOUT(!window.program().busy(), kRunTimeoutMs); }

  QtHost host;
  std::unique_ptr<Session> session;
  MainWindow window{*session, host};
};

}  // namespace

class GuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void newcomerSynchronisesTwoComputers();
  void stopEndsALongRunAndTheCloseBoxThenEndsTheProgram();
  void enterIsIgnoredEscExitsAndThePaneDropsOldLines();
  void replaceObjectFromTheObjectsDialog();
  void cancelledNameLeavesTheComputerUnidentified();
  void questionsOfARunAreMessageBoxesThatLeaveTheWindowUsable();
  void cancellingTheFontDialogKeepsThePaneFont();
  void objectsDialogRefusesCommandsDuringItsRun();
  void gridsWorkFromTheKeyboard();
  void enterAfterBrowseConfirmsTheObject();
  void labelsShowTheirTextAsItIs();
  void questionsWhoseYesDeletesDataDefaultToNo();
  void carrierOptionIsTakenOutOfTheArguments();
  void carrierChooserEntersTheChosenFolder();

 private:
  // The object path of computer `c`: its folder, or the folder `below` it
  // (UTF-8), with *.*; as the window shows it.
  QString object_path(int c, std::string_view below = "") const;
  // Adds an object through the objects dialog's Добавить with the object
  // paths of computers 1 and 2 (kAnn and kBoris).
  void add_object(Computer& c, std::string_view below = "", bool nested = false);
  // Inserts a mask through the masks dialog.
  void add_mask(Computer& c, const QString& pattern);
  // Closes the window with Выход.
  void exit(Computer& c);

  std::unique_ptr<Computers> world_;
};

void GuiTest::init() {
  world_ = std::make_unique<Computers>(Computers::Options{
      .disk = Computers::Disk::kNative, .real_surroundings = true, .carrier = "Носитель"});
  world_->use_system_clock();
}

void GuiTest::cleanup() { world_.reset(); }

QString GuiTest::object_path(int c, std::string_view below) const {
  return shown(
      world_->join(world_->folder(c), below.empty() ? "*.*" : std::string(below) + "/*.*"));
}

void GuiTest::add_object(Computer& c, std::string_view below, bool nested) {
  ObjectsWindow* objects = c.window.objects_window();
  QVERIFY(objects != nullptr);
  when_modal([&](QWidget* dialog) {
    auto* edit = qobject_cast<ObjectEditWindow*>(dialog);
    QVERIFY(edit != nullptr);
    edit->path_edit(0)->setText(object_path(kAnn, below));
    edit->path_edit(1)->setText(object_path(kBoris, below));
    if (nested) QTest::mouseClick(edit->nested_box(), Qt::LeftButton);
    click_child(edit, "ok");
  });
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kAdd), Qt::LeftButton);
}

void GuiTest::add_mask(Computer& c, const QString& pattern) {
  QTest::mouseClick(c.window.button(Command::kMasks), Qt::LeftButton);
  MasksWindow* masks = c.window.masks_window();
  QVERIFY(masks != nullptr);
  when_modal([&](QWidget* dialog) {
    auto* edit = qobject_cast<MaskEditWindow*>(dialog);
    QVERIFY(edit != nullptr);
    QVERIFY(edit->ask_replace_box()->isDown());  // highlighted: copying not allowed
    QTest::keyClicks(edit->pattern_edit(), pattern);
    QTest::mouseClick(edit->allow_copy_box(), Qt::LeftButton);
    QTest::mouseClick(edit->allow_delete_box(), Qt::LeftButton);
    QVERIFY(!edit->ask_replace_box()->isDown());
    click_child(edit, "ok");
  });
  QTest::mouseClick(masks->button(MasksWindow::Button::kInsert), Qt::LeftButton);
  QCOMPARE(masks->flex_grid()->item(1, 0)->text(), pattern);
  QCOMPARE(masks->flex_grid()->item(1, 1)->text(), QString::fromUtf8("Да"));
  QTest::mouseClick(masks->button(MasksWindow::Button::kOk), Qt::LeftButton);
  QVERIFY(c.window.masks_window() == nullptr);
}

void GuiTest::exit(Computer& c) {
  QTest::mouseClick(c.window.button(Command::kExit), Qt::LeftButton);
  QVERIFY(c.window.program().finished());
  QVERIFY(!c.window.isVisible());
}

void GuiTest::newcomerSynchronisesTwoComputers() {
  Computers& world = *world_;
  world.put(kAnn, "docs/plan.txt", "the plan", kT0);
  world.put(kAnn, "Фото/лето.jpg", "summer", kT0);
  for (const char* below : {"docs", "Фото"}) {
    fs::create_directories(Computers::native(world.join(world.folder(kBoris), below)));
  }

  // Ann sets up the carrier: a mask, two objects, a comparison and a first
  // synchronisation, which takes her files as they are.
  {
    Computer ann(world, kAnn);
    ann.start(QString::fromUtf8("Анна"));
    QCOMPARE(ann.window.status_label()->text(), QString::fromUtf8("1=>Анна"));
    QVERIFY(ann.pane().contains(QString::fromUtf8("Добавлен идентификатор компьютера: Анна")));

    add_mask(ann, "*.*");
    QVERIFY(ann.pane().endsWith(QString::fromUtf8("Добавлено масок файлов: 1")));

    QTest::mouseClick(ann.window.button(Command::kObjects), Qt::LeftButton);
    ObjectsWindow* objects = ann.window.objects_window();
    QVERIFY(objects != nullptr);
    // The main window waits for the dialog.
    QVERIFY(!ann.window.button(Command::kCompare)->isEnabled());
    add_object(ann, "docs");
    add_object(ann, "Фото");
    QCOMPARE(objects->flex_grid()->rowCount(), 4);
    QCOMPARE(objects->flex_grid()->item(0, 1)->text(), QString::fromUtf8("Анна"));
    QVERIFY(objects->flex_grid()->item(0, 1)->font().bold());
    click_cell(objects->flex_grid(), 2, 2);
    QCOMPARE(objects->info_label()->text(), object_path(kBoris, "Фото"));
    QTest::mouseClick(objects->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
    QVERIFY(ann.pane().endsWith(
        QString::fromUtf8("Новый объект: 2\nДобавлено объектов синхронизации: 2")));

    QTest::mouseClick(ann.window.button(Command::kCompare), Qt::LeftButton);
    ann.wait_for_run();
    QVERIFY(ann.pane().contains(QString::fromUtf8(" СРАВНИТЬ")));
    QVERIFY(ann.pane().contains(
        QString::fromUtf8("\nСравнение объекта: ") + object_path(kAnn, "Фото") +
        QString::fromUtf8("\nПервая обработка списка файлов на этом компьютере...")));
    QTest::mouseClick(ann.window.button(Command::kSynchronize), Qt::LeftButton);
    ann.wait_for_run();
    QVERIFY(ann.pane().contains(QString::fromUtf8("= СИНХРОНИЗАЦИЯ")));
    QVERIFY(ann.pane().endsWith(QString(76, '#')));
    QCOMPARE(ann.window.button(Command::kExit)->text(), QString::fromUtf8("Выход"));
    QCOMPARE(ann.window.windowTitle(), QString::fromUtf8("Brindlewood"));
    exit(ann);
  }
  // The log went back to the carrier, ending with the end banner.
  const std::string log = read_file(world.join(world.carrier(), "KELDAR.LOG"));
  QVERIFY(log.size() > 97);
  QCOMPARE(log.substr(log.size() - 97), std::string(95, '=') + "\r\n");

  // Boris joins with empty folders.
  {
    Computer boris(world, kBoris);
    boris.start(QString::fromUtf8("Борис"));
    QCOMPARE(boris.window.status_label()->text(), QString::fromUtf8("2=>Борис"));
    QTest::mouseClick(boris.window.button(Command::kSynchronize), Qt::LeftButton);
    boris.wait_for_run();
    exit(boris);
  }

  // Ann changes a file and adds one; Synchronize puts both on the carrier,
  // and the photo Boris has not got: he joined after her first run. Times
  // are kept to two seconds: the change must not fall into the same two
  // seconds as the file it replaces.
  world.put(kAnn, "docs/plan.txt", "the new plan", kT0 + 10);
  world.put(kAnn, "Фото/осень.jpg", "autumn", kT0);
  const Tree both = {{"docs/plan.txt", test::entry_text("the new plan", kT0 + 10)},
                     {"Фото/лето.jpg", test::entry_text("summer", kT0)},
                     {"Фото/осень.jpg", test::entry_text("autumn", kT0)}};
  {
    Computer ann(world, kAnn);
    ann.start(QString());
    QTest::mouseClick(ann.window.button(Command::kSynchronize), Qt::LeftButton);
    ann.wait_for_run();
    QVERIFY(
        ann.pane().contains(QString::fromUtf8("Объект => носитель: ") + object_path(kAnn, "docs")));
    compare_trees(world.tree(world.object_carrier(1)),
                  {{"plan.txt", test::entry_text("the new plan", kT0 + 10)}});
    compare_trees(world.tree(world.object_carrier(2)),
                  {{"лето.jpg", test::entry_text("summer", kT0)},
                   {"осень.jpg", test::entry_text("autumn", kT0)}});
    exit(ann);
  }

  // Boris receives them.
  Computer boris(world, kBoris);
  boris.start(QString());
  QTest::mouseClick(boris.window.button(Command::kSynchronize), Qt::LeftButton);
  boris.wait_for_run();
  QVERIFY(boris.pane().contains(QString::fromUtf8("Носитель => объект: ") +
                                object_path(kBoris, "docs")));
  compare_trees(world.tree(kAnn), both);
  compare_trees(world.tree(kBoris), both);
  // Nobody else needs the copies: the carrier is cleaned.
  compare_trees(world.tree(world.object_carrier(1)), {});
  compare_trees(world.tree(world.object_carrier(2)), {});
  exit(boris);
}

void GuiTest::stopEndsALongRunAndTheCloseBoxThenEndsTheProgram() {
  Computers& world = *world_;
  for (int i = 0; i < 50; ++i) world.put(kAnn, "f" + std::to_string(i), "data", kT0);
  const Tree big = world.tree(kAnn);
  Computer c(world, kAnn);
  c.start("Ann");
  QTest::mouseClick(c.window.button(Command::kObjects), Qt::LeftButton);
  add_object(c);
  QTest::mouseClick(c.window.objects_window()->button(ObjectsWindow::Button::kOk), Qt::LeftButton);

  // The worker waits at the title of Action 1 until the window has
  // handled it: Стоп is pressed there, and the close box only stops too.
  bool pressed = false;
  QObject gate;
  connect(
      &c.host, &QtHost::logLine, &gate,
      [&](const QString& line) {
        if (!line.startsWith(QString::fromUtf8("Действие 1."))) return;
        QMetaObject::invokeMethod(
            &gate,
            [&] {
              QCOMPARE(c.window.button(Command::kExit)->text(), QString::fromUtf8("Стоп"));
              QVERIFY(!c.window.button(Command::kSynchronize)->isEnabled());
              QVERIFY(!c.window.button(Command::kObjects)->isEnabled());
              QTest::mouseClick(c.window.button(Command::kExit), Qt::LeftButton);
              QVERIFY(!c.window.windowHandle()->close());
              pressed = true;
            },
            Qt::BlockingQueuedConnection);
      },
      Qt::DirectConnection);
  QTest::mouseClick(c.window.button(Command::kSynchronize), Qt::LeftButton);
  c.wait_for_run();
  QVERIFY(pressed);
  QVERIFY(c.window.isVisible());
  QVERIFY(!c.window.program().finished());
  QVERIFY(c.pane().endsWith(QString::fromUtf8("Процесс прерван ") + QString(60, '#')));
  QVERIFY(!c.pane().contains(QString::fromUtf8("Действие 2.")));
  compare_trees(world.tree(world.object_carrier(1)), {});
  compare_trees(world.tree(kAnn), big);
  QCOMPARE(c.window.button(Command::kExit)->text(), QString::fromUtf8("Выход"));
  QVERIFY(c.window.button(Command::kSynchronize)->isEnabled());
  // Idle, one press of the close box ends the program.
  QVERIFY(c.window.windowHandle()->close());
  QVERIFY(c.window.program().finished());
  QVERIFY(!c.window.isVisible());
}

void GuiTest::enterIsIgnoredEscExitsAndThePaneDropsOldLines() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  c.window.activateWindow();
  QTest::keyClick(&c.window, Qt::Key_Return);
  QTest::keyClick(&c.window, Qt::Key_Enter);
  QVERIFY(c.window.isVisible());
  QVERIFY(!c.window.program().finished());

  // The pane drops whole lines from the top when it is full.
  c.window.set_pane_lines(3);
  for (const char* line : {"one", "two", "three", "four"}) c.session->log.line(line);
  QCOMPARE(c.pane(), QString("two\nthree\nfour"));
  // Long lines wrap at the pane's edge; a failure line stands out in colour
  // with its text as logged, and the line after it is plain again.
  c.session->log.line(std::string(300, 'x'));
  c.session->log.line("ERC=a.txt");
  c.session->log.line("+ b.txt");
  QCOMPARE(c.pane(), QString(300, 'x') + "\nERC=a.txt\n+ b.txt");
  const QTextBlock plain = c.window.log_pane()->document()->firstBlock();
  (void)c.window.log_pane()->document()->documentLayout()->blockBoundingRect(plain);
  QVERIFY(plain.layout()->lineCount() > 1);
  QVERIFY(foreground(plain.next()) != foreground(plain));
  QCOMPARE(foreground(plain.next().next()), foreground(plain));
  // The main window has a fixed frame: no minimise or maximise box.
  QVERIFY(
      !(c.window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

  // F1 (as the right click's menu) shows the about box.
  QStringList about_texts;
  when_modal([&](QWidget* dialog) {
    about_texts << dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) about_texts << label->text();
    }
    click_child(dialog, "ok");
  });
  c.window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&c.window));
  QTest::keyClick(&c.window, Qt::Key_F1);
  QCOMPARE(about_texts, QStringList({QString::fromUtf8("О программе KELDAR"), "Brindlewood",
                                     "KELDAR Version 5.01"}));

  // Esc is Выход.
  QTest::keyClick(&c.window, Qt::Key_Escape);
  QVERIFY(c.window.program().finished());
}

void GuiTest::replaceObjectFromTheObjectsDialog() {
  Computers& world = *world_;
  world.put(kAnn, "a.txt", "a", kT0);
  world.put(kAnn, "sub/b.txt", "b", kT0);
  world.put(kBoris, "stale.txt", "old", kT0);
  const Tree ann_tree = {{"a.txt", test::entry_text("a", kT0)},
                         {"sub/b.txt", test::entry_text("b", kT0)}};
  {
    Computer ann(world, kAnn);
    ann.start("Ann");
    QTest::mouseClick(ann.window.button(Command::kObjects), Qt::LeftButton);
    // Subfolders belong to the object, so Replace object deletes its files.
    add_object(ann, "", /*nested=*/true);
    ObjectsWindow* objects = ann.window.objects_window();
    // Copy of object puts the whole folder on the carrier; the dialog is
    // minimised while it runs and shown again at the end.
    click_cell(objects->flex_grid(), 1, 1);
    QTest::mouseClick(objects->button(ObjectsWindow::Button::kCopy), Qt::LeftButton);
    QVERIFY(objects->isMinimized());
    // The main window with its log and Стоп stays in view and active: the
    // dialog is a window of its own, which a window manager does not
    // minimise together with the main window.
    QVERIFY(!ann.window.isMinimized());
    QVERIFY(QTest::qWaitForWindowActive(&ann.window));
    QCOMPARE(objects->windowType(), Qt::Window);
    QVERIFY(objects->windowHandle()->transientParent() == nullptr);
    ann.wait_for_run();
    QVERIFY(!objects->isMinimized());
    compare_trees(world.tree(world.object_carrier(1)), ann_tree);
    QTest::mouseClick(objects->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
    exit(ann);
  }

  Computer boris(world, kBoris);
  boris.start("Boris");
  QTest::mouseClick(boris.window.button(Command::kObjects), Qt::LeftButton);
  ObjectsWindow* objects = boris.window.objects_window();
  std::vector<Question> asked;
  boris.host.answer_hook = [&](const Question& q) {
    asked.push_back(q);
    return Answer::kYes;
  };
  click_cell(objects->flex_grid(), 1, 2);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kReplace), Qt::LeftButton);
  boris.wait_for_run();
  // Emptying the folder gives it a new time; when that falls into a later
  // two seconds than the carrier's, Action 1 asks about the folder too.
  QVERIFY(!asked.empty());
  QCOMPARE(asked[0].text, QString::fromUtf8("Все файлы объекта будут удалены, вы уверены?\n") +
                              shown(world.folder(kBoris) + "/"));
  QCOMPARE(asked[0].icon, QMessageBox::NoIcon);
  QVERIFY(boris.pane().contains(QString::fromUtf8("Удаление всех файлов объекта ID=1->\n") +
                                object_path(kBoris)));
  compare_trees(world.tree(kBoris), ann_tree);

  // The list state of this computer after the run, and of the other one.
  click_cell(objects->flex_grid(), 1, 2);
  QCOMPARE(objects->state_label()->text(), QString::fromUtf8("1 операция"));
  click_cell(objects->flex_grid(), 1, 1);
  QCOMPARE(objects->state_label()->text(), QString::fromUtf8("синхронизирован"));
  // Closed without a change: no counter line.
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
  QVERIFY(boris.pane().endsWith(QString(76, '#')));
  exit(boris);
}

void GuiTest::cancelledNameLeavesTheComputerUnidentified() {
  Computer c(*world_, kAnn);
  when_modal([](QWidget* dialog) {
    auto* window = qobject_cast<ComputerNameWindow*>(dialog);
    QVERIFY(window != nullptr);
    QCOMPARE(window->prompt_label()->text(),
             QString::fromUtf8("Новый компьютер для синхронизации, введите имя:"));
    // The field holds no more than the 15 characters that are stored.
    QTest::keyClicks(window->name_edit(), "AnnAnnAnnAnnAnnAnn");
    QCOMPARE(window->name_edit()->text(), QString("AnnAnnAnnAnnAnn"));
    click_child(window, "cancel");
  });
  QVERIFY(!c.window.program().start_up('C'));
  QCOMPARE(c.window.status_label()->text(), QString());
  QCOMPARE(read_file(world_->join(world_->carrier(), "COMPS.QRV")), std::string(80, '\0'));
  QTest::mouseClick(c.window.button(Command::kCompare), Qt::LeftButton);
  QVERIFY(!c.window.program().busy());
  exit(c);
}

void GuiTest::questionsOfARunAreMessageBoxesThatLeaveTheWindowUsable() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  // The box runs its own loop; it is looked at and answered from a timer
  // of that loop.
  QString icon_title_text;
  QStringList buttons;
  Qt::WindowModality modality = Qt::ApplicationModal;
  bool escape_is_cancel = false;
  QTimer poll;
  poll.setInterval(5);
  connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      poll.stop();
      icon_title_text = QString::number(box->icon()) + "|" + box->windowTitle() + "|" + box->text();
      modality = box->windowModality();
      QAbstractButton* cancel = nullptr;
      for (QAbstractButton* b : box->buttons()) {
        buttons << b->text();
        if (b->text() == QString::fromUtf8("Отмена")) cancel = b;
      }
      buttons.sort();
      escape_is_cancel = box->escapeButton() == cancel;
      QTest::mouseClick(cancel, Qt::LeftButton);
      return;
    }
  });
  poll.start();
  std::atomic<bool> answered{false};
  Answer answer = Answer::kYes;
  std::thread worker([&] {
    answer = c.host.ask(cp1251("Файл изменен здесь.\r\nКопировать?"), cp1251("Копирование"),
                        /*warning=*/true, /*cancel=*/true);
    answered = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(answered, 5000);
  worker.join();
  QCOMPARE(answer, Answer::kCancel);
  QCOMPARE(icon_title_text, QString::number(QMessageBox::Warning) +
                                QString::fromUtf8("|Копирование|Файл изменен здесь.\nКопировать?"));
  QCOMPARE(modality, Qt::NonModal);  // the main window's Стоп stays usable
  QStringList expected{QString::fromUtf8("Да"), QString::fromUtf8("Нет"),
                       QString::fromUtf8("Отмена")};
  expected.sort();
  QCOMPARE(buttons, expected);
  QVERIFY(escape_is_cancel);
  exit(c);
}

void GuiTest::cancellingTheFontDialogKeepsThePaneFont() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  const QFont before = c.window.log_pane()->font();
  // The stock choosers speak Russian too.
  QVERIFY2(load_qt_translation(), "qtbase_ru.qm is missing (scripts/install-deps.sh)");
  when_modal([](QWidget* dialog) {
    QVERIFY(qobject_cast<QFontDialog*>(dialog) != nullptr);
    QCOMPARE(dialog->windowTitle(), QString::fromUtf8("Выбор шрифта"));
    qobject_cast<QDialog*>(dialog)->reject();
  });
  QTest::mouseDClick(&c.window, Qt::LeftButton, {}, QPoint(3, 3));
  QCOMPARE(c.window.log_pane()->font(), before);
  exit(c);
}

void GuiTest::objectsDialogRefusesCommandsDuringItsRun() {
  world_->put(kAnn, "a.txt", "a", kT0);
  Computer c(*world_, kAnn);
  c.start("Ann");
  QStringList messages;
  c.host.message_hook = [&](const QString& text) { messages << text; };
  QTest::mouseClick(c.window.button(Command::kObjects), Qt::LeftButton);
  add_object(c);
  ObjectsWindow* objects = c.window.objects_window();
  // The run waits at its fill while the dialog's buttons are pressed.
  QObject gate;
  connect(
      &c.host, &QtHost::titleChanged, &gate,
      [&](const QString& title) {
        if (title != QString::fromUtf8("Заполнение списков файлов")) return;
        QMetaObject::invokeMethod(
            &gate,
            [&] {
              objects->showNormal();
              click_cell(objects->flex_grid(), 1, 1);
              QTest::mouseClick(objects->button(ObjectsWindow::Button::kDelete), Qt::LeftButton);
              QTest::mouseClick(objects->button(ObjectsWindow::Button::kCompare), Qt::LeftButton);
            },
            Qt::BlockingQueuedConnection);
      },
      Qt::DirectConnection);
  click_cell(objects->flex_grid(), 1, 1);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kCompare), Qt::LeftButton);
  c.wait_for_run();
  const QString refused = QString::fromUtf8(
      "Идет выполнение операции. Дождитесь ее окончания или остановите ее кнопкой \"Стоп\"");
  QCOMPARE(messages, QStringList({refused, refused}));
  QCOMPARE(c.session->objects.count(), 1);
  QCOMPARE(c.pane().count(QString::fromUtf8("Сравнение объекта: ")), 1);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
  exit(c);
}

void GuiTest::gridsWorkFromTheKeyboard() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  add_mask(c, "*.txt");
  QTest::mouseClick(c.window.button(Command::kMasks), Qt::LeftButton);
  check_grid_keys(c.window.masks_window(), c.window.masks_window()->flex_grid());
  QTest::mouseClick(c.window.masks_window()->button(MasksWindow::Button::kOk), Qt::LeftButton);
  QTest::mouseClick(c.window.button(Command::kObjects), Qt::LeftButton);
  add_object(c);
  check_grid_keys(c.window.objects_window(), c.window.objects_window()->flex_grid());
  QTest::mouseClick(c.window.objects_window()->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
  exit(c);
}

void GuiTest::enterAfterBrowseConfirmsTheObject() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  QTest::mouseClick(c.window.button(Command::kObjects), Qt::LeftButton);
  // Every folder chooser that opens is counted and cancelled.
  int choosers = 0;
  QTimer cancel_choosers;
  cancel_choosers.setInterval(5);
  connect(&cancel_choosers, &QTimer::timeout, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (chooser == nullptr || !chooser->isVisible()) return;
    ++choosers;
    chooser->reject();
  });
  cancel_choosers.start();
  when_modal_is<ObjectEditWindow>([&](ObjectEditWindow* edit) {
    edit->path_edit(0)->setText(object_path(kAnn));
    click_child(edit, "browse");
    QTest::keyClick(edit->focusWidget(), Qt::Key_Return);
    if (edit->isVisible()) edit->reject();
  });
  QTest::mouseClick(c.window.objects_window()->button(ObjectsWindow::Button::kAdd), Qt::LeftButton);
  QCOMPARE(choosers, 1);
  QCOMPARE(c.session->objects.count(), 1);  // Enter was OK
  QTest::mouseClick(c.window.objects_window()->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
  exit(c);
}

void GuiTest::labelsShowTheirTextAsItIs() {
  Computer c(*world_, kAnn);
  c.start("Ann");
  // No label of any window takes its text (a name, a path) for markup.
  ObjectsWindow objects(*c.session, c.host, c.window.program());
  ObjectEditWindow edit(c.session->objects.new_object(), c.session->computers, 0, c.host, nullptr);
  MasksWindow masks(*c.session, c.host, nullptr);
  std::string answer;
  ComputerNameDialog name_logic("", answer);
  ComputerNameWindow name(name_logic, c.host, nullptr);
  AboutBox about(nullptr);
  for (QWidget* window :
       std::initializer_list<QWidget*>{&c.window, &objects, &edit, &masks, &name, &about}) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
      QCOMPARE(label->textFormat(), Qt::PlainText);
    }
  }
  exit(c);
}

void GuiTest::questionsWhoseYesDeletesDataDefaultToNo() {
  world_->put(kAnn, "a.txt", "a", kT0);
  const Tree before = world_->tree(kAnn);
  Computer c(*world_, kAnn);
  c.start("Ann");
  QTest::mouseClick(c.window.button(Command::kObjects), Qt::LeftButton);
  ObjectsWindow* objects = c.window.objects_window();
  add_object(c, "", /*nested=*/true);
  // Each box is answered with Enter, which presses its default button.
  QStringList seen;
  const std::function<void(QMessageBox*)> enter = [&](QMessageBox* box) {
    QAbstractButton* preset = box->defaultButton();
    seen << box->windowTitle() + "|" + (preset != nullptr ? preset->text() : QString()) + "|" +
                box->text();
    QTest::keyClick(box, Qt::Key_Return);
  };
  // Изменить with a changed path asks whether the identity changes.
  when_modal_is<ObjectEditWindow>([&](ObjectEditWindow* edit) {
    edit->path_edit(1)->setText("/elsewhere/*.*");
    when_modal_is<QMessageBox>(enter);
    click_child(edit, "ok");
  });
  click_cell(objects->flex_grid(), 1, 1);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kEdit), Qt::LeftButton);
  when_modal_is<QMessageBox>(enter);
  click_cell(objects->flex_grid(), 1, 1);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kReplace), Qt::LeftButton);
  QCOMPARE(seen, QStringList({QString::fromUtf8("Brindlewood|Нет|Объект был изменен, изменить "
                                                "идентификатор (будет удален файл общего списка)?"),
                              QString::fromUtf8("Brindlewood|Нет|Все файлы объекта будут удалены, "
                                                "вы уверены?\n") +
                                  shown(world_->folder(kAnn) + "/")}));
  // Нет kept the identity and started nothing.
  QCOMPARE(c.session->objects.record(0).id(), 1);
  QVERIFY(!c.window.program().busy());
  compare_trees(world_->tree(kAnn), before);
  QTest::mouseClick(objects->button(ObjectsWindow::Button::kOk), Qt::LeftButton);
  exit(c);
}

void GuiTest::carrierOptionIsTakenOutOfTheArguments() {
  using Args = std::vector<std::string>;
  struct Case {
    Args args;
    Args rest;
    bool given;
    std::optional<std::string> folder;
    bool error;
  };
  const Case cases[] = {
      {{"1", "--batch"}, {"1", "--batch"}, false, std::nullopt, false},
      {{"--carrier"}, {}, true, std::nullopt, false},
      {{"--carrier", "/media/Носитель"}, {}, true, "/media/Носитель", false},
      {{"2", "--carrier", "1", "--batch"}, {"2", "--batch"}, true, "1", false},
      {{"--carrier", "--batch"}, {"--batch"}, true, std::nullopt, false},
      {{"--carrier=-x", "--sync"}, {"--sync"}, true, "-x", false},
      {{"--carrier="}, {}, true, "", true},
      {{"--carrier", "a", "--carrier", "b"}, {}, true, "b", true},
      {{"--carriers"}, {"--carriers"}, false, std::nullopt, false},
  };
  for (const Case& c : cases) {
    Args args = c.args;
    const CarrierOption got = take_carrier_option(args);
    QCOMPARE(args, c.rest);
    QCOMPARE(got.given, c.given);
    QCOMPARE(got.folder, c.folder);
    QCOMPARE(!got.error.empty(), c.error);
  }
}

void GuiTest::carrierChooserEntersTheChosenFolder() {
  const fs::path start = fs::current_path();
  const fs::path chosen = fs::path(Computers::native(world_->root())) / "chosen";
  fs::create_directory(chosen);
  when_modal_is<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
  QVERIFY(!choose_carrier_folder());
  QCOMPARE(fs::current_path(), start);
  when_modal_is<QFileDialog>([&](QFileDialog* chooser) {
    chooser->setDirectory(QString::fromStdString(chosen.string()));
    static_cast<QDialog*>(chooser)->accept();  // QFileDialog::accept, protected there
  });
  const bool entered = choose_carrier_folder();
  const fs::path now = fs::current_path();
  fs::current_path(start);
  QVERIFY(entered);
  QCOMPARE(now, chosen);
}

}  // namespace keldar

QTEST_MAIN(keldar::GuiTest)
#include "gui_test.moc"

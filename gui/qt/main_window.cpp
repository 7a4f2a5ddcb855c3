#include "gui/qt/main_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMenu>
#include <QShortcut>
#include <QTextCharFormat>

#include "gui/qt/about_box.h"
#include "gui/qt/dialog_units.h"
#include "gui/qt/masks_window.h"
#include "gui/qt/objects_window.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"

namespace keldar {
namespace {

constexpr int kPaneLines = 5000;

}  // namespace

MainWindow::MainWindow(Session& session, QtHost& host)
    : session_(session),
      host_(host),
      pane_(new QPlainTextEdit(this)),
      status_(plain_label(QString(), this)),
      progress_(plain_label(QString(), this)),
      program_(session, *this) {
  setWindowTitle(ru("Brindlewood"));
  setObjectName("main");
  setWindowIcon(keldar_icon());
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const DialogUnits du(font());
  du.size(this, 379, 245);

  pane_->setReadOnly(true);
  pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Long lines wrap at the pane's edge, as in a multiline edit.
  pane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  pane_->setMaximumBlockCount(kPaneLines);
  pane_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  du.place(pane_, 7, 7, 365, 206);
  add_button(Command::kMasks, "masks", "Маски", 96, 45);
  add_button(Command::kObjects, "objects", "Объекты", 146, 45);
  add_button(Command::kCompare, "compare", "Сравнить", 196, 45);
  add_button(Command::kSynchronize, "synchronize", "Синхронизировать", 246, 84);
  add_button(Command::kExit, "exit", "Выход", 335, 37);
  auto* computer = plain_label(ru("Компьютер:"), this);
  du.place(computer, 7, 216, 43, 8);
  progress_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  du.place(progress_, 55, 217, 36, 9);
  du.place(status_, 7, 230, 84, 8);

  const std::pair<Command, void (Program::*)()> commands[] = {
      {Command::kMasks, &Program::open_masks},
      {Command::kObjects, &Program::open_objects},
      {Command::kCompare, &Program::compare},
      {Command::kSynchronize, &Program::synchronize},
      {Command::kExit, &Program::exit}};
  for (const auto& [command, act] : commands) {
    connect(buttons_[command], &QPushButton::clicked, this,
            [this, act = act] { (program_.*act)(); });
  }
  auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &MainWindow::show_about);

  // Calls from the worker arrive queued, in the order they were made.
  connect(&host_, &QtHost::logLine, this, &MainWindow::append_line);
  connect(&host_, &QtHost::statusChanged, status_, &QLabel::setText);
  connect(&host_, &QtHost::progressChanged, progress_, &QLabel::setText);
  connect(&host_, &QtHost::titleChanged, this, &QWidget::setWindowTitle);
  connect(&host_, &QtHost::runningChanged, this,
          [this](bool running) { program_.running_changed(running); });
}

MainWindow::~MainWindow() {
  // The objects dialog is a window of its own, not a child of this one.
  delete objects_.data();
}

void MainWindow::append_line(const QString& line, bool failure) {
  // Each line is given its own format: a failure line stands out, and the
  // line after it does not take its colour.
  QTextCharFormat format;
  if (failure) format.setForeground(QColor(0xC0, 0x00, 0x00));
  pane_->setCurrentCharFormat(format);
  pane_->appendPlainText(line);
}

void MainWindow::add_button(Command command, const char* name, const char* text, int x, int width) {
  auto* button = new QPushButton(ru(text), this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  DialogUnits(font()).place(button, x, 218, width, 20);
  buttons_[command] = button;
}

void MainWindow::set_enabled(Command command, bool enabled) {
  buttons_.at(command)->setEnabled(enabled);
}

void MainWindow::set_text(Command command, std::string_view text) {
  buttons_.at(command)->setText(qs(text));
}

void MainWindow::open_masks_dialog() {
  masks_ = new MasksWindow(session_, host_, this);
  connect(masks_, &QDialog::finished, this, [this] {
    program_.dialog_closed(masks_->counters());
    masks_->deleteLater();
    masks_ = nullptr;
  });
  masks_->show();
}

void MainWindow::open_objects_dialog() {
  objects_ = new ObjectsWindow(session_, host_, program_);
  connect(objects_, &QDialog::finished, this, [this] {
    program_.dialog_closed(objects_->counters());
    objects_->deleteLater();
    objects_ = nullptr;
  });
  objects_->show();
}

void MainWindow::close_dialog() {
  if (masks_) masks_->accept();
  if (objects_) objects_->accept();
}

void MainWindow::show_run() {
  // The log, the progress and Стоп stay in view while the objects dialog
  // that started the run is minimised.
  raise();
  activateWindow();
}

void MainWindow::post_run_ended() {
  QMetaObject::invokeMethod(
      this, [this] { program_.run_ended(); }, Qt::QueuedConnection);
}

void MainWindow::restore_objects_dialog() {
  if (objects_) objects_->run_ended();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The close box is Выход. When it ends the program, this very close
  // hides the window: the close that the end asks for while this one is
  // under way does nothing.
  program_.exit();
  event->setAccepted(program_.finished());
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      program_.exit();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter does not close the window.
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, pane_->font(), this);
  if (ok) pane_->setFont(font);
  QWidget::mouseDoubleClickEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  // Where the desktop offers no window menu of the program's own, the
  // window surface does.
  QMenu menu(this);
  menu.addAction(ru("&О программе KELDAR..."), this, &MainWindow::show_about);
  menu.exec(event->globalPos());
}

void MainWindow::show_about() {
  AboutBox about(this);
  about.exec();
}

}  // namespace keldar

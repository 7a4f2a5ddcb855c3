#include "gui/qt/main_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMenu>
#include <QShortcut>
#include <QTextCharFormat>

#include "dialogs/counters.h"
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
      progress_(plain_label(QString(), this)) {
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
  add_button(9, "Маски", 96, 45);
  add_button(8, "Объекты", 146, 45);
  add_button(6, "Сравнить", 196, 45);
  add_button(7, "Синхронизировать", 246, 84);
  add_button(2, "Выход", 335, 37);
  auto* computer = plain_label(ru("Компьютер:"), this);
  du.place(computer, 7, 216, 43, 8);
  progress_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  du.place(progress_, 55, 217, 36, 9);
  du.place(status_, 7, 230, 84, 8);

  connect(buttons_[9], &QPushButton::clicked, this, &MainWindow::open_masks);
  connect(buttons_[8], &QPushButton::clicked, this, &MainWindow::open_objects);
  connect(buttons_[6], &QPushButton::clicked, this, &MainWindow::compare);
  connect(buttons_[7], &QPushButton::clicked, this, &MainWindow::synchronize);
  connect(buttons_[2], &QPushButton::clicked, this, &MainWindow::exit_pressed);
  auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &MainWindow::show_about);

  // Calls from the worker arrive queued, in the order they were made.
  connect(&host_, &QtHost::logLine, this, &MainWindow::append_line);
  connect(&host_, &QtHost::statusChanged, status_, &QLabel::setText);
  connect(&host_, &QtHost::progressChanged, progress_, &QLabel::setText);
  connect(&host_, &QtHost::titleChanged, this, &QWidget::setWindowTitle);
  connect(&host_, &QtHost::runningChanged, this,
          [this](bool running) { buttons_[2]->setText(running ? ru("Стоп") : ru("Выход")); });
  thread_.set_on_finished(
      [this] { QMetaObject::invokeMethod(this, &MainWindow::run_finished, Qt::QueuedConnection); });
}

MainWindow::~MainWindow() {
  // A run still going (the window torn down without Выход) is stopped and
  // waited for before the window it reports to goes away.
  session_.queue.request_stop();
  (void)thread_.wait();
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

QPushButton* MainWindow::add_button(int id, const char* text, int x, int width) {
  auto* button = new QPushButton(ru(text), this);
  button->setObjectName(QStringLiteral("b%1").arg(id));
  button->setAutoDefault(false);
  DialogUnits(font()).place(button, x, 218, width, 20);
  buttons_[id] = button;
  return button;
}

StartResult MainWindow::start(char drive) {
  pane_->clear();
  return start_up(session_, drive);
}

void MainWindow::update_buttons() {
  const bool idle = !running_ && objects_.isNull() && masks_.isNull();
  for (int id : {9, 8, 6, 7}) buttons_[id]->setEnabled(idle);
}

void MainWindow::start(RunThread::Kind kind) {
  if (running_) return;
  running_ = true;
  update_buttons();
  if (!thread_.start(session_, kind)) {
    running_ = false;
    update_buttons();
    return;
  }
  // The log, the progress and Стоп stay in view while the objects dialog
  // that started the run is minimised.
  raise();
  activateWindow();
}

void MainWindow::run_finished() {
  (void)thread_.wait();
  running_ = false;
  update_buttons();
  if (objects_) objects_->run_ended();
}

void MainWindow::open_masks() {
  if (busy() || masks_ || objects_) return;
  masks_ = new MasksWindow(session_, host_, this);
  connect(masks_, &QDialog::finished, this, [this] {
    log_mask_counters(session_.log, masks_->counters());
    masks_->deleteLater();
    masks_ = nullptr;
    update_buttons();
  });
  update_buttons();
  masks_->show();
}

void MainWindow::open_objects() {
  if (busy() || masks_ || objects_) return;
  objects_ = new ObjectsWindow(session_, host_, *this);
  connect(objects_, &QDialog::finished, this, [this] {
    log_object_counters(session_.log, objects_->counters());
    objects_->deleteLater();
    objects_ = nullptr;
    update_buttons();
  });
  update_buttons();
  objects_->show();
}

void MainWindow::compare() {
  if (busy() || !session_.require_computer(cp1251("сравнение"))) return;
  log_compare_banner(session_);
  session_.queue.set(op::kCompare);
  session_.force = false;
  start(RunThread::Kind::kAllObjects);
}

void MainWindow::synchronize() {
  if (busy() || !session_.require_computer(cp1251("синхронизация"))) return;
  log_sync_banner(session_);
  session_.queue.set(op::kAction1, op::kAction2);
  session_.force = false;
  start(RunThread::Kind::kAllObjects);
}

void MainWindow::exit_pressed() {
  if (finished_) return;
  // While a run is in progress Выход (reading Стоп) only asks it to stop.
  if (session_.queue.running() || running_) {
    session_.queue.request_stop();
    return;
  }
  // An open list dialog is closed first, so its counters are logged.
  if (masks_) masks_->accept();
  if (objects_) objects_->accept();
  finish_run(session_);
  finished_ = true;
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
    return;
  }
  event->ignore();
  exit_pressed();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      exit_pressed();
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

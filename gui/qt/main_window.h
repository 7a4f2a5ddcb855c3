// The main window: the log pane, Маски, Объекты, Сравнить, Синхронизировать
// and Выход/Стоп, the computer's status text and the progress field. It
// runs the start-up sequence, opens the list dialogs, starts the runs on the
// worker thread and performs the end-of-run steps when the user leaves.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <map>

#include "app/startup.h"
#include "app/worker.h"
#include "dialogs/objects_dialog.h"
#include "gui/qt/masks_window.h"
#include "gui/qt/objects_window.h"

namespace keldar {

class QtHost;

class MainWindow : public QWidget, public Runs {
  Q_OBJECT

 public:
  MainWindow(Session& session, QtHost& host);
  ~MainWindow() override;

  // The start-up sequence, with the identification file of `drive`.
  StartResult start(char drive);

  // Runs: one at a time. busy() holds from start() until the thread has
  // ended and been joined.
  bool busy() const override { return running_; }
  void start(RunThread::Kind kind) override;

  // Whether the end-of-run steps have been done (the program may end).
  bool finished() const { return finished_; }

  QPlainTextEdit* log_pane() const { return pane_; }
  // The button with control id `id`: 9 Маски, 8 Объекты, 6 Сравнить,
  // 7 Синхронизировать, 2 Выход/Стоп.
  QPushButton* button(int id) const { return buttons_.at(id); }
  QLabel* status_label() const { return status_; }
  QLabel* progress_label() const { return progress_; }
  ObjectsWindow* objects_window() const { return objects_; }
  MasksWindow* masks_window() const { return masks_; }
  // The pane keeps at most this many lines; the oldest go first.
  void set_pane_lines(int lines) { pane_->setMaximumBlockCount(lines); }
  void show_about();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void open_masks();
  void open_objects();
  void compare();
  void synchronize();
  void exit_pressed();
  void run_finished();
  void append_line(const QString& line, bool failure);
  void update_buttons();
  QPushButton* add_button(int id, const char* text, int x, int width);

  Session& session_;
  QtHost& host_;
  RunThread thread_;
  bool running_ = false;
  bool finished_ = false;
  QPlainTextEdit* pane_;
  QLabel* status_;
  QLabel* progress_;
  std::map<int, QPushButton*> buttons_;
  QPointer<ObjectsWindow> objects_;
  QPointer<MasksWindow> masks_;
};

}  // namespace keldar

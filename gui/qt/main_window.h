// The main window: the log pane, Маски, Объекты, Сравнить, Синхронизировать
// and Выход/Стоп, the computer's status text and the progress field. A view
// of the core's Program, which decides what the commands do; the window
// holds the widgets, the list dialogs while they are open, the pane's font
// and the about box.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <map>

#include "app/program.h"
#include "gui/qt/masks_window.h"
#include "gui/qt/objects_window.h"

namespace keldar {

class QtHost;

class MainWindow : public QWidget, public MainWindowView {
  Q_OBJECT

 public:
  MainWindow(Session& session, QtHost& host);
  ~MainWindow() override;

  Program& program() { return program_; }

  QPlainTextEdit* log_pane() const { return pane_; }
  QPushButton* button(Command command) const { return buttons_.at(command); }
  QLabel* status_label() const { return status_; }
  QLabel* progress_label() const { return progress_; }
  ObjectsWindow* objects_window() const { return objects_; }
  MasksWindow* masks_window() const { return masks_; }
  // The pane keeps at most this many lines; the oldest go first.
  void set_pane_lines(int lines) { pane_->setMaximumBlockCount(lines); }
  void show_about();

  // MainWindowView
  void clear_log() override { pane_->clear(); }
  void set_enabled(Command command, bool enabled) override;
  void set_text(Command command, std::string_view text) override;
  void open_masks_dialog() override;
  void open_objects_dialog() override;
  void close_dialog() override;
  void show_run() override;
  void post_run_ended() override;
  void restore_objects_dialog() override;
  void close_window() override { QWidget::close(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void append_line(const QString& line, bool failure);
  void add_button(Command command, const char* name, const char* text, int x, int width);

  Session& session_;
  QtHost& host_;
  QPlainTextEdit* pane_;
  QLabel* status_;
  QLabel* progress_;
  std::map<Command, QPushButton*> buttons_;
  QPointer<ObjectsWindow> objects_;
  QPointer<MasksWindow> masks_;
  // Last: made when the widgets are, and gone (its run stopped and waited
  // for) before them.
  Program program_;
};

}  // namespace keldar

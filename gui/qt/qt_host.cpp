#include "gui/qt/qt_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QThread>

#include "app/failure_line.h"
#include "dialogs/computer_name.h"
#include "gui/qt/computer_name_window.h"
#include "gui/qt/qt_text.h"

namespace keldar {

QtHost::QtHost() = default;

void QtHost::on_gui_thread(const std::function<void()>& work) {
  if (QThread::currentThread() == thread()) {
    work();
  } else {
    QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
  }
}

void QtHost::show_log_line(std::string_view line) { emit logLine(qs(line), is_failure_line(line)); }
void QtHost::set_status(std::string_view text) { emit statusChanged(qs(text)); }
void QtHost::set_progress(std::string_view text) { emit progressChanged(qs(text)); }
void QtHost::set_title(std::string_view text) { emit titleChanged(qs(text)); }
void QtHost::set_running(bool running) { emit runningChanged(running); }

void QtHost::ask_text(std::string_view prompt, std::string& answer) {
  on_gui_thread([&] {
    ComputerNameDialog logic(prompt, answer);
    ComputerNameWindow window(logic, *this, QApplication::activeWindow());
    window.exec();
  });
}

namespace {

// A question's text as a message box shows it: lines end in '\n' alone.
QString shown_text(std::string_view text) {
  QString shown = qs(text);
  shown.remove(QLatin1Char('\r'));
  return shown;
}

}  // namespace

Answer QtHost::ask(std::string_view text, std::string_view caption, bool warning, bool cancel) {
  return ask_question({shown_text(text), qs(caption),
                       warning ? QMessageBox::Warning : QMessageBox::NoIcon, cancel});
}

Answer QtHost::ask_to_delete(std::string_view text, std::string_view caption) {
  return ask_question({shown_text(text), qs(caption), QMessageBox::NoIcon, /*cancel=*/false,
                       /*default_no=*/true});
}

Answer QtHost::ask_question(const Question& question) {
  Answer answer = question.cancel ? Answer::kCancel : Answer::kNo;
  const bool from_worker = QThread::currentThread() != thread();
  on_gui_thread([&] {
    if (answer_hook) {
      answer = answer_hook(question);
      if (!question.cancel && answer == Answer::kCancel) answer = Answer::kNo;
      return;
    }
    QMessageBox box(question.icon, question.caption, question.text);
    QPushButton* yes = box.addButton(ru("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(ru("Нет"), QMessageBox::NoRole);
    QPushButton* cancel =
        question.cancel ? box.addButton(ru("Отмена"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(question.default_no ? no : yes);
    box.setEscapeButton(cancel != nullptr ? cancel : no);
    if (from_worker) {
      // A question of a run is modal to no window: the main window stays
      // usable while the worker waits, so that its Стоп can be pressed.
      box.setWindowModality(Qt::NonModal);
      QEventLoop loop;
      connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
      box.show();
      loop.exec();
    } else {
      box.exec();
    }
    if (box.clickedButton() == yes) {
      answer = Answer::kYes;
    } else if (box.clickedButton() == no) {
      answer = Answer::kNo;
    }
  });
  return answer;
}

void QtHost::show_message(std::string_view text) { message(qs(text)); }

void QtHost::message(const QString& text) {
  on_gui_thread([&] {
    if (message_hook) {
      message_hook(text);
      return;
    }
    QMessageBox box(QMessageBox::NoIcon, app_name(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  });
}

}  // namespace keldar

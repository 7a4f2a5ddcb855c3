// The window's host: what the core shows goes to the main window, what it
// asks is asked in message boxes and dialogs. Any thread may call it: calls
// from the worker are handed to the interface thread (log lines, texts and
// progress queued in order; a question blocks the worker until it is
// answered in a modal message box shown by the interface thread).
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <functional>

#include "platform/host.h"

namespace keldar {

// A question as the window shows it.
struct Question {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool cancel = false;      // Да/Нет/Отмена rather than Да/Нет
  bool default_no = false;  // Нет rather than Да is the default button
};

class QtHost : public QObject, public Host {
  Q_OBJECT

 public:
  // Lives on the interface thread, the thread that makes it.
  QtHost();

  void show_log_line(std::string_view line) override;
  void set_status(std::string_view text) override;
  void set_progress(std::string_view text) override;
  void set_title(std::string_view text) override;
  void set_running(bool running) override;
  void ask_text(std::string_view prompt, std::string& answer) override;
  Answer ask(std::string_view text, std::string_view caption, bool warning, bool cancel) override;
  Answer ask_to_delete(std::string_view text, std::string_view caption) override;
  void show_message(std::string_view text) override;

  // Asks on the interface thread (from any thread): Да/Нет(/Отмена) in a
  // modal message box, or through the answer hook when one is set.
  Answer ask_question(const Question& question);
  // A message with an OK button, or the message hook when one is set.
  void message(const QString& text);

  // For tests and other programs that drive the window: answers questions
  // and takes messages instead of a person. Called on the interface thread.
  std::function<Answer(const Question&)> answer_hook;
  std::function<void(const QString&)> message_hook;

  // The caption of message boxes that have none of their own: the
  // program's name, as the main window's title.
  static QString app_name() { return QStringLiteral("Brindlewood"); }

 signals:
  // `failure`: the line reports a failure and is shown so that it stands out.
  void logLine(const QString& line, bool failure);
  void statusChanged(const QString& text);
  void progressChanged(const QString& text);
  void titleChanged(const QString& text);
  void runningChanged(bool running);

 private:
  // Runs `work` on the interface thread and waits for it.
  void on_gui_thread(const std::function<void()>& work);
};

}  // namespace keldar

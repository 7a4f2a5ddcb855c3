// What the core shows the user and asks of the user. Implemented once for
// the window and once for batch runs. Every call may come from the worker
// thread; a window host hands it to the interface thread, and a question
// blocks the caller until it is answered.
#pragma once

#include <string>
#include <string_view>

namespace keldar {

// The answer to a Да/Нет/Отмена question.
enum class Answer { kYes, kNo, kCancel };

class Host {
 public:
  virtual ~Host() = default;
  // A line that was just logged (Windows-1251, no line end).
  virtual void show_log_line(std::string_view line) = 0;
  // The status text that shows this computer, e.g. "1=>Ann".
  virtual void set_status(std::string_view text) = 0;
  // The short progress text of long loops; empty when a loop ends.
  virtual void set_progress(std::string_view text) = 0;
  // The window title: the object being worked on, or the program's name.
  virtual void set_title(std::string_view text) = 0;
  // Whether a run is in progress (the Exit button then reads "Стоп").
  virtual void set_running(bool running) = 0;
  // Asks for one line of text under `prompt`. On confirmation `answer` gets
  // the entered text; otherwise it is left untouched.
  virtual void ask_text(std::string_view prompt, std::string& answer) = 0;
  // A Да/Нет/Отмена question (Да/Нет only when `cancel` is false) with a
  // caption; `warning` shows it as a warning (a conflict). Blocks until it
  // is answered.
  virtual Answer ask(std::string_view text, std::string_view caption, bool warning,
                     bool cancel) = 0;
  // A Да/Нет question whose Да deletes data: where the host offers a default
  // answer, it is Нет. Otherwise as ask() without warning and cancel.
  virtual Answer ask_to_delete(std::string_view text, std::string_view caption) {
    return ask(text, caption, /*warning=*/false, /*cancel=*/false);
  }
  // A message with one OK button (fatal start-up errors).
  virtual void show_message(std::string_view text) = 0;
};

}  // namespace keldar

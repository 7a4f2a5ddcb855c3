// A host that records what the core shows and answers prompts from a script.
#pragma once

#include <string>
#include <vector>

#include "platform/host.h"

namespace keldar {

class RecordingHost : public Host {
 public:
  void show_log_line(std::string_view line) override { lines.emplace_back(line); }
  void set_status(std::string_view text) override { status = text; }
  void set_progress(std::string_view text) override { progress.emplace_back(text); }
  void set_title(std::string_view text) override { titles.emplace_back(text); }
  void set_running(bool on) override { running.push_back(on); }
  void ask_text(std::string_view prompt, std::string& answer) override {
    prompts.emplace_back(prompt);
    if (answer_given) answer = typed_answer;
  }
  void show_message(std::string_view text) override { messages.emplace_back(text); }
  // Questions are recorded and answered from `answers` in order; when it
  // runs out, with `default_answer`.
  Answer ask(std::string_view text, std::string_view caption, bool warning, bool) override {
    questions.push_back({std::string(text), std::string(caption), warning});
    if (next_answer < answers.size()) return answers[next_answer++];
    return default_answer;
  }
  Answer ask_to_delete(std::string_view text, std::string_view caption) override {
    Answer answer = ask(text, caption, false, false);
    questions.back().default_no = true;
    return answer;
  }
  struct Question {
    std::string text;
    std::string caption;
    bool warning = false;
    bool default_no = false;  // asked through ask_to_delete
  };
  std::vector<Question> questions;
  std::vector<Answer> answers;
  std::size_t next_answer = 0;
  Answer default_answer = Answer::kCancel;

  // Answers the next prompts with `text` as if OK was pressed.
  void answer_with(std::string text) {
    answer_given = true;
    typed_answer = std::move(text);
  }
  // Closes the next prompts without an answer (Cancel).
  void cancel_prompts() { answer_given = false; }

  std::vector<std::string> lines;
  std::vector<std::string> prompts;
  std::vector<std::string> messages;
  std::vector<std::string> progress;
  std::vector<std::string> titles;
  std::vector<bool> running;
  std::string status;
  bool answer_given = false;
  std::string typed_answer;
};

}  // namespace keldar

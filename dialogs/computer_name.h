// The computer-name dialog's logic: one line of text under a prompt. OK
// hands back the whole text, untrimmed and uncut (the caller keeps what it
// needs); cancel leaves the answer as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keldar {

class ComputerNameDialog {
 public:
  // Takes a copy of `prompt`; `answer` is the edit box's initial text and
  // receives the entered text on OK.
  ComputerNameDialog(std::string_view prompt, std::string& answer)
      : prompt_(prompt), answer_(answer) {}
  const std::string& prompt() const { return prompt_; }
  const std::string& initial_text() const { return answer_; }
  // OK with the edit box's text, nullopt when the text cannot be carried in
  // Windows-1251: then false, `error` says why and the dialog stays open.
  bool accept(const std::optional<std::string>& text, std::string& error);

 private:
  std::string prompt_;
  std::string& answer_;
};

}  // namespace keldar

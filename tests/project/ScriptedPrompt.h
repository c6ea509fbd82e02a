#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Prompt.h"

namespace qlm::test {

// A user who answers questions from a script (No when the script is used up) and remembers what
// the program showed.
class ScriptedPrompt : public Prompt {
 public:
  std::deque<bool> answers;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<std::string> progress;  // "title|line" per update
  int progress_ended = 0;

  bool AskYesNo(std::string_view text) override {
    questions.emplace_back(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ShowProgress(std::string_view title, std::string_view line) override {
    progress.push_back(std::string(title).append("|").append(line));
  }
  void EndProgress() override { ++progress_ended; }
};

}  // namespace qlm::test

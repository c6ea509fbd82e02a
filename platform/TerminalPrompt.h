#pragma once

#include <cstdio>
#include <string>

#include "platform/Prompt.h"

namespace qlm {

// The prompt of the headless modes: questions and messages go to `out` (normally stderr), answers
// are read as lines from `in` (normally stdin). "y" or "yes" in any letter case is Yes; anything
// else, and the end of the input, is No. With `assume_yes` every question is answered Yes without
// reading, and the answer is shown after the question.
class TerminalPrompt : public Prompt {
 public:
  TerminalPrompt(std::FILE* in, std::FILE* out, bool assume_yes)
      : in_(in), out_(out), assume_yes_(assume_yes) {}

  bool AskYesNo(std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  // On a terminal the line is rewritten in place; elsewhere only the last line is printed, when
  // the progress ends, so that logs do not fill with counts.
  void ShowProgress(std::string_view title, std::string_view line) override;
  void EndProgress() override;

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool assume_yes_;
  bool progress_shown_ = false;
  std::string progress_;  // "title: line" of the open progress window, empty when none
};

}  // namespace qlm

#include "platform/TerminalPrompt.h"

#include <unistd.h>

#include <cctype>

namespace qlm {

bool TerminalPrompt::AskYesNo(std::string_view text) {
  std::fprintf(out_, "%.*s [y/N] ", static_cast<int>(text.size()), text.data());
  if (assume_yes_) {
    std::fputs("yes\n", out_);
    std::fflush(out_);
    return true;
  }
  std::fflush(out_);
  std::string answer;
  for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) {
    if (!std::isspace(c)) answer.push_back(static_cast<char>(std::tolower(c)));
  }
  if (std::feof(in_)) std::fputc('\n', out_);
  return answer == "y" || answer == "yes";
}

void TerminalPrompt::ShowMessage(std::string_view text) {
  std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
}

void TerminalPrompt::ShowProgress(std::string_view title, std::string_view line) {
  progress_.assign(title);
  progress_ += ": ";
  progress_ += line;
  if (isatty(fileno(out_))) {
    std::fprintf(out_, "\r%s", progress_.c_str());
    std::fflush(out_);
    progress_shown_ = true;
  }
}

void TerminalPrompt::EndProgress() {
  if (progress_shown_) {
    std::fputc('\n', out_);
  } else if (!progress_.empty()) {
    std::fprintf(out_, "%s\n", progress_.c_str());
  }
  std::fflush(out_);
  progress_shown_ = false;
  progress_.clear();
}

}  // namespace qlm

#pragma once

#include <QPointer>
#include <string_view>

#include "platform/Prompt.h"

class QDialog;
class QLabel;

namespace qlm {

// The core's questions and messages as message boxes titled with the program's name; progress
// as a small modeless window that stays on screen until EndProgress.
class MessageBoxPrompt final : public Prompt {
 public:
  MessageBoxPrompt() = default;
  ~MessageBoxPrompt() override;
  MessageBoxPrompt(const MessageBoxPrompt&) = delete;
  MessageBoxPrompt& operator=(const MessageBoxPrompt&) = delete;

  bool AskYesNo(std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  void ShowProgress(std::string_view title, std::string_view line) override;
  void EndProgress() override;

 private:
  QPointer<QDialog> progress_;       // while a progress window is up
  QLabel* progress_line_ = nullptr;  // owned by progress_
};

}  // namespace qlm

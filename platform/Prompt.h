#pragma once

#include <string_view>

namespace qlm {

// How the core asks the user something outside the GUI's own dialogs (converting old queue files,
// refusing to close a project during a patrol). The GUI answers with message boxes; the headless
// modes answer on the terminal, or yes to every question when told so (--yes).
//
// Texts are UTF-8: they are the system's fixed messages, not data bytes.
class Prompt {
 public:
  virtual ~Prompt() = default;

  // A question with the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(std::string_view text) = 0;
  // A message with an OK button.
  virtual void ShowMessage(std::string_view text) = 0;
  // A modeless progress window with a title and one line of text: the first call shows it, later
  // calls replace the line, EndProgress closes it.
  virtual void ShowProgress(std::string_view title, std::string_view line) = 0;
  virtual void EndProgress() = 0;
};

}  // namespace qlm

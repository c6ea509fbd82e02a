#pragma once

#include <functional>
#include <string>

namespace qlm {

// Shows a fatal error to the user. The text and title are the system's own bytes (Shift_JIS).
using FatalErrorReporter = std::function<void(const std::string& title, const std::string& text)>;

// Replaces the way fatal errors are shown (the GUI shows a message box); an empty reporter restores
// the default, which writes "title: text" to stderr, converted to the terminal's character set.
void SetFatalErrorReporter(FatalErrorReporter reporter);

// Shows the error and ends the process with exit status 1 at once. Used for inconsistencies after
// which the program cannot go on safely; ordinary failures are returned as codes instead.
[[noreturn]] void FatalAppExit(const std::string& title, const std::string& text);

}  // namespace qlm

#pragma once

#include <string>
#include <string_view>

namespace qlm {

// The system's own text (Shift_JIS: its fixed messages, titles read from pages) in the character
// set of the user's locale, for a terminal or a log. Text that does not convert is returned as it
// stands rather than lost. Safe on any thread: the process's locale is neither read nor changed
// (the conversion looks at the environment's locale through a locale object of its own).
std::string TerminalText(std::string_view sjis);

}  // namespace qlm

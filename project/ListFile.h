#pragma once

#include <string>

namespace qlm {

// The text list files of the install folder (the timer list, the slide-show list): read whole at
// start-up, rewritten whole when they change.

// Opens a list file, creating an empty one when there is none (an existing file is left as it
// is), and reads all its bytes. False when it can be neither opened nor created.
bool ReadOrCreateListFile(const std::string& path, std::string& bytes);

// Replaces a list file with new bytes. The bytes go to a temporary file beside it that is flushed
// and then renamed over the old one, so a failed write leaves the old list. False when it failed.
bool ReplaceListFile(const std::string& path, const std::string& bytes);

}  // namespace qlm

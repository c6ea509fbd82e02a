#pragma once

#include <string>

namespace qlm {

// A name of one of the system's named objects ("Quillmere Download Engine", "Quillmere Memory
// Mapped File") made safe as a single file name: every byte other than a letter, digit, ".", "-" or
// "_" is written as %HH, so that distinct names never share a file and no name leaves its folder.
std::string EscapeObjectName(const std::string& name);

}  // namespace qlm

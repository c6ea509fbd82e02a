#pragma once

#include <string>
#include <vector>

namespace qlm {

// Starts a program with these arguments (its name is argument 0), in the caller's environment and
// current folder, without waiting for it. The program is reaped when it ends, so it never lingers
// as a zombie. False with errno when it cannot be started (ENOENT for a missing file, ...).
bool StartProgram(const std::string& path, const std::vector<std::string>& args = {});

}  // namespace qlm

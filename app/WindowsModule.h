#pragma once

#include <cstdio>
#include <string>

namespace qlm {

// The file, next to the program, that holds QLM's windows (Qt and everything it needs), and the
// function in it that runs them: argc and argv of main, and whether the screen saver started us.
inline constexpr const char* kWindowsModuleName = "QLMwindows.so";
inline constexpr const char* kWindowsEntryName = "qlm_run_windows";
using WindowsEntry = int (*)(int argc, char** argv, int by_screen_saver);

// Loads the module from `folder` (with its trailing slash) and runs the windows until they end;
// its exit status. When the module cannot be loaded, says why on `err` and returns 2.
int RunWindowsModule(const std::string& folder, int argc, char** argv, bool by_screen_saver,
                     std::FILE* err);

}  // namespace qlm

#pragma once

namespace qlm {

// The main program with its windows: one instance per user, the settings, the slide-show list,
// the hidden main frame with its tray icon, and the Qt loop until the frame closes.
class QlmApplication {
 public:
  // The running main program holds this mutex; the screen saver asks it whether one runs.
  static constexpr const char* kInstanceMutex = "Quillmere Download Engine";

  // Runs the program and returns its exit status: 0 at once, silently, when another main program
  // runs; 1 when the start had to end (the user has been told why). `by_screen_saver`: started
  // by the screen saver ("-s"), which covers the screen; the frame then never shows itself.
  static int Run(int argc, char** argv, bool by_screen_saver);
};

}  // namespace qlm

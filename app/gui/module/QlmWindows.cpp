// The windows of QLM as a module of their own: the program loads it only when it starts with its
// windows, so that the headless modes load neither Qt nor the libraries of a display.
#include <type_traits>

#include "app/WindowsModule.h"
#include "app/gui/QlmApplication.h"

extern "C" __attribute__((visibility("default"))) int qlm_run_windows(int argc, char** argv,
                                                                      int by_screen_saver) {
  return qlm::QlmApplication::Run(argc, argv, by_screen_saver != 0);
}

// The signature above must stay the one the program looks up.
static_assert(std::is_same_v<decltype(&qlm_run_windows), qlm::WindowsEntry>);

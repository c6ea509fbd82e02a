#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Message.h"
#include "tests/picture/testdisplay/DisplayLog.h"
#include "tests/platform/ChildProcess.h"
#include "tests/support/TempHome.h"

namespace qlm::test {

// A test display program (qlm_test_display) running beside the test, with its window found.
struct Display {
  ChildProcess process;
  Hwnd hwnd = 0;
  std::string log;

  // Starts it with a window of this class and title, logging to `log_path`; `mode`, `viewer` and
  // `role` ("slide") as the program takes them. True once it has printed its window's handle.
  bool Start(const std::string& log_path, const char* class_name, const char* title,
             const char* mode = "answer", bool viewer = false, const char* role = nullptr) {
    log = log_path;
    std::vector<std::string> args{class_name, title, log, mode};
    if (viewer) args.push_back("viewer");
    if (role != nullptr) args.push_back(role);
    if (!process.Start(QLM_TEST_DISPLAY, args)) return false;
    const std::string line = process.ReadLine(15000);
    hwnd = std::strtoull(line.c_str(), nullptr, 10);
    return hwnd != 0;
  }
  // The pictures it has logged so far.
  std::vector<DisplayLine> Lines() const { return ParseDisplayLog(ReadFileBytes(log)); }
};

}  // namespace qlm::test

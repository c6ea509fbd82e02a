#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <thread>

#include "picture/display/TerminationSignals.h"

namespace qlm {
namespace {

TEST(TerminationSignalsTest, ASignalBecomesOneCallOnTheQtThread) {
  const std::thread::id qt_thread = std::this_thread::get_id();
  int calls = 0;
  bool on_qt_thread = false;
  ASSERT_TRUE(TerminationSignals::Install([&] {
    ++calls;
    on_qt_thread = std::this_thread::get_id() == qt_thread;
  }));
  EXPECT_FALSE(TerminationSignals::Install([] {}));  // one handler per process

  // Raised from another thread, as a daemon's kill may land on any thread.
  std::thread([] { raise(SIGHUP); }).join();
  for (int i = 0; i < 500 && calls == 0; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(on_qt_thread);
}

}  // namespace
}  // namespace qlm

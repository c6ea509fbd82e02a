// The main of every test program: each run gets a private home, so that no test reads or writes
// the user's settings, data or runtime folders.
#include <gtest/gtest.h>

#include "tests/support/TempHome.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qlm::test::TempHome home;
  home.Export();
  return RUN_ALL_TESTS();
}

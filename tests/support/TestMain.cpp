// The main of every test program: each run gets a private home, so that no test reads or writes
// the user's settings, data or runtime folders.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/TempHome.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A death test runs again in a child of this program that ends without destructors: it keeps
  // the home it inherits instead of making one that nobody would remove.
  std::unique_ptr<qlm::test::TempHome> home;
  if (GTEST_FLAG_GET(internal_run_death_test).empty()) {
    home = std::make_unique<qlm::test::TempHome>();
    home->Export();
  }
  return RUN_ALL_TESTS();
}

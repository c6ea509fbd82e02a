#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/WindowsModule.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

// What the program does when its windows cannot be loaded: one line that says why, status 2.
std::string RunFrom(const std::string& folder, int* status) {
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* err = open_memstream(&text, &length);
  char name[] = "QLM";
  char* argv[] = {name, nullptr};
  *status = RunWindowsModule(folder, 1, argv, false, err);
  std::fclose(err);
  std::string said(text, length);
  std::free(text);
  return said;
}

TEST(WindowsModuleTest, AMissingDamagedOrForeignModuleIsReportedNotRun) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/";
  const std::string module = folder + kWindowsModuleName;
  int status = 0;

  std::string err = RunFrom(folder, &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find("cannot load the windows"), std::string::npos) << err;
  EXPECT_NE(err.find(module), std::string::npos) << err;

  std::ofstream(module) << "not a library";
  err = RunFrom(folder, &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find("cannot load the windows"), std::string::npos) << err;

  // A library, but not ours: the C library has no entry of that name.
  std::filesystem::remove(module);
  Dl_info libc{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::fopen), &libc), 0);
  std::filesystem::create_symlink(libc.dli_fname, module);
  ASSERT_TRUE(std::filesystem::exists(module));
  err = RunFrom(folder, &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find(std::string("has no ") + kWindowsEntryName), std::string::npos) << err;
}

}  // namespace
}  // namespace qlm

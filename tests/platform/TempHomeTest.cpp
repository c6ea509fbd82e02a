#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Every test program runs in a private home; a test that could see the real one would be unsafe.
TEST(TestHome, XdgFoldersPointIntoTheTemporaryHome) {
  const std::string home = std::getenv("HOME");
  for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(var);
    ASSERT_NE(value, nullptr) << var;
    EXPECT_EQ(std::string(value).rfind(home, 0), 0u) << var;
  }
}

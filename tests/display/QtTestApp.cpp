// The display tests draw with Qt: one QApplication for the whole program, on the offscreen
// platform unless the caller chose another (a real X server for screenshots).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace {

class QtApplicationEnvironment final : public testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  int argc_ = 1;
  char name_[32] = "qlm_display_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication* app_ = nullptr;
};

const testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

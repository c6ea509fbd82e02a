#include <gtest/gtest.h>

#include "picture/display/DisplayInput.h"

namespace qlm {
namespace {

using Action = DisplayInputAction;

TEST(DisplayInputTest, ScreenSaverEndsOnLeftOrMiddleButtonAndAsksForThePanelOnTheRight) {
  EXPECT_EQ(DisplayInput::ScreenSaverButton(Qt::LeftButton), Action::kEnd);
  EXPECT_EQ(DisplayInput::ScreenSaverButton(Qt::MiddleButton), Action::kEnd);
  EXPECT_EQ(DisplayInput::ScreenSaverButton(Qt::RightButton), Action::kOpenPanel);
  EXPECT_EQ(DisplayInput::ScreenSaverButton(Qt::BackButton), Action::kNone);
}

TEST(DisplayInputTest, ScreenSaverEndsOnSystemKeysOnly) {
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    Action want;
  } cases[] = {
      {Qt::Key_A, Qt::NoModifier, Action::kNone},
      {Qt::Key_A, Qt::ShiftModifier, Action::kNone},
      {Qt::Key_Space, Qt::ControlModifier, Action::kNone},
      {Qt::Key_Escape, Qt::NoModifier, Action::kNone},
      {Qt::Key_AltGr, Qt::NoModifier, Action::kNone},
      {Qt::Key_E, Qt::GroupSwitchModifier, Action::kNone},  // typed with AltGr
      {Qt::Key_Alt, Qt::AltModifier, Action::kEnd},
      {Qt::Key_Tab, Qt::AltModifier, Action::kEnd},
      {Qt::Key_A, Qt::AltModifier | Qt::ShiftModifier, Action::kEnd},
      {Qt::Key_F10, Qt::NoModifier, Action::kEnd},
      {Qt::Key_F4, Qt::NoModifier, Action::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayInput::ScreenSaverKey(c.key, c.modifiers), c.want)
        << std::hex << c.key << " with " << c.modifiers.toInt();
  }
}

TEST(DisplayInputTest, SlideWindowAsksForThePanelOnALeftDoubleClick) {
  EXPECT_EQ(DisplayInput::SlideWindowDoubleClick(Qt::LeftButton), Action::kOpenPanel);
  EXPECT_EQ(DisplayInput::SlideWindowDoubleClick(Qt::RightButton), Action::kNone);
}

}  // namespace
}  // namespace qlm

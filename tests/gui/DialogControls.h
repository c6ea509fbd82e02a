#pragma once

#include <gtest/gtest.h>

#include <QWidget>

#include "app/gui/dialogs/DialogKit.h"

namespace qlm::test {

// The control with this id below `root`; a failure (and a stand-in control) when there is none.
template <typename T>
T& On(QWidget& root, int id) {
  T* control = Control<T>(root, id);
  EXPECT_NE(control, nullptr) << "no control " << id;
  static T* const none = new T;  // kept for the whole run: no widget outlives the application
  return control != nullptr ? *control : *none;
}

}  // namespace qlm::test

#pragma once

#include <QTimer>
#include <QWidget>

namespace qlm {

// The start-up picture: a borderless window drawn here, gone after kShowMs or at once when any
// key goes down or any mouse button is pressed anywhere in the program.
class SplashWindow final : public QWidget {
 public:
  static constexpr int kShowMs = 2000;

  SplashWindow();
  ~SplashWindow() override;

  // Shows it centred on the primary screen; it deletes itself when it goes.
  void Start();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTimer timer_;
};

}  // namespace qlm

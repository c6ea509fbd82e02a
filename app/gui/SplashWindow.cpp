#include "app/gui/SplashWindow.h"

#include <QApplication>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "picture/ChannelMessages.h"

namespace qlm {

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName("splash");
  setFixedSize(420, 240);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &QWidget::close);
}

SplashWindow::~SplashWindow() {
  qApp->removeEventFilter(this);
}

void SplashWindow::Start() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
  qApp->installEventFilter(this);
  show();
  raise();
  timer_.start(kShowMs);
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
      close();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height());
  sky.setColorAt(0, QColor(0x1E, 0x3A, 0x6E));
  sky.setColorAt(1, QColor(0x6A, 0x9F, 0xD8));
  painter.fillRect(rect(), sky);
  // A quill over a row of pages: the patrol brings pages home.
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(QColor(255, 255, 255, 200 - i * 35));
    painter.drawRect(40 + i * 26, 120 - i * 8, 70, 90);
  }
  QPainterPath quill;
  quill.moveTo(300, 40);
  quill.cubicTo(380, 60, 360, 150, 250, 200);
  quill.cubicTo(300, 140, 300, 90, 300, 40);
  painter.setBrush(QColor(0xF4, 0xE3, 0xB0));
  painter.drawPath(quill);
  painter.setPen(QPen(QColor(0x5A, 0x40, 0x20), 2));
  painter.drawLine(252, 198, 315, 80);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(30);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 20, width() - 140, 50), Qt::AlignCenter, QStringLiteral("Quillmere"));
  font.setPixelSize(14);
  font.setBold(false);
  painter.setFont(font);
  painter.drawText(QRect(0, 62, width() - 140, 24), Qt::AlignCenter,
                   QString::fromUtf8(kMainFrameTitle));
  painter.setPen(QColor(255, 255, 255, 160));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace qlm

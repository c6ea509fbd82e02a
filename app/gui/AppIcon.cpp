#include "app/gui/AppIcon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

namespace qlm {

namespace {

// A framed landscape: a picture show at a glance, legible down to 16 pixels.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 16.0;
  painter.setPen(QPen(QColor(40, 40, 90), unit));
  painter.setBrush(QColor(120, 190, 240));
  painter.drawRect(QRectF(unit, 2 * unit, 14 * unit, 12 * unit));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(250, 210, 60));
  painter.drawEllipse(QRectF(9.5 * unit, 4 * unit, 3 * unit, 3 * unit));
  painter.setBrush(QColor(60, 140, 70));
  const QPointF hills[] = {{1.5 * unit, 13.5 * unit},
                           {6 * unit, 7 * unit},
                           {9 * unit, 11 * unit},
                           {11 * unit, 9 * unit},
                           {14.5 * unit, 13.5 * unit}};
  painter.drawPolygon(hills, 5);
  return pixmap;
}

}  // namespace

QIcon AppIcon::Make() {
  QIcon icon;
  for (int size : {16, 22, 32, 48}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace qlm

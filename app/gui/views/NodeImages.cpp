#include "app/gui/views/NodeImages.h"

#include <QPainter>
#include <QPainterPath>

namespace qlm {

namespace {

QPixmap Blank() {
  QPixmap pixmap(NodeImages::kSize, NodeImages::kSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A folder; open folders show their lid tilted forward.
QPixmap Folder(bool open) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0x8a, 0x6a, 0x10));
  p.setBrush(QColor(0xe8, 0xc0, 0x40));
  p.drawRect(QRectF(1.5, 4.5, 13, 9));
  p.drawRect(QRectF(1.5, 2.5, 5, 2));
  if (open) {
    QPainterPath lid;
    lid.moveTo(3.5, 7.5);
    lid.lineTo(15.5, 7.5);
    lid.lineTo(13.5, 13.5);
    lid.lineTo(1.5, 13.5);
    lid.closeSubpath();
    p.setBrush(QColor(0xf8, 0xdc, 0x78));
    p.drawPath(lid);
  }
  return pixmap;
}

// A sheet with a folded corner; `fill` tells a stored copy from a missing one.
QPixmap Sheet(const QColor& fill, const QColor& mark, bool stored) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath sheet;
  sheet.moveTo(3.5, 1.5);
  sheet.lineTo(10.5, 1.5);
  sheet.lineTo(13.5, 4.5);
  sheet.lineTo(13.5, 14.5);
  sheet.lineTo(3.5, 14.5);
  sheet.closeSubpath();
  p.setPen(stored ? QColor(0x30, 0x30, 0x30) : QColor(0x90, 0x90, 0x90));
  p.setBrush(stored ? fill : QColor(0xf4, 0xf4, 0xf4));
  p.drawPath(sheet);
  p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
  p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
  p.setPen(Qt::NoPen);
  p.setBrush(stored ? mark : QColor(0xb0, 0xb0, 0xb0));
  p.drawEllipse(QRectF(5.5, 7, 5, 5));
  return pixmap;
}

// A globe for a URL item.
QPixmap Globe(bool stored) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor line = stored ? QColor(0x10, 0x50, 0x90) : QColor(0x80, 0x90, 0xa0);
  p.setPen(QPen(line, 1));
  p.setBrush(stored ? QColor(0x70, 0xb8, 0xf0) : QColor(0xe4, 0xec, 0xf2));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(5, 1.5, 6, 13));
  p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
  return pixmap;
}

QPixmap Overlay(int kind) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  auto check = [&p] {
    p.setPen(QPen(QColor(0x10, 0x90, 0x20), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(1.5, 11), QPointF(4, 14), QPointF(8.5, 8.5)}));
  };
  auto clock = [&p] {
    p.setPen(QPen(QColor(0x20, 0x20, 0x80), 1));
    p.setBrush(QColor(0xff, 0xff, 0xe0));
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.drawLine(QPointF(12, 12), QPointF(12, 9.5));
    p.drawLine(QPointF(12, 12), QPointF(14, 12));
  };
  switch (kind) {
    case NodeImages::kOverlaySelected:
      check();
      break;
    case NodeImages::kOverlayForbidden:
      p.setPen(QPen(QColor(0xd0, 0x10, 0x10), 2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(7.5, 7.5, 7.5, 7.5));
      p.drawLine(QPointF(8.8, 13.7), QPointF(13.7, 8.8));
      break;
    case NodeImages::kOverlayTimer:
      clock();
      break;
    default:
      check();
      clock();
      break;
  }
  return pixmap;
}

QPixmap Tile(const QColor& paper, const QColor& thread, int step) {
  QPixmap tile(64, 64);
  tile.fill(paper);
  QPainter p(&tile);
  p.setPen(thread);
  for (int i = 0; i < 64; i += step) {
    p.drawLine(i, 0, i, 63);
    p.drawLine(0, i, 63, i);
  }
  p.setPen(paper.darker(104));
  for (int i = step / 2; i < 64; i += step * 2) p.drawLine(0, i, 63, i);
  return tile;
}

}  // namespace

const std::vector<QPixmap>& NodeImages::List() {
  static const std::vector<QPixmap> list = [] {
    std::vector<QPixmap> images;
    for (int overlay = 0; overlay < 4; ++overlay) images.push_back(Overlay(overlay));
    images.push_back(Folder(false));
    images.push_back(Folder(true));
    images.push_back(Globe(false));
    images.push_back(Globe(true));
    images.push_back(Sheet(QColor(0xf0, 0xe0, 0xc0), QColor(0xc0, 0x60, 0x20), false));
    images.push_back(Sheet(QColor(0xf0, 0xe0, 0xc0), QColor(0xc0, 0x60, 0x20), true));
    images.push_back(Sheet(QColor(0xff, 0xff, 0xff), QColor(0x30, 0x70, 0xc0), false));
    images.push_back(Sheet(QColor(0xff, 0xff, 0xff), QColor(0x30, 0x70, 0xc0), true));
    return images;
  }();
  return list;
}

QPixmap NodeImages::WithOverlay(int image, int overlay) {
  const std::vector<QPixmap>& list = List();
  QPixmap pixmap = list[static_cast<size_t>(image)];
  if (overlay >= 1 && overlay <= 4) {
    QPainter p(&pixmap);
    p.drawPixmap(0, 0, list[static_cast<size_t>(overlay - 1)]);
  }
  return pixmap;
}

const QPixmap& NodeImages::ViewTile() {
  static const QPixmap tile = Tile(QColor(0xfb, 0xf8, 0xf0), QColor(0xf2, 0xec, 0xdc), 8);
  return tile;
}

const QPixmap& NodeImages::StatusTile() {
  static const QPixmap tile = Tile(QColor(0xe6, 0xec, 0xf2), QColor(0xd8, 0xe0, 0xea), 4);
  return tile;
}

}  // namespace qlm

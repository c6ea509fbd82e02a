#include "app/gui/PanelButtonArt.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QString>

namespace qlm {

namespace {

struct Look {
  const char* name;
  QColor fill;
  const char* badge;  // a sign in the corner: what the button does to the picture
};

Look LookOf(PanelButtonArt::Face face) {
  using Face = PanelButtonArt::Face;
  switch (face) {
    case Face::kPickup:
      return {"Pickup", QColor(70, 150, 80), "+"};
    case Face::kPickupKept:
      return {"Pickup", QColor(190, 70, 60), "-"};
    case Face::kCopy:
      return {"Copy", QColor(70, 110, 170), ""};
    case Face::kWallpaper:
      return {"WP", QColor(150, 110, 60), ""};
    case Face::kPrev:
      return {"Prev", QColor(90, 90, 120), "<"};
    case Face::kNext:
      return {"Next", QColor(90, 90, 120), ">"};
    case Face::kOk:
      return {"OK", QColor(60, 60, 60), ""};
  }
  return {"", QColor(), ""};
}

}  // namespace

QIcon PanelButtonArt::Make(Face face) {
  const Look look = LookOf(face);
  QPixmap pixmap(kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(look.fill);
  painter.drawRoundedRect(QRectF(1, 1, kSize.width() - 2, kSize.height() - 2), 6, 6);
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(15);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(QPoint(0, 0), kSize), Qt::AlignCenter, QString::fromLatin1(look.name));
  if (look.badge[0] != '\0') {
    font.setPixelSize(12);
    painter.setFont(font);
    painter.drawText(QRect(kSize.width() - 16, 0, 14, 14), Qt::AlignCenter,
                     QString::fromLatin1(look.badge));
  }
  return QIcon(pixmap);
}

}  // namespace qlm

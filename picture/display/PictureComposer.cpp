#include "picture/display/PictureComposer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cstdint>

#include "picture/DibView.h"

namespace qlm {

namespace {

// Text flags of the caption: centred, from the top; line breaks in the text start new lines.
constexpr int kCaptionFlags = Qt::AlignHCenter | Qt::AlignTop;

QString CaptionFace() {
  const QStringList families = QFontDatabase::families();
  const QString wanted = QString::fromUtf8(PictureComposer::kCaptionFace);
  return families.contains(wanted) ? wanted
                                   : QString::fromUtf8(PictureComposer::kFallbackCaptionFace);
}

QFont MakeCaptionFont() {
  QFont font(CaptionFace());
  font.setStyleStrategy(QFont::PreferAntialias);
  font.setWeight(QFont::Normal);
  // The height asked for is the whole cell (ascent and descent), not the em size: take the
  // largest pixel size whose cell is no taller.
  for (int pixels = PictureComposer::kCaptionPixelHeight; pixels > 1; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= PictureComposer::kCaptionPixelHeight) break;
  }
  return font;
}

// Rows fading from cyan to blue across the top of the client, and the text centred on them.
void DrawCaptionBand(QPainter& painter, const QRect& client, const QString& text) {
  const int rows = PictureComposer::CaptionBandRows(text);
  for (int i = 0; i < rows; ++i) {
    painter.fillRect(QRect(0, i, client.width(), 1),
                     QColor(0, PictureComposer::CaptionBandGreen(i, rows), 255));
  }
  painter.setFont(PictureComposer::CaptionFont());
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(client, kCaptionFlags, text);
}

}  // namespace

QColor ColorFromColorref(uint32_t colorref) {
  return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

QImage ImageFromDib(const DibView& picture) {
  if (picture.Width() <= 0 || picture.Height() <= 0) return QImage();
  QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int y = 0; y < picture.Height(); ++y) {
    picture.ExpandRow(y, reinterpret_cast<uint32_t*>(image.scanLine(y)));
  }
  return image;
}

QFont PictureComposer::CaptionFont() {
  static const QFont font = MakeCaptionFont();
  return font;
}

int PictureComposer::CaptionBandRows(const QString& text) {
  // One cell height per line, as a measured single line of the original font is its cell;
  // Qt's layout height rounds the fractional ascent and descent up separately.
  const int lines = static_cast<int>(text.count(QLatin1Char('\n'))) + 1;
  return lines * QFontMetrics(CaptionFont()).height() + 3;
}

int PictureComposer::CaptionBandGreen(int row, int rows) {
  const double v = 255.0 - row * (256.0 / rows);
  return static_cast<int>(v) & 0xFF;
}

std::string PictureComposer::CaptionFor(const std::string& mark, const std::string& file) {
  if (mark.empty()) return std::string();
  return "New Picture " + file;
}

QRect PictureComposer::PlacePicture(QSize client, QSize picture) const {
  int width = picture.width();
  int height = picture.height();
  if (fit_to_window_ && width > 0 && height > 0) {
    // The smaller of the two ratios, in exact integer arithmetic: the limiting side fills the
    // client exactly and the other is truncated, as truncating picture size x ratio would be
    // with exact numbers.
    const int64_t cw = client.width(), ch = client.height();
    if (cw * height <= ch * width) {
      height = static_cast<int>(height * cw / width);
      width = static_cast<int>(cw);
    } else {
      width = static_cast<int>(width * ch / height);
      height = static_cast<int>(ch);
    }
  }
  return QRect((client.width() - width) / 2, (client.height() - height) / 2, width, height);
}

bool PictureComposer::Compose(QImage& target, QSize client, const DibView& picture,
                              uint32_t colorref, const std::string& caption) const {
  const QRect area = QRect(QPoint(0, 0), client).intersected(target.rect());
  QPainter painter(&target);
  painter.setClipRect(area);
  painter.fillRect(area, ColorFromColorref(colorref));

  const QImage image = ImageFromDib(picture);
  bool drawn = !image.isNull();
  if (drawn && tile_) {
    // Whole copies from the top left, the last column and row clipped by the client.
    for (int col = 0; col <= client.width() / image.width(); ++col) {
      for (int row = 0; row <= client.height() / image.height(); ++row) {
        painter.drawImage(QPoint(col * image.width(), row * image.height()), image);
      }
    }
  } else if (drawn) {
    const QRect place = PlacePicture(client, image.size());
    if (!place.isEmpty()) {
      if (place.size() == image.size()) {
        painter.drawImage(place.topLeft(), image);
      } else {
        // Area-averaging when shrinking and bilinear when enlarging: the smooth look of a
        // halftone stretch, computed once rather than per painted pixel.
        const QImage scaled =
            image.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        drawn = !scaled.isNull();
        if (drawn) painter.drawImage(place.topLeft(), scaled);
      }
    }
  }
  if (!caption.empty()) {
    DrawCaptionBand(painter, area,
                    QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
  }
  return drawn;
}

}  // namespace qlm

#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <string>

namespace qlm {

class DibView;

// Lays out one picture for a display: the background, the picture fitted to the window (or tiled,
// in the screen saver when the desktop is set to tile) and the caption band. It draws into the
// top-left `client` part of a buffer (NextBuffer), clipped to the buffer.
class PictureComposer {
 public:
  // Face of the caption font: the Windows face when installed, else the IPA proportional Mincho.
  static constexpr const char* kCaptionFace = "ＭＳ Ｐ明朝";
  static constexpr const char* kFallbackCaptionFace = "IPAPMincho";
  static constexpr int kCaptionPixelHeight = 16;  // cell height of the caption font, pixels

  // Both displays fit pictures to the window; the screen saver tiles instead when the desktop
  // tile setting is on.
  void SetFitToWindow(bool fit) { fit_to_window_ = fit; }
  void SetTile(bool tile) { tile_ = tile; }
  bool FitToWindow() const { return fit_to_window_; }
  bool Tile() const { return tile_; }

  // Draws `picture` with background `colorref` (0x00BBGGRR) and, when not empty, `caption` (text
  // bytes, UTF-8) into `target`. Returns false, having drawn only the background, when the
  // picture cannot be turned into pixels (no memory).
  bool Compose(QImage& target, QSize client, const DibView& picture, uint32_t colorref,
               const std::string& caption) const;

  // Where a picture lands in a client area: the destination size (scaled when fitting, truncated
  // to whole pixels) and its centred top-left corner.
  QRect PlacePicture(QSize client, QSize picture) const;

  // The caption font and the band's height for a text: the text's line height plus 3 rows.
  static QFont CaptionFont();
  static int CaptionBandRows(const QString& text);
  // The green value of band row i of n: the whole part of 255 - i * (256 / n), modulo 256.
  static int CaptionBandGreen(int row, int rows);

  // The caption for a picture's mark and file: empty without a mark, else "New Picture " and
  // the path.
  static std::string CaptionFor(const std::string& mark, const std::string& file);

 private:
  bool fit_to_window_ = true;
  bool tile_ = false;
};

// The background colour of a COLORREF.
QColor ColorFromColorref(uint32_t colorref);

// A packed bitmap as a 32-bit RGB image of its own size; null when the memory cannot be had.
QImage ImageFromDib(const DibView& picture);

}  // namespace qlm

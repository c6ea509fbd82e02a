#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <string>
#include <vector>

#include "picture/display/PictureComposer.h"
#include "tests/display/DisplayTestPictures.h"

namespace qlm {
namespace {

using test::MakeDib;
using test::MakeUniformDib;
using test::Rgb;

constexpr uint32_t kUntouched = 0x5A5A5A;  // buffer pixels outside the client keep this
constexpr uint32_t kPicture = 0xC83214;
constexpr uint32_t kBackgroundRgb = 0x102030;
constexpr uint32_t kBackgroundColorref = 0x00302010;  // the same colour as 0x00BBGGRR

QImage Buffer(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(kUntouched));
  return image;
}

// Every pixel of the buffer: the picture colour inside `place`, background elsewhere in the
// client, untouched beyond it. Reports the first mismatch only.
void ExpectLayout(const QImage& buffer, QSize client, const QRect& place) {
  for (int y = 0; y < buffer.height(); ++y) {
    for (int x = 0; x < buffer.width(); ++x) {
      uint32_t want = kUntouched;
      if (x < client.width() && y < client.height()) {
        want = place.contains(x, y) ? kPicture : kBackgroundRgb;
      }
      if (Rgb(buffer, x, y) != want) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << Rgb(buffer, x, y)
                      << ", want " << want;
        return;
      }
    }
  }
}

TEST(PictureComposerTest, FitsThePictureToTheClientAndCentresIt) {
  const struct {
    QSize picture, client;
    QRect want;
  } cases[] = {
      {{100, 50}, {640, 480}, {0, 80, 640, 320}},    // enlarged, bands above and below
      {{50, 100}, {640, 480}, {200, 0, 240, 480}},   // bands left and right
      {{4000, 3000}, {204, 153}, {0, 0, 204, 153}},  // shrunk, same shape
      {{101, 50}, {640, 480}, {0, 82, 640, 316}},    // 316.8 rows truncated, top (480-316)/2
      {{3, 7}, {30, 40}, {6, 0, 17, 40}},            // 17.14 columns truncated, left 13/2
      {{64, 48}, {64, 48}, {0, 0, 64, 48}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.picture.width() << "x" << c.picture.height() << " in "
                                    << c.client.width() << "x" << c.client.height());
    PictureComposer composer;
    EXPECT_EQ(composer.PlacePicture(c.client, c.picture), c.want);
    auto dib = MakeUniformDib(c.picture.width(), c.picture.height(), kPicture);
    QImage buffer = Buffer(c.client.width() + 5, c.client.height() + 3);
    ASSERT_TRUE(composer.Compose(buffer, c.client, dib.view, kBackgroundColorref, ""));
    ExpectLayout(buffer, c.client, c.want);
  }
}

TEST(PictureComposerTest, WithoutFittingThePictureKeepsItsSizeCentredAndClipped) {
  PictureComposer composer;
  composer.SetFitToWindow(false);
  EXPECT_EQ(composer.PlacePicture({100, 80}, {30, 20}), QRect(35, 30, 30, 20));
  EXPECT_EQ(composer.PlacePicture({100, 80}, {130, 90}), QRect(-15, -5, 130, 90));
  auto dib = MakeUniformDib(130, 90, kPicture);
  QImage buffer = Buffer(110, 85);
  composer.Compose(buffer, {100, 80}, dib.view, kBackgroundColorref, "");
  ExpectLayout(buffer, {100, 80}, QRect(0, 0, 100, 80));
}

TEST(PictureComposerTest, PaddedRowsOfNarrowPicturesAreDrawnWithoutShear) {
  // Widths whose rows need 1, 2 or 3 bytes of padding (filled with 0xEE in the test bitmap).
  for (int width : {1, 2, 3, 5}) {
    SCOPED_TRACE(width);
    auto pixel = [](int x, int y) { return static_cast<uint32_t>(0x010000 * (x + 1) + y); };
    auto dib = MakeDib(width, 4, pixel);
    PictureComposer composer;
    QImage buffer = Buffer(width, 4);
    composer.Compose(buffer, {width, 4}, dib.view, 0, "");
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < width; ++x) EXPECT_EQ(Rgb(buffer, x, y), pixel(x, y)) << x << "," << y;
    }
  }
}

TEST(PictureComposerTest, TileModeRepeatsThePictureAtItsOwnSizeFromTheTopLeft) {
  // 300 x 200 on 1024 x 768: four columns and four rows, the last ones clipped.
  auto pixel = [](int x, int y) { return static_cast<uint32_t>((x * 7 + y * 13) & 0xFFFFFF); };
  auto dib = MakeDib(300, 200, pixel);
  PictureComposer composer;
  composer.SetTile(true);
  QImage buffer = Buffer(1030, 770);
  composer.Compose(buffer, {1024, 768}, dib.view, kBackgroundColorref, "");
  for (int y = 0; y < buffer.height(); ++y) {
    for (int x = 0; x < buffer.width(); ++x) {
      const uint32_t want = x < 1024 && y < 768 ? pixel(x % 300, y % 200) : kUntouched;
      ASSERT_EQ(Rgb(buffer, x, y), want) << x << "," << y;
    }
  }
}

TEST(PictureComposerTest, TileModeLeavesBackgroundWhereNoWholeTileReaches) {
  // A client one pixel short of two tiles wide still gets both columns, the second clipped; a
  // client narrower than the picture gets one clipped copy and no background at all.
  auto dib = MakeUniformDib(10, 10, kPicture);
  PictureComposer composer;
  composer.SetTile(true);
  QImage buffer = Buffer(19, 25);
  composer.Compose(buffer, {19, 25}, dib.view, kBackgroundColorref, "");
  ExpectLayout(buffer, {19, 25}, QRect(0, 0, 19, 25));
  QImage small = Buffer(8, 8);
  composer.Compose(small, {8, 8}, dib.view, kBackgroundColorref, "");
  ExpectLayout(small, {8, 8}, QRect(0, 0, 8, 8));
}

TEST(PictureComposerTest, CaptionBandFadesFromCyanToBlueOverTextHeightPlusThreeRows) {
  const QString text = QStringLiteral("New Picture /home/me/Pickup/cat.jpg");
  const int rows = PictureComposer::CaptionBandRows(text);
  // A 16-pixel cell and the three rows below it.
  EXPECT_EQ(QFontMetrics(PictureComposer::CaptionFont()).height(), 16);
  EXPECT_EQ(rows, 19);

  auto dib = MakeUniformDib(64, 48, kPicture);
  PictureComposer composer;
  QImage buffer = Buffer(640, 480);
  composer.Compose(buffer, {640, 480}, dib.view, kBackgroundColorref, text.toStdString());
  for (int i = 0; i < rows; ++i) {
    const uint32_t want = 0x0000FF | PictureComposer::CaptionBandGreen(i, rows) << 8;
    // Columns at both edges lie outside the centred text.
    EXPECT_EQ(Rgb(buffer, 0, i), want) << "row " << i;
    EXPECT_EQ(Rgb(buffer, 639, i), want) << "row " << i;
  }
  EXPECT_EQ(Rgb(buffer, 0, 0), 0x00FFFFu);  // cyan on top
  // The band lies over the picture, which starts at the top here, and ends after its rows.
  EXPECT_EQ(Rgb(buffer, 0, rows), kPicture);

  // The text is black, centred, within the band.
  int left = 640, right = -1, bottom = -1;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (qGray(buffer.pixel(x, y)) < 40) {
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, left) << "no text drawn";
  EXPECT_LT(bottom, rows);
  EXPECT_NEAR((left + right) / 2.0, 319.5, 3.0);
}

TEST(PictureComposerTest, CaptionBandRowsFollowTheFormula) {
  // A 12-pixel text gives 15 rows: 256/15 = 17.07 per row, whole parts taken.
  const std::vector<int> want15 = {255, 237, 220, 203, 186, 169, 152, 135,
                                   118, 101, 84,  67,  50,  33,  16};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(PictureComposer::CaptionBandGreen(i, 15), want15[i]);
  EXPECT_EQ(PictureComposer::CaptionBandGreen(0, 1), 255);
  EXPECT_EQ(PictureComposer::CaptionBandGreen(18, 19), 12);  // 255 - 242.53
}

TEST(PictureComposerTest, CaptionOnlyForMarkedPictures) {
  EXPECT_EQ(PictureComposer::CaptionFor("", "/p/a.jpg"), "");
  EXPECT_EQ(PictureComposer::CaptionFor("New Picture", "/p/a.jpg"), "New Picture /p/a.jpg");
  EXPECT_EQ(PictureComposer::CaptionFor("x", "/p/b.jpg"), "New Picture /p/b.jpg");

  auto dib = MakeUniformDib(8, 8, kPicture);
  PictureComposer composer;
  QImage buffer = Buffer(8, 8);
  composer.Compose(buffer, {8, 8}, dib.view, 0, PictureComposer::CaptionFor("", "/p/a.jpg"));
  ExpectLayout(buffer, {8, 8}, QRect(0, 0, 8, 8));
}

TEST(PictureComposerTest, ClientLargerThanTheBufferIsClippedToIt) {
  auto dib = MakeUniformDib(10, 10, kPicture);
  PictureComposer composer;
  QImage buffer = Buffer(50, 40);
  composer.Compose(buffer, {200, 100}, dib.view, kBackgroundColorref, "caption");
  // Fitted to 100 x 100 at (50, 0): the buffer shows only its left column of background.
  EXPECT_EQ(Rgb(buffer, 49, 39), kBackgroundRgb);
  EXPECT_EQ(Rgb(buffer, 0, 39), kBackgroundRgb);
}

}  // namespace
}  // namespace qlm

// The picture block's layout, and the display's reading of it, including damaged blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/PackedBitmap.h"
#include "picture/PictureBlock.h"
#include "picture/PictureReceiver.h"
#include "picture/ReceivedPicture.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/SharedMemory.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::Watchdog;

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A 24-bit packed bitmap of `width` x `height` whose bytes count up, padding included.
PackedBitmap CountingBitmap(int width, int height) {
  DibLayout layout;
  layout.width = width;
  layout.height = height;
  PackedBitmap bitmap;
  bitmap.Allocate(layout.TotalSize());
  layout.WriteHeader(bitmap.Data());
  for (size_t i = DibLayout::kHeaderSize; i < bitmap.Size(); ++i) {
    bitmap.Data()[i] = static_cast<std::uint8_t>(i);
  }
  return bitmap;
}

TEST(PictureBlock, HeadHoldsFourLittleEndianIntegersAndFourTerminatedStrings) {
  const PictureHeader headers[] = {
      {0x00C08040, 11, 25, "New Picture", "/p/a.jpg", "", ""},
      {0, 0, 0, "", "", "", ""},
      {0xFFFFFFFF, -1, -7, "", "/\x83\x73\x83\x4e/b.jpg", "/folder/", "http://h/x.jpg"},
  };
  for (const PictureHeader& h : headers) {
    const size_t size = PictureBlock::HeadSize(h);
    EXPECT_EQ(size, 16 + h.mark.size() + h.file.size() + h.folder.size() + h.item.size() + 4);
    std::vector<std::uint8_t> bytes(size + 8, 0xEE);
    EXPECT_EQ(PictureBlock::WriteHead(h, bytes.data()), size);
    EXPECT_EQ(Le32(&bytes[0]), h.colour);
    EXPECT_EQ(static_cast<std::int32_t>(Le32(&bytes[4])), h.effect);
    EXPECT_EQ(static_cast<std::int32_t>(Le32(&bytes[8])), h.step_delay);
    EXPECT_EQ(Le32(&bytes[12]), 0u);
    const char* text = reinterpret_cast<const char*>(&bytes[16]);
    EXPECT_EQ(std::string(text), h.mark);
    text += h.mark.size() + 1;
    EXPECT_EQ(std::string(text), h.file);
    EXPECT_EQ(bytes[size], 0xEE);  // nothing written beyond the head

    PictureHeader back;
    size_t head_size = 0;
    ASSERT_TRUE(PictureBlock::ReadHead(bytes.data(), bytes.size(), &back, &head_size));
    EXPECT_EQ(head_size, size);
    EXPECT_EQ(back.colour, h.colour);
    EXPECT_EQ(back.effect, h.effect);
    EXPECT_EQ(back.step_delay, h.step_delay);
    EXPECT_EQ(back.mark, h.mark);
    EXPECT_EQ(back.file, h.file);
    EXPECT_EQ(back.folder, h.folder);
    EXPECT_EQ(back.item, h.item);
    // Every block that ends before the fourth NUL is refused.
    for (size_t cut = 0; cut < size; ++cut) {
      EXPECT_FALSE(PictureBlock::ReadHead(bytes.data(), cut, &back, &head_size)) << cut;
    }
  }
}

TEST(PictureBlock, AStringWithANulOfItsOwnIsCutThereSoTheOthersStayInPlace) {
  const PictureHeader h{1, 2, 3, std::string("New\0Picture", 11), "/a.jpg", "", ""};
  std::vector<std::uint8_t> bytes(PictureBlock::HeadSize(h));
  EXPECT_EQ(bytes.size(), 16u + 3 + 6 + 4);
  PictureBlock::WriteHead(h, bytes.data());
  PictureHeader back;
  size_t head_size = 0;
  ASSERT_TRUE(PictureBlock::ReadHead(bytes.data(), bytes.size(), &back, &head_size));
  EXPECT_EQ(back.mark, "New");
  EXPECT_EQ(back.file, "/a.jpg");
}

TEST(PictureBlock, DisplayReadsTheBlockOfExactSizeAndCaptionsNewPicturesOnly) {
  const PackedBitmap bitmap = CountingBitmap(5, 3);  // 15 bytes of pixels per row, padded to 16
  struct Case {
    const char* mark;
    const char* caption;
  } cases[] = {
      {"New Picture", "New Picture /pics/odd.jpg"}, {"", ""}, {"x", "New Picture /pics/odd.jpg"}};
  for (const Case& c : cases) {
    const PictureHeader h{0x123456, 4, 30, c.mark, "/pics/odd.jpg", "", ""};
    PictureBlock block;
    ASSERT_TRUE(block.Create(kPictureBlockName, h, bitmap.Size()));
    EXPECT_EQ(block.Size(), PictureBlock::HeadSize(h) + bitmap.Size());
    std::memcpy(block.BitmapArea(), bitmap.Data(), bitmap.Size());

    ReceivedPicture picture;
    ASSERT_TRUE(picture.Open()) << picture.LastError();
    EXPECT_EQ(picture.Header().colour, 0x123456u);
    EXPECT_EQ(picture.Header().effect, 4);
    EXPECT_EQ(picture.Header().step_delay, 30);
    EXPECT_EQ(picture.Caption(), c.caption);
    EXPECT_EQ(picture.Bitmap().Width(), 5);
    EXPECT_EQ(picture.Bitmap().Height(), 3);
    EXPECT_EQ(picture.Bitmap().RowStride(), 16u);
    // Row 0 from the top is the last one stored.
    EXPECT_EQ(picture.Bitmap().Row(0)[0], static_cast<std::uint8_t>(DibLayout::kHeaderSize + 32));
  }
}

TEST(PictureBlock, DisplayRefusesMissingAndDamagedBlocks) {
  ReceivedPicture picture;
  EXPECT_FALSE(picture.Open());
  EXPECT_EQ(picture.LastError(), ReceivedPicture::kCannotOpen);

  // Strings that never end.
  SharedMemory raw;
  ASSERT_TRUE(raw.Create(kPictureBlockName, 64));
  std::memset(raw.Data() + 16, 'x', 48);
  EXPECT_FALSE(picture.Open());
  EXPECT_EQ(picture.LastError(), ReceivedPicture::kDamaged);

  // A bitmap cut short: its header promises more rows than the block holds.
  const PackedBitmap bitmap = CountingBitmap(8, 8);
  const PictureHeader h{0, 0, 0, "", "/a.jpg", "", ""};
  PictureBlock block;
  ASSERT_TRUE(block.Create(kPictureBlockName, h, bitmap.Size() - 1));
  std::memcpy(block.BitmapArea(), bitmap.Data(), bitmap.Size() - 1);
  EXPECT_FALSE(picture.Open());
  EXPECT_EQ(picture.LastError(), ReceivedPicture::kBadBitmap);
  EXPECT_FALSE(picture.IsOpen());
}

// The display's receiver inside one process: the main window and the display window share a loop.
class ReceiverTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(main_window_.Create("", kMainFrameTitle));
    ASSERT_TRUE(display_window_.Create(kSlideWindowClass, kSlideWindowTitle));
  }
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_.RunFor(5);
    }
    return true;
  }
  Message Ready(WParam wparam = kPictureReadyWParam) {
    Message msg;
    msg.hwnd = display_window_.Handle();
    msg.message = MSG_PICTURE_READY;
    msg.wparam = wparam;
    msg.lparam = static_cast<LParam>(main_window_.Handle());
    return msg;
  }

  EventLoop loop_;
  Watchdog dog_{std::chrono::seconds(20), loop_.Id()};
  LambdaWindow main_window_;
  LambdaWindow display_window_;
};

TEST_F(ReceiverTest, ReaderShowsThePictureThenAnswersWithTheDisplaysOwnHandle) {
  const PackedBitmap bitmap = CountingBitmap(3, 2);
  PictureBlock block;
  ASSERT_TRUE(block.Create(kPictureBlockName, {7, 1, 2, "", "/x.jpg", "", ""}, bitmap.Size()));
  std::memcpy(block.BitmapArea(), bitmap.Data(), bitmap.Size());
  std::atomic<int> shown = 0;
  std::string file;
  PictureReceiver receiver([&](const ReceivedPicture& picture, const std::atomic<bool>&) {
    file = picture.Header().file;
    ++shown;
  });
  EXPECT_FALSE(receiver.OnMessage(display_window_.Handle(), Ready(1)));  // another WM_NULL
  EXPECT_EQ(receiver.MainWindow(), 0u);
  ASSERT_TRUE(receiver.OnMessage(display_window_.Handle(), Ready()));
  EXPECT_EQ(receiver.MainWindow(), main_window_.Handle());
  ASSERT_TRUE(RunUntil([&] { return main_window_.Count(WM_PICTURE_SHOWN) == 1; }));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(file, "/x.jpg");
  EXPECT_EQ(main_window_.Received().back().wparam, 0u);
  EXPECT_EQ(main_window_.Received().back().lparam, static_cast<LParam>(display_window_.Handle()));
  receiver.WaitForReaders();
  EXPECT_FALSE(receiver.Busy());
}

TEST_F(ReceiverTest, ADisplayThatCannotOpenTheBlockStillAnswersWithoutShowing) {
  std::atomic<int> shown = 0;
  PictureReceiver receiver([&](const ReceivedPicture&, const std::atomic<bool>&) { ++shown; });
  ASSERT_TRUE(receiver.OnMessage(display_window_.Handle(), Ready()));
  ASSERT_TRUE(RunUntil([&] { return main_window_.Count(WM_PICTURE_SHOWN) == 1; }));
  EXPECT_EQ(shown, 0);
}

TEST_F(ReceiverTest, AbortEndsARunningTransitionAndItsReaderStillAnswers) {
  const PackedBitmap bitmap = CountingBitmap(2, 2);
  PictureBlock block;
  ASSERT_TRUE(block.Create(kPictureBlockName, {0, 5, 1000, "", "/x.jpg", "", ""}, bitmap.Size()));
  std::memcpy(block.BitmapArea(), bitmap.Data(), bitmap.Size());
  std::atomic<bool> started = false;
  std::atomic<bool> saw_abort = false;
  PictureReceiver receiver([&](const ReceivedPicture&, const std::atomic<bool>& abort) {
    started = true;
    while (!abort) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a long transition
    saw_abort = true;
  });
  ASSERT_TRUE(receiver.OnMessage(display_window_.Handle(), Ready()));
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(receiver.Busy());
  receiver.Abort();
  receiver.WaitForReaders();
  EXPECT_TRUE(saw_abort);
  ASSERT_TRUE(RunUntil([&] { return main_window_.Count(WM_PICTURE_SHOWN) == 1; }));
}

}  // namespace
}  // namespace qlm

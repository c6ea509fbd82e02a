// The picture channel between programs: the main program's side here, the test display program
// (the receiving side as a display uses it) in other processes, a minimal rotation driving both
// on a manual clock.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/DibView.h"
#include "picture/JpegLoader.h"
#include "picture/PictureChannel.h"
#include "picture/PictureReceiver.h"
#include "picture/ReceivedPicture.h"
#include "platform/EventLoop.h"
#include "platform/ManualClock.h"
#include "platform/Messaging.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/picture/testdisplay/DisplayLog.h"
#include "tests/picture/testdisplay/DisplayProcess.h"
#include "tests/platform/ChildProcess.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::ChildProcess;
using test::Display;
using test::DisplayLine;
using test::LambdaWindow;
using test::Watchdog;

constexpr std::uint64_t kPictureTimer = 2;

struct Record {
  PictureHeader header;
  int interval_s = 1;
};

// The rotation as far as the channel sees it: the picture timer on the main frame, the interval,
// and a picture thread per tick that takes the next record and hands it to the channel.
class TestRotation final : public PictureTimerControl {
 public:
  ~TestRotation() override { Join(); }
  void Attach(Hwnd main_frame, PictureChannel* channel) {
    main_frame_ = main_frame;
    channel_ = channel;
  }
  void Push(Record record) { records_.push_back(std::move(record)); }

  void SetPictureInterval(int interval_ms) override { interval_ms_ = interval_ms; }
  void ArmPictureTimer() override {
    ++arms_;
    armed_ = true;
    SetTimer(main_frame_, kPictureTimer, static_cast<std::uint32_t>(interval_ms_.load()));
  }
  void StopPictureTimer() override {
    ++stops_;
    armed_ = false;
    KillTimer(main_frame_, kPictureTimer);
  }
  bool PictureTimerArmed() const override { return armed_; }

  void OnTick() {
    KillTimer(main_frame_, kPictureTimer);
    armed_ = false;
    ++ticks_;
    Join();
    std::optional<Record> record;
    if (!records_.empty()) {
      record = records_.front();
      records_.pop_front();
    }
    thread_ = std::thread([this, record] {
      PictureThread(record);
      ++threads_done_;
    });
  }

  int Ticks() const { return ticks_; }
  int Arms() const { return arms_; }
  int Stops() const { return stops_; }
  int IntervalMs() const { return interval_ms_; }
  int ThreadsDone() const { return threads_done_; }

 private:
  void PictureThread(const std::optional<Record>& record) {
    if (!record || access(record->header.file.c_str(), F_OK) != 0) {
      channel_->AnswerFailedLoad();
      return;
    }
    SetPictureInterval(record->interval_s * 1000);
    JpegLoader loader;
    if (!channel_->LoadIntoBlock(record->header, loader)) {
      channel_->AnswerFailedLoad();
      return;
    }
    channel_->SendToDisplays();
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  Hwnd main_frame_ = 0;
  PictureChannel* channel_ = nullptr;
  std::deque<Record> records_;
  std::atomic<int> interval_ms_{1000};
  int ticks_ = 0;
  int arms_ = 0;
  int stops_ = 0;
  bool armed_ = false;
  std::atomic<int> threads_done_{0};
  std::thread thread_;
};

class PictureChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(main_frame_.Create("QlmMainFrame", kMainFrameTitle));
    ASSERT_TRUE(main_frame_.Publish());
    channel_ = std::make_unique<PictureChannel>(main_frame_.Handle(), rotation_, clock_);
    rotation_.Attach(main_frame_.Handle(), channel_.get());
    main_frame_.SetHandler([this](Message& msg) -> LResult {
      if (channel_->HandleMessage(msg)) return 0;
      if (msg.message == WM_TIMER && msg.wparam == kPictureTimer) rotation_.OnTick();
      return 0;
    });
  }

  bool RunUntil(const std::function<bool()>& done, int limit_ms = 15000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_.RunFor(2);
    }
    return true;
  }
  // Moves the clock and serves what came due; a tick's picture thread is waited for.
  void Advance(int ms) {
    const int done_before = rotation_.ThreadsDone();
    const int ticks_before = rotation_.Ticks();
    clock_.Advance(ms);
    loop_.RunPending();
    if (rotation_.Ticks() > ticks_before) {
      ASSERT_TRUE(RunUntil([&] { return rotation_.ThreadsDone() > done_before; }));
    }
    loop_.RunPending();
  }
  std::string Jpeg(const std::string& name, const test::TestJpeg& shape) {
    const std::string path = files_.File(name);
    EXPECT_TRUE(test::WriteTestJpeg(path, shape));
    return path;
  }
  static Record Picture(const std::string& file, int interval_s, const char* mark = "") {
    return Record{PictureHeader{0x00202020, 3, 5, mark, file, "", ""}, interval_s};
  }
  // A screen saver that registers, takes the first picture and never answers.
  void StartMuteScreenSaverWithAPictureDue(Display& mute) {
    ASSERT_TRUE(
        mute.Start(files_.File("mute.log"), kScreenSaverClass, kScreenSaverTitle, "mute", true));
    ASSERT_TRUE(RunUntil([&] { return rotation_.Arms() == 1; }));  // WM_VIEWER_STARTED
    Advance(1000);
    ASSERT_TRUE(RunUntil([&] { return mute.Lines().size() == 1; }));
    ASSERT_TRUE(channel_->ScreenSaverPending());
    EXPECT_TRUE(channel_->HoldsBlock());
  }
  std::uint64_t HashOf(const std::string& file) {
    JpegLoader loader;
    std::optional<PackedBitmap> bitmap = loader.Load(file, 0, 1, 0);
    DibView view;
    if (!bitmap || !view.Parse(bitmap->Data(), bitmap->Size())) return 0;
    return test::PixelHash(view);
  }

  ManualClock clock_;
  EventLoop loop_{clock_};
  Watchdog dog_{std::chrono::seconds(60), loop_.Id()};
  test::TempDir files_;
  LambdaWindow main_frame_;
  TestRotation rotation_;
  std::unique_ptr<PictureChannel> channel_;
};

TEST_F(PictureChannelTest, RoadOfAPictureCrossesToADisplayProgramAndReArmsWithItsInterval) {
  Display slide;
  ASSERT_TRUE(slide.Start(files_.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  // An odd width (rows padded) in colour, then a greyscale picture, as the displays get them.
  test::TestJpeg colour;
  colour.width = 13;
  colour.height = 7;
  test::TestJpeg grey;
  grey.width = 6;
  grey.height = 9;
  grey.components = 1;
  const std::string first = Jpeg("odd.jpg", colour);
  const std::string second = Jpeg("grey.jpg", grey);
  rotation_.Push(Picture(first, 5, kNewPictureMark));
  rotation_.Push(Picture(second, 3));

  rotation_.ArmPictureTimer();  // as a display's start does
  Advance(1000);
  ASSERT_EQ(rotation_.Ticks(), 1);
  ASSERT_TRUE(RunUntil([&] { return !channel_->SlideWindowPending(); }));
  std::vector<DisplayLine> lines = slide.Lines();
  ASSERT_EQ(lines.size(), 1u);
  const DisplayLine& got = lines[0];
  EXPECT_EQ(got[0], "picture");
  EXPECT_EQ(got[1], std::to_string(0x00202020));
  EXPECT_EQ(got[2], "3");
  EXPECT_EQ(got[3], "5");
  EXPECT_EQ(got[4], "New Picture");
  EXPECT_EQ(got[5], first);
  EXPECT_EQ(got[8], "New Picture " + first);
  EXPECT_EQ(got[9], "13");
  EXPECT_EQ(got[10], "7");
  EXPECT_EQ(got[11], "24");
  EXPECT_EQ(got[12], std::to_string(HashOf(first)));
  EXPECT_EQ(got[13], std::to_string(main_frame_.Handle()));
  EXPECT_FALSE(channel_->HoldsBlock());  // released once every answer was in

  // The answer armed the timer with the picture's own interval of 5 s.
  Advance(4999);
  EXPECT_EQ(rotation_.Ticks(), 1);
  Advance(1);
  ASSERT_EQ(rotation_.Ticks(), 2);
  ASSERT_TRUE(
      RunUntil([&] { return slide.Lines().size() == 2 && !channel_->SlideWindowPending(); }));
  lines = slide.Lines();
  EXPECT_EQ(lines[1][5], second);
  EXPECT_EQ(lines[1][8], "");  // no mark, no caption
  EXPECT_EQ(lines[1][12], std::to_string(HashOf(second)));
  EXPECT_FALSE(channel_->LastLoadFailed());
  Advance(2999);
  EXPECT_EQ(rotation_.Ticks(), 2);
  Advance(1);
  EXPECT_EQ(rotation_.Ticks(), 3);  // the queue is empty now: a failed load
  EXPECT_TRUE(channel_->LastLoadFailed());

  PostMessage(slide.hwnd, WM_CLOSE);
  EXPECT_EQ(slide.process.Wait(10000), 0);
}

TEST_F(PictureChannelTest, FailedLoadsAnswerThemselvesAndTheNextRecordFollowsAfter1000Ms) {
  Display slide;
  ASSERT_TRUE(slide.Start(files_.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  const std::string good = Jpeg("good.jpg", test::TestJpeg{});
  std::string bytes = test::ReadFileBytes(good);
  const std::string truncated = files_.File("truncated.jpg");
  ASSERT_TRUE(test::WriteFileBytes(truncated, bytes.substr(0, bytes.size() / 2)));
  const std::string not_jpeg = files_.File("text.jpg");
  ASSERT_TRUE(test::WriteFileBytes(not_jpeg, "this is no picture"));
  rotation_.Push(Picture(truncated, 60));
  rotation_.Push(Picture(not_jpeg, 60));
  rotation_.Push(Picture(files_.File("missing.jpg"), 60));
  rotation_.Push(Picture(good, 60));

  rotation_.ArmPictureTimer();
  Advance(1000);
  for (int failed = 1; failed <= 3; ++failed) {
    ASSERT_EQ(rotation_.Ticks(), failed);
    EXPECT_TRUE(channel_->LastLoadFailed());
    EXPECT_EQ(rotation_.IntervalMs(), 1000);
    EXPECT_FALSE(channel_->HoldsBlock());
    Advance(999);
    EXPECT_EQ(rotation_.Ticks(), failed);
    Advance(1);
  }
  ASSERT_EQ(rotation_.Ticks(), 4);
  ASSERT_TRUE(RunUntil([&] { return !channel_->SlideWindowPending(); }));
  EXPECT_FALSE(channel_->LastLoadFailed());
  const std::vector<DisplayLine> lines = slide.Lines();
  ASSERT_EQ(lines.size(), 1u);  // only the good picture reached the display
  EXPECT_EQ(lines[0][5], good);
}

TEST_F(PictureChannelTest, WithNoDisplayATickLoadsOneRecordAnswersItselfAndTheRotationRests) {
  rotation_.Push(Picture(Jpeg("a.jpg", test::TestJpeg{}), 5));
  rotation_.Push(Picture(Jpeg("b.jpg", test::TestJpeg{}), 5));
  rotation_.ArmPictureTimer();
  Advance(1000);
  EXPECT_EQ(rotation_.Ticks(), 1);
  EXPECT_EQ(rotation_.IntervalMs(), 1000);  // nobody took it
  EXPECT_FALSE(channel_->LastLoadFailed());
  EXPECT_FALSE(channel_->HoldsBlock());
  EXPECT_EQ(rotation_.Arms(), 1);  // only ours: nothing re-armed it
  Advance(60000);
  EXPECT_EQ(rotation_.Ticks(), 1);
}

TEST_F(PictureChannelTest, AScreenSaverTakesEveryPictureWhileItRunsThenTheSlideWindowAgain) {
  Display slide;
  ASSERT_TRUE(slide.Start(files_.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
    rotation_.Push(Picture(Jpeg(name, test::TestJpeg{}), 2));
  }
  Display saver;
  ASSERT_TRUE(
      saver.Start(files_.File("saver.log"), kScreenSaverClass, kScreenSaverTitle, "answer", true));
  // WM_VIEWER_STARTED: with a slide window there the rotation is taken to run already; here it
  // rests, so this test arms it.
  rotation_.ArmPictureTimer();
  Advance(1000);
  ASSERT_TRUE(
      RunUntil([&] { return saver.Lines().size() == 1 && !channel_->ScreenSaverPending(); }));
  EXPECT_TRUE(slide.Lines().empty());

  // The screen saver ends: WM_VIEWER_ENDED keeps the rotation for the slide window.
  const int stops = rotation_.Stops();
  PostMessage(saver.hwnd, WM_CLOSE);
  EXPECT_EQ(saver.process.Wait(10000), 0);
  ASSERT_TRUE(RunUntil([&] { return !channel_->ScreenSaverExists(); }));
  loop_.RunFor(50);
  EXPECT_EQ(rotation_.Stops(), stops);
  Advance(2000);
  ASSERT_TRUE(
      RunUntil([&] { return slide.Lines().size() == 1 && !channel_->SlideWindowPending(); }));
  EXPECT_EQ(saver.Lines().size(), 1u);
}

TEST_F(PictureChannelTest, AScreenSaverStartingAloneStartsTheRotationAndItsEndStopsIt) {
  rotation_.Push(Picture(Jpeg("1.jpg", test::TestJpeg{}), 2));
  Display saver;
  ASSERT_TRUE(
      saver.Start(files_.File("saver.log"), kScreenSaverClass, kScreenSaverTitle, "answer", true));
  ASSERT_TRUE(RunUntil([&] { return rotation_.Arms() == 1; }));  // WM_VIEWER_STARTED
  Advance(1000);
  ASSERT_TRUE(
      RunUntil([&] { return saver.Lines().size() == 1 && !channel_->ScreenSaverPending(); }));
  PostMessage(saver.hwnd, WM_CLOSE);
  EXPECT_EQ(saver.process.Wait(10000), 0);
  ASSERT_TRUE(RunUntil([&] { return rotation_.Stops() == 1; }));  // WM_VIEWER_ENDED
  Advance(60000);
  EXPECT_EQ(rotation_.Ticks(), 1);
}

TEST_F(PictureChannelTest, AReceiverGoneBeforeTheSendArrivesCountsAsNoReceiver) {
  Display dying;
  ASSERT_TRUE(dying.Start(files_.File("dying.log"), kSlideWindowClass, kSlideWindowTitle, "exit"));
  rotation_.Push(Picture(Jpeg("1.jpg", test::TestJpeg{}), 2));
  rotation_.ArmPictureTimer();
  Advance(1000);
  EXPECT_EQ(dying.process.Wait(10000), 3);
  EXPECT_FALSE(channel_->SlideWindowPending());
  EXPECT_EQ(rotation_.IntervalMs(), 1000);
  EXPECT_FALSE(channel_->HoldsBlock());
  // It left a stale socket; the next look-up clears it and finds no slide window.
  EXPECT_FALSE(channel_->SlideWindowExists());
  // While it was still dying the answer may have found its socket alive and armed one more tick;
  // that tick finds nobody, and then the rotation rests.
  Advance(1000);
  const int ticks = rotation_.Ticks();
  EXPECT_LE(ticks, 2);
  Advance(60000);
  EXPECT_EQ(rotation_.Ticks(), ticks);
}

TEST_F(PictureChannelTest, AScreenSaverKilledWithAPictureDueNoLongerHoldsUpTheRotation) {
  for (const char* name : {"1.jpg", "2.jpg"}) {
    rotation_.Push(Picture(Jpeg(name, test::TestJpeg{}), 2));
  }
  Display mute;
  StartMuteScreenSaverWithAPictureDue(mute);
  Advance(60000);
  EXPECT_EQ(rotation_.Ticks(), 1);  // waiting for that answer
  mute.process.Kill(SIGKILL);
  ASSERT_EQ(mute.process.Wait(10000), 128 + SIGKILL);  // no WM_VIEWER_ENDED comes

  Display saver;
  ASSERT_TRUE(
      saver.Start(files_.File("saver.log"), kScreenSaverClass, kScreenSaverTitle, "answer", true));
  ASSERT_TRUE(RunUntil([&] { return !channel_->ScreenSaverPending(); }));
  EXPECT_FALSE(channel_->HoldsBlock());
  Advance(2000);
  ASSERT_TRUE(
      RunUntil([&] { return saver.Lines().size() == 1 && !channel_->ScreenSaverPending(); }));
}

TEST_F(PictureChannelTest, AScreenSaverEndingWithAPictureDueReleasesTheBlock) {
  rotation_.Push(Picture(Jpeg("1.jpg", test::TestJpeg{}), 2));
  Display mute;
  StartMuteScreenSaverWithAPictureDue(mute);
  PostMessage(mute.hwnd, WM_CLOSE);
  ASSERT_TRUE(RunUntil([&] { return !channel_->ScreenSaverPending(); }));
  EXPECT_FALSE(channel_->HoldsBlock());
  EXPECT_EQ(rotation_.Stops(), 1);
  // A late answer from it finds no wait and arms nothing.
  const int arms = rotation_.Arms();
  channel_->OnPictureShown(mute.hwnd);
  EXPECT_EQ(rotation_.Arms(), arms);
}

TEST_F(PictureChannelTest, SlideWindowAndDesktopDisplayBothAnswerBeforeTheNextArming) {
  // The desktop display lives in this program, on another thread, as the desktop window does.
  std::promise<Hwnd> desktop_ready;
  std::atomic<ThreadId> desktop_loop = 0;
  std::thread desktop([&] {
    EventLoop loop;
    std::atomic<bool> release = false;
    PictureReceiver receiver([&](const ReceivedPicture&, const std::atomic<bool>& abort) {
      while (!release && !abort) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    LambdaWindow window;
    window.SetHandler([&](Message& msg) -> LResult {
      if (msg.message == WM_USER + 99) release = true;
      receiver.OnMessage(window.Handle(), msg);
      return 0;
    });
    window.Create("DesktopListView");
    desktop_loop = loop.Id();
    desktop_ready.set_value(window.Handle());
    loop.Run();
    receiver.Abort();
  });
  const Hwnd desktop_window = desktop_ready.get_future().get();
  channel_->SetDesktopDisplay(desktop_window);
  channel_->SetWallpaperChangerOn(true);
  Display slide;
  ASSERT_TRUE(slide.Start(files_.File("slide.log"), kSlideWindowClass, kSlideWindowTitle));
  rotation_.Push(Picture(Jpeg("1.jpg", test::TestJpeg{}), 7));

  rotation_.ArmPictureTimer();
  Advance(1000);
  ASSERT_TRUE(RunUntil([&] { return !channel_->SlideWindowPending(); }));
  EXPECT_TRUE(channel_->DesktopPending());
  EXPECT_TRUE(channel_->HoldsBlock());  // the desktop display still reads it
  const int arms = rotation_.Arms();
  PostMessage(desktop_window, WM_USER + 99);
  ASSERT_TRUE(RunUntil([&] { return !channel_->DesktopPending(); }));
  EXPECT_FALSE(channel_->HoldsBlock());
  EXPECT_EQ(rotation_.Arms(), arms + 1);
  EXPECT_EQ(rotation_.IntervalMs(), 7000);
  PostThreadMessage(desktop_loop, WM_QUIT, 0);
  desktop.join();
}

TEST_F(PictureChannelTest, SlideWindowToggleStartsTheProgramThenClosesIt) {
  Display slide;
  slide.log = files_.File("slide.log");
  channel_->SetSlideWindowStarter([&] {
    return slide.process.Start(QLM_TEST_DISPLAY, {kSlideWindowClass, kSlideWindowTitle,
                                                  files_.File("slide.log"), "answer"});
  });
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
    rotation_.Push(Picture(Jpeg(name, test::TestJpeg{}), 1));
  }
  ASSERT_TRUE(channel_->ToggleSlideWindow());
  EXPECT_EQ(rotation_.Arms(), 1);
  // The first ticks may come before the program is up; the rotation keeps trying meanwhile.
  const std::string line = slide.process.ReadLine(15000);
  slide.hwnd = std::strtoull(line.c_str(), nullptr, 10);
  ASSERT_NE(slide.hwnd, 0u);
  for (int i = 0; i < 10 && slide.Lines().empty(); ++i) {
    Advance(1000);
    ASSERT_TRUE(RunUntil([&] { return !channel_->SlideWindowPending(); }));
  }
  ASSERT_FALSE(slide.Lines().empty());
  EXPECT_TRUE(channel_->SlideWindowExists());

  const int stops = rotation_.Stops();
  ASSERT_TRUE(channel_->ToggleSlideWindow());
  EXPECT_EQ(rotation_.Stops(), stops + 1);
  EXPECT_EQ(slide.process.Wait(10000), 0);
  EXPECT_FALSE(channel_->SlideWindowExists());
}

TEST_F(PictureChannelTest, ASlideWindowStartedByHandGetsPicturesByEitherRoad) {
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
    rotation_.Push(Picture(Jpeg(name, test::TestJpeg{}), 2));
  }
  // Before the main program: it finds the window as it starts.
  Display early;
  ASSERT_TRUE(early.Start(files_.File("early.log"), kSlideWindowClass, kSlideWindowTitle));
  EXPECT_EQ(rotation_.Arms(), 0);
  channel_->OnSlideWindowAppeared();
  EXPECT_EQ(rotation_.Arms(), 1);
  Advance(1000);
  ASSERT_TRUE(
      RunUntil([&] { return early.Lines().size() == 1 && !channel_->SlideWindowPending(); }));
  // The answer armed the next tick; a second announcement neither re-arms nor delays it.
  const int arms = rotation_.Arms();
  channel_->OnSlideWindowAppeared();
  EXPECT_EQ(rotation_.Arms(), arms);
  PostMessage(early.hwnd, WM_CLOSE);
  EXPECT_EQ(early.process.Wait(10000), 0);
  Advance(2000);  // that tick finds nobody; the rotation rests
  Advance(60000);
  const int ticks = rotation_.Ticks();

  // While the main program runs: the window announces itself.
  Display late;
  ASSERT_TRUE(late.Start(files_.File("late.log"), kSlideWindowClass, kSlideWindowTitle, "answer",
                         false, "slide"));
  ASSERT_TRUE(RunUntil([&] { return rotation_.PictureTimerArmed(); }));
  Advance(2000);
  EXPECT_EQ(rotation_.Ticks(), ticks + 1);
  ASSERT_TRUE(
      RunUntil([&] { return late.Lines().size() == 1 && !channel_->SlideWindowPending(); }));
  EXPECT_EQ(late.Lines()[0][0], "picture");
  PostMessage(late.hwnd, WM_CLOSE);
  EXPECT_EQ(late.process.Wait(10000), 0);
}

TEST_F(PictureChannelTest, ASlideWindowThatNeverAppearsLetsTheRotationRestAfterItsGrace) {
  int starts = 0;
  channel_->SetSlideWindowStarter([&] { return ++starts > 0; });  // started, never shows up
  ASSERT_TRUE(channel_->ToggleSlideWindow());
  // A second toggle while it starts (a double click on the menu) starts no second program.
  ASSERT_TRUE(channel_->ToggleSlideWindow());
  EXPECT_EQ(starts, 1);
  int ticks = 0;
  for (int elapsed = 0; elapsed < PictureChannel::kSlideWindowStartMs + 3000; elapsed += 1000) {
    Advance(1000);
  }
  ticks = rotation_.Ticks();
  EXPECT_GE(ticks, PictureChannel::kSlideWindowStartMs / 1000 - 1);
  Advance(60000);
  EXPECT_EQ(rotation_.Ticks(), ticks);
  ASSERT_TRUE(channel_->ToggleSlideWindow());  // after the grace, the program is started again
  EXPECT_EQ(starts, 2);
  Advance(PictureChannel::kSlideWindowStartMs);
  channel_->SetSlideWindowStarter([] { return false; });
  EXPECT_FALSE(channel_->ToggleSlideWindow());
}

TEST_F(PictureChannelTest, ABlockThatCannotBeMadeIsAFailedLoadAndACopiedBitmapArrivesWhole) {
  const std::string file = Jpeg("a.jpg", test::TestJpeg{});
  const PictureHeader header{1, 2, 3, "", file, "", ""};
  JpegLoader loader;
  {
    // A runtime folder that cannot be made leaves the block without a name.
    const std::string not_a_folder = files_.File("plain-file");
    ASSERT_TRUE(test::WriteFileBytes(not_a_folder, "x"));
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", not_a_folder.c_str());
    EXPECT_FALSE(channel_->LoadIntoBlock(header, loader));
  }
  EXPECT_EQ(channel_->LastError(), PictureChannel::kBlockFailed);
  EXPECT_EQ(channel_->BlockError(), ENOTDIR);
  EXPECT_FALSE(channel_->HoldsBlock());
  loader.SetMaxPictureBytes(100);  // the picture itself is refused
  EXPECT_FALSE(channel_->LoadIntoBlock(header, loader));
  EXPECT_EQ(channel_->LastError(), PictureChannel::kLoadFailed);
  EXPECT_EQ(loader.LastError(), JpegLoader::kTooLarge);
  channel_->AnswerFailedLoad();
  EXPECT_TRUE(channel_->LastLoadFailed());
  EXPECT_EQ(rotation_.IntervalMs(), 1000);

  // A bitmap decoded elsewhere is copied behind the strings, whole.
  std::optional<PackedBitmap> bitmap = JpegLoader().Load(file, 0, 1, 0);
  ASSERT_TRUE(bitmap);
  ASSERT_TRUE(channel_->CopyIntoBlock(header, *bitmap));
  EXPECT_FALSE(channel_->LastLoadFailed());
  ReceivedPicture picture;
  ASSERT_TRUE(picture.Open());
  EXPECT_EQ(test::PixelHash(picture.Bitmap()), HashOf(file));
  EXPECT_FALSE(channel_->CopyIntoBlock(header, PackedBitmap()));
}

}  // namespace
}  // namespace qlm

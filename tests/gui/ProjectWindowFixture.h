#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/HeadlessPatrol.h"
#include "app/gui/frames/CChildFrame.h"
#include "app/gui/frames/ProjectContext.h"
#include "crawl/DLManager.h"
#include "net/CWSThread.h"
#include "net/WSStartup.h"
#include "picture/display/QtMessageLoop.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm::test {

// Serves Qt until `done` holds; false after `limit_ms`.
inline bool ServeQtUntil(const std::function<bool()>& done, int limit_ms = 15000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A project window over a project file in a temporary folder, with the program's context: the
// settings (the mirror in the same folder), the lists, and, for patrols, a network worker.
class ProjectWindowFixture : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::MirrorDir, Mirror());
    context_.settings = &settings_;
    context_.prompt = &prompt_;
    context_.slides = &slides_;
    context_.timers = &timers_;
    context_.services = &services_;
    services_.settings = &settings_;
    services_.prompt = &prompt_;
  }
  void TearDown() override {
    frame_.reset();
    if (worker_) {
      worker_->Stop();
      CWSThread::SetManagerFactory(nullptr);
    }
  }

  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  std::string ProjectPath() const { return dir_.Path() + "/site.prj"; }

  void StartWorker() {
    WSStartup();
    worker_ = std::make_unique<CWSThread>(loop_.GetClock());
    ASSERT_TRUE(worker_->Start());
    DLManager::Install();
    services_.worker = worker_->Id();
  }

  // Writes the project file and opens it in a window.
  CChildFrame& Open(const std::string& text) {
    EXPECT_TRUE(WriteFileBytes(ProjectPath(), text));
    auto doc = std::make_unique<CQLMDoc>(settings_, prompt_);
    EXPECT_TRUE(doc->Open(ProjectPath()));
    frame_ = std::make_unique<CChildFrame>(context_, std::move(doc));
    frame_->resize(800, 600);
    return *frame_;
  }

  QtMessageLoop loop_;
  TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  CTimerDoc timers_;
  ScriptedPrompt prompt_;
  HeadlessServices services_;
  ProjectContext context_;
  std::unique_ptr<CWSThread> worker_;
  std::unique_ptr<CChildFrame> frame_;
};

}  // namespace qlm::test

#include "picture/display/ScreenSaverSession.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "picture/ChannelMessages.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/Profile.h"

namespace qlm {

ScreenSaverSession::ScreenSaverSession(std::string program_folder)
    : program_folder_(std::move(program_folder)), instance_mutex_(kInstanceMutex) {
  if (!program_folder_.empty() && program_folder_.back() != '/') program_folder_ += '/';
}

ScreenSaverSession::~ScreenSaverSession() = default;

bool ScreenSaverSession::TakeSingleInstance() {
  return instance_mutex_.TryLock();
}

bool ScreenSaverSession::MainProgramRuns() {
  NamedMutex main_mutex(kMainProgramMutex);
  if (!main_mutex.TryLock()) return main_mutex.Error() == EWOULDBLOCK;
  main_mutex.Unlock();
  return false;
}

bool ScreenSaverSession::StartMainProgramIfNeeded() {
  if (program_folder_.empty() || MainProgramRuns()) return false;
  const QString folder = QString::fromLocal8Bit(program_folder_.c_str());
  // Detached: the main program outlives this one when the user keeps it.
  started_main_program_ = QProcess::startDetached(folder + QString::fromLatin1(kMainProgramFile),
                                                  QStringList{QStringLiteral("-s")}, folder);
  return started_main_program_;
}

bool ScreenSaverSession::TryRegister(Hwnd own) {
  if (registered_ || tries_ >= kRegisterTries) return true;
  ++tries_;
  if (const Hwnd main = FindWindow(std::string(), kMainFrameTitle)) {
    PostMessage(main, WM_VIEWER_STARTED, 0, static_cast<LParam>(own));
    registered_ = true;
  }
  return registered_ || tries_ >= kRegisterTries;
}

void ScreenSaverSession::End() {
  if (started_main_program_) {
    if (const Hwnd main = FindWindow(std::string(), kMainFrameTitle)) PostMessage(main, WM_CLOSE);
  }
  if (const Hwnd main = FindWindow(std::string(), kMainFrameTitle)) {
    PostMessage(main, WM_VIEWER_ENDED);
  }
  instance_mutex_.Unlock();
}

int ScreenSaverSession::ReadTileSetting(const Profile& profile) {
  std::string text = profile.GetProfileString("Control Panel\\desktop", "TileWallpaper", "0");
  if (text.size() > 127) text.resize(127);  // the value is read into 128 bytes
  return std::atoi(text.c_str());
}

}  // namespace qlm

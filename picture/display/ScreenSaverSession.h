#pragma once

#include <string>

#include "picture/ChannelMessages.h"
#include "platform/Message.h"
#include "platform/NamedMutex.h"

namespace qlm {

class Profile;

// The screen saver's dealings with the rest of the system, apart from its window: the single
// instance, starting the main program when it does not run, registering with it, and telling it
// at the end. The window (PictureDisplay) and its input live in the program.
class ScreenSaverSession {
 public:
  static constexpr const char* kInstanceMutex = "Quillmere Screen Saver";
  // The main program holds this mutex while it runs, and its frame window has this title.
  static constexpr const char* kMainProgramMutex = "Quillmere Download Engine";
  static constexpr const char* kMainProgramFile = "QLM";
  static constexpr int kRegisterTries = 100;
  static constexpr int kRegisterIntervalMs = 100;

  // `program_folder` is where the main program's executable lies (this program's own folder).
  explicit ScreenSaverSession(std::string program_folder);
  ~ScreenSaverSession();
  ScreenSaverSession(const ScreenSaverSession&) = delete;
  ScreenSaverSession& operator=(const ScreenSaverSession&) = delete;

  // Takes the single-instance mutex without waiting; false when another screen saver runs.
  bool TakeSingleInstance();

  // Whether a main program runs: someone holds its mutex.
  static bool MainProgramRuns();
  // When no main program runs, starts "QLM -s" from the program folder with that folder as its
  // working folder. True when it was started here; StartedMainProgram() tells the same later.
  bool StartMainProgramIfNeeded();
  bool StartedMainProgram() const { return started_main_program_; }

  // One registration try: when the main window exists, posts WM_VIEWER_STARTED with `own`. True
  // once registration is over, found or not: after the kRegisterTries-th try.
  bool TryRegister(Hwnd own);
  bool Registered() const { return registered_; }
  int TriesMade() const { return tries_; }

  // The end, after the window has gone: closes the main program this session started, tells the
  // main program that the screen saver has ended, and releases the single-instance mutex.
  void End();

  // The desktop tile setting: [Control Panel\desktop] TileWallpaper as a number; 0 when missing
  // or not a number.
  static int ReadTileSetting(const Profile& profile);

 private:
  std::string program_folder_;  // ends in "/" unless empty
  NamedMutex instance_mutex_;
  bool started_main_program_ = false;
  bool registered_ = false;
  int tries_ = 0;
};

}  // namespace qlm

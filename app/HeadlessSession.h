#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "app/HeadlessDialup.h"
#include "app/HeadlessPatrol.h"
#include "app/SharedSlideList.h"
#include "net/CWSThread.h"
#include "picture/PictureQueue.h"
#include "project/AppSettings.h"

namespace qlm {

class Clock;
class Prompt;

// What the headless modes that patrol set up once per process, as the main program does at its
// start: the settings, the network worker thread with the download managers' factory, the dial-up
// manager when the setting AutoDialup is on, and the picture pick-up (the picture queue "WP.lst"
// and the slide-show list "QLM.ssf"; a picture is offered while a screen saver or slide window of
// this user runs, found by class and title across processes).
class HeadlessSession {
 public:
  // Reads the settings.
  HeadlessSession(Prompt& prompt, std::FILE* err);
  ~HeadlessSession();
  HeadlessSession(const HeadlessSession&) = delete;
  HeadlessSession& operator=(const HeadlessSession&) = delete;

  const AppSettings& Settings() const { return settings_; }
  // Patrols of this session store into `folder` (absolute, ending in "/") instead of the
  // MirrorDir setting; the settings file is not changed.
  void UseMirrorFolder(const std::string& folder) {
    settings_.SetStored(AppText::MirrorDir, folder);
  }
  Prompt& GetPrompt() { return prompt_; }

  // On the main thread, with its loop made on `clock` and the stop signals blocked (the worker
  // inherits that). `dial_status` hears the dial-up manager's status texts. False, after telling
  // why on `err`, when the worker or the dial-up manager cannot be made; a picture queue that
  // cannot be opened only leaves the pick-up out (and says so).
  bool Start(Clock& clock, HeadlessDialup::StatusListener dial_status);
  // Ends the worker thread (every patrol must have ended) and the dial-up manager.
  void Stop();

  HeadlessServices& Services() { return services_; }

  // Whether a screen saver or a slide window of this user runs. Any thread.
  static bool DisplayRunning();

 private:
  void Tell(const std::string& text);
  void OpenPictures();

  Prompt& prompt_;
  std::FILE* err_;
  AppSettings settings_;
  std::unique_ptr<CWSThread> worker_;
  std::unique_ptr<HeadlessDialup> dialup_;
  PictureQueue pictures_;
  std::unique_ptr<SharedSlideList> slides_;
  HeadlessServices services_;
};

}  // namespace qlm

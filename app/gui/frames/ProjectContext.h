#pragma once

#include <functional>

namespace qlm {

class AppSettings;
class CSSDoc;
class CTimerDoc;
class Prompt;
struct HeadlessServices;

// What every project window shares with the program: the settings, the lists that name project
// items, the patrol services (the network worker with its download managers), and what the main
// frame knows of the picture displays. The pointers outlive every project window.
struct ProjectContext {
  AppSettings* settings = nullptr;
  Prompt* prompt = nullptr;
  CSSDoc* slides = nullptr;
  CTimerDoc* timers = nullptr;  // may be null: no timer marks, no timer entries to remove
  HeadlessServices* services = nullptr;
  // Whether the slide window, the screen saver or the wallpaper changer is on: the commands that
  // change the project's items and saved data wait until they are off. Null counts as off.
  std::function<bool()> slide_window_open;
  std::function<bool()> screen_saver_open;
  std::function<bool()> wallpaper_changer_on;
  // Told when a patrol of any project has ended (the main frame's shutdown check); may be null.
  std::function<void()> patrol_ended;
  // Opens an item's property sheet; null while there is none (the command is then not offered).
  std::function<bool(class CQLMDoc&, class ProjectItem&)> item_properties;
};

}  // namespace qlm

#pragma once

#include <string>

#include "project/CSSDoc.h"

namespace qlm {

// The slide-show list as the headless patrols use it. The main program keeps the list in memory
// and writes "QLM.ssf" when it changes it; a headless patrol, in a process of its own, reads the
// file when a patrol starts (for its pick-up) and, when a patrol gives an item the title of its
// page, changes the file itself: read afresh, retitled, written, all under a named lock, so that
// two headless patrols never write over each other's titles.
class SharedSlideList {
 public:
  explicit SharedSlideList(std::string install_folder);

  // Reads the list file again; false when it can be neither read nor created (the list is empty).
  bool Reload();
  // Every entry naming the item (project file, folder path, URL) takes `title`, and the file is
  // written when any did. Any thread. False when the file could not be written.
  bool Retitle(const std::string& file, const std::string& folder, const std::string& url,
               const std::string& title);

  const CSSDoc& List() const { return list_; }

 private:
  std::string install_folder_;
  CSSDoc list_;
};

}  // namespace qlm

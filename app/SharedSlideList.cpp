#include "app/SharedSlideList.h"

#include "platform/NamedMutex.h"

namespace qlm {

SharedSlideList::SharedSlideList(std::string install_folder)
    : install_folder_(std::move(install_folder)) {}

bool SharedSlideList::Reload() {
  NamedMutex lock = CSSDoc::FileLock(install_folder_);
  lock.Lock();
  return list_.Load(install_folder_);
}

bool SharedSlideList::Retitle(const std::string& file, const std::string& folder,
                              const std::string& url, const std::string& title) {
  NamedMutex lock = CSSDoc::FileLock(install_folder_);
  lock.Lock();
  // What another program wrote since this one read the list is kept.
  list_.Load(install_folder_);
  if (list_.RetitleItem(file, folder, url, title) == 0) return true;
  return list_.Save(install_folder_);
}

}  // namespace qlm

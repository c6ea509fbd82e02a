#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NamedMutex.h"
#include "project/SlideEntry.h"

namespace qlm {

// The slide-show list: which items of which projects feed the picture show, in order, with their
// display values; kept in "QLM.ssf" in the install folder (one line per entry, CR LF; see
// SlideListReader for the reading rules). The application owns one for its whole run.
//
// Locking: the list in memory is shared by the user-interface thread (property pages, the list
// dialog), the picture rotation's thread and the network worker (pick-up, titles from a patrol).
// Every reader and writer holds Mutex() around each access; the members below that say "caller
// holds the lock" do not take it themselves, the others do. The mutex is not recursive.
//
// Entries are held by pointer so that a dialog may keep one (under the lock) while others are
// added or removed.
class CSSDoc {
 public:
  static constexpr std::string_view kListFileName = "QLM.ssf";

  // The list file of an install folder; a "/" is put between them when the folder lacks one.
  static std::string ListPath(const std::string& install_folder);

  std::mutex& Mutex() const { return mutex_; }

  // The lock every program holds while it writes the list file of an install folder, so that a
  // headless patrol giving an item its title and the main program saving its list never write
  // over each other.
  static NamedMutex FileLock(const std::string& install_folder);

  // Start-up: opens the list file, creating an empty one when there is none (an existing file is
  // left as it is), and replaces the list with what it holds. False when the file can be neither
  // opened nor created; the list is empty then and nothing else is reported. Takes the lock.
  bool Load(const std::string& install_folder);
  // Rewrites the whole file from the list, in order, into a temporary file that then replaces the
  // old one (a failed write leaves the old list). False when it failed. Takes the lock.
  bool Save(const std::string& install_folder) const;
  // Whether the list was changed in memory since it was last loaded or saved. A program that
  // changed nothing must not write its old copy over titles another program saved meanwhile.
  // Takes the lock.
  bool Modified() const;

  // Caller holds the lock.
  const std::vector<std::unique_ptr<SlideEntry>>& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }
  // The entry of an item (byte-exact match of all three), or nullptr. Caller holds the lock.
  SlideEntry* Find(std::string_view file, std::string_view folder, std::string_view url) const;
  // Appends an entry and returns it. Caller holds the lock.
  SlideEntry& Append(SlideEntry entry);
  // Removes and frees an entry of this list; false when it is not one. Caller holds the lock.
  bool Remove(const SlideEntry* entry);

  // The OK of an item's property page: removes the item's old entry, and when `show` (the box
  // "スライドショウで表示する") is set appends `entry` and saves the list, returning whether that
  // worked. Without `show` the item only leaves the list in memory; the file keeps its line until
  // the next save. Takes the lock.
  bool SetItemEntry(SlideEntry entry, bool show, const std::string& install_folder);

  // The "設定変更" of the list dialog: forces the values into their ranges and stores them in
  // the entry, if it is still in the list. Takes the lock.
  bool ChangeDisplay(const SlideEntry* entry, SlideDisplay display);

  // A patrol gave an item the title of its page: every entry that names the item (project file,
  // folder path, and a URL that is the same as `url` byte for byte or after normalising both)
  // takes the title. Returns how many entries changed. Takes the lock.
  std::size_t RetitleItem(std::string_view file, std::string_view folder, std::string_view url,
                          const std::string& title);

  // Entry by entry in order, under the lock, until `visit` returns false.
  void ForEach(const std::function<bool(const SlideEntry&)>& visit) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<SlideEntry>> entries_;  // guarded by mutex_
  mutable bool modified_ = false;                     // guarded by mutex_
};

}  // namespace qlm

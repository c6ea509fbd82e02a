#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "picture/PictureRecord.h"
#include "platform/NamedMutex.h"
#include "project/PatrolQueue.h"

namespace qlm {

class Prompt;

// The pictures still to be shown: a last-in-first-out stack of PictureRecords (the record pushed
// last is taken first) kept in the file "WP.lst" of the program folder, a record list file in the
// format of the patrol queues with version 10050. It survives restarts.
//
// Thread and process safety: every operation takes the queue's own lock, so the user-interface
// thread, the picture thread and the network worker (pick-up) may use one object at once. The lock
// is also a named lock of the file, held around each operation, under which the list is brought up
// to what the file holds (PatrolQueue::Refresh): the main program's rotation and a headless patrol
// of another process (whose pick-up pushes) share "WP.lst" without losing or damaging records.
class PictureQueue {
 public:
  static constexpr std::string_view kFileName = "WP.lst";
  static constexpr std::string_view kNotInstalled =
      "アプリケーションが正しくインストールされていません";

  enum class OpenResult {
    kOpened,         // ready
    kNotInstalled,   // the program folder does not exist; the user was told, start-up ends
    kDeclined,       // the file carries another version and the user declined to convert it
    kConvertFailed,  // the conversion failed; the user was told, start-up ends
    kFailed,         // the file could not be opened or created (Error() tells why)
  };

  PictureQueue();
  PictureQueue(const PictureQueue&) = delete;
  PictureQueue& operator=(const PictureQueue&) = delete;

  // The queue file of a program folder (the folder path immediately followed by "WP.lst").
  static std::string FilePath(const std::string& program_folder);

  // The main window's creation: checks that the program folder exists, opens (or creates) the
  // queue file, and converts a file of another version when the user agrees. A damaged file is
  // kept aside as "WP.lst.damaged" and the queue starts empty, since its records can always be
  // found again by a refill.
  OpenResult Open(const std::string& program_folder, Prompt& prompt);
  void Close();
  bool IsOpen() const;

  // Adds a record on top; false when it could not be stored.
  bool Push(const PictureRecord& record);
  // Takes the top record; false when the queue is empty (or its file failed). Records that do
  // not decode are dropped on the way.
  bool Pop(PictureRecord& record);
  // Empties the queue (the file is cut back to its header).
  bool Clear();
  bool IsEmpty() const;
  // Counted along the list file's chain.
  std::size_t Count() const;
  // The PatrolQueue error code of the last failed operation, 0 when none failed.
  int Error() const;

  // Pick-up: a picture just stored by a patrol, to be shown next. The record carries the given
  // display values with depth limit, depth and hops 0, the mark "New Picture" and the file.
  bool AddNewPicture(PictureRecord display_values, const std::string& file);

 private:
  // Holds both locks for one operation and refreshes an open list from its file.
  class Access {
   public:
    explicit Access(const PictureQueue& queue);
    ~Access();

   private:
    const PictureQueue& queue_;
    std::lock_guard<std::mutex> guard_;
  };

  // The name of the file's lock among the programs of this user.
  static std::string LockName(const std::string& path);

  mutable std::mutex mutex_;
  // The named lock of the open file; null before Open. Guarded by mutex_.
  mutable std::unique_ptr<NamedMutex> file_lock_;
  mutable PatrolQueue list_;  // guarded by mutex_ and file_lock_
};

}  // namespace qlm

#include "picture/PictureQueue.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/Prompt.h"
#include "project/CQLMDoc.h"
#include "project/QueueConversion.h"

namespace qlm {

namespace {

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

PictureQueue::PictureQueue() : list_(PictureRecord::kVersion) {}

PictureQueue::Access::Access(const PictureQueue& queue) : queue_(queue), guard_(queue.mutex_) {
  // Without its lock file (an unusable runtime folder) the queue still serves this program alone.
  if (queue_.file_lock_) queue_.file_lock_->Lock();
  if (queue_.list_.IsOpen()) queue_.list_.Refresh();
}

PictureQueue::Access::~Access() {
  if (queue_.file_lock_) queue_.file_lock_->Unlock();
}

std::string PictureQueue::LockName(const std::string& path) {
  return "Quillmere Picture Queue " + path;
}

std::string PictureQueue::FilePath(const std::string& program_folder) {
  return program_folder + std::string(kFileName);
}

PictureQueue::OpenResult PictureQueue::Open(const std::string& program_folder, Prompt& prompt) {
  std::lock_guard lock(mutex_);
  list_.Close();
  if (!FolderExists(program_folder)) {
    prompt.ShowMessage(kNotInstalled);
    return OpenResult::kNotInstalled;
  }
  const std::string path = FilePath(program_folder);
  file_lock_ = std::make_unique<NamedMutex>(LockName(path));
  // Another program may be creating, converting or setting aside the same file meanwhile.
  file_lock_->Lock();
  struct Unlock {
    NamedMutex& lock;
    ~Unlock() { lock.Unlock(); }
  } unlock{*file_lock_};
  if (!list_.Open(path)) {
    if (list_.Error() != PatrolQueue::kErrDamaged) return OpenResult::kFailed;
    // Pending pictures are only a cache of what the refill finds again; the damaged file is kept
    // for a look, and the show goes on with an empty queue rather than not at all.
    const std::string aside = path + ".damaged";
    if (std::rename(path.c_str(), aside.c_str()) != 0 || !list_.Open(path)) {
      return OpenResult::kFailed;
    }
  }
  if (list_.FileVersion() == PictureRecord::kVersion) return OpenResult::kOpened;

  if (!prompt.AskYesNo(CQLMDoc::kConvertQuestion)) {
    list_.Close();
    return OpenResult::kDeclined;
  }
  // Every version of the file has held the same record layout; a record that does not read as
  // one is left out rather than failing the start-up for a picture the refill finds again.
  const bool ok =
      ConvertQueueFile(list_, PictureRecord::kVersion,
                       [](std::string_view data, int32_t version, std::string& converted) {
                         PictureRecord record;
                         if (PictureRecord::Decode(data, version, record))
                           converted = record.Encode();
                         return true;
                       });
  if (!ok) {
    list_.Close();
    prompt.ShowMessage(CQLMDoc::kConvertFailed);
    return OpenResult::kConvertFailed;
  }
  return OpenResult::kOpened;
}

void PictureQueue::Close() {
  std::lock_guard lock(mutex_);
  list_.Close();
}

bool PictureQueue::IsOpen() const {
  std::lock_guard lock(mutex_);
  return list_.IsOpen();
}

bool PictureQueue::Push(const PictureRecord& record) {
  Access access(*this);
  return list_.Append(record);
}

bool PictureQueue::Pop(PictureRecord& record) {
  Access access(*this);
  return list_.PopBack(record);
}

bool PictureQueue::Clear() {
  Access access(*this);
  return list_.Reset();
}

bool PictureQueue::IsEmpty() const {
  Access access(*this);
  return !list_.IsOpen() || list_.IsEmpty();
}

std::size_t PictureQueue::Count() const {
  Access access(*this);
  std::size_t count = 0;
  list_.ForEach(PatrolQueue::Chain::kMain, [&count](PatrolQueue::NodeId, std::string_view) {
    ++count;
    return true;
  });
  return count;
}

int PictureQueue::Error() const {
  std::lock_guard lock(mutex_);
  return list_.Error();
}

bool PictureQueue::AddNewPicture(PictureRecord display_values, const std::string& file) {
  PictureRecord record = display_values.WithFile(file);
  record.depth_limit = 0;
  record.depth = 0;
  record.hops = 0;
  record.mark = std::string(PictureRecord::kNewPictureMark);
  return Push(record);
}

}  // namespace qlm

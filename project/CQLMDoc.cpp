#include "project/CQLMDoc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "net/CUrl.h"
#include "platform/ApplicationLock.h"
#include "platform/Folders.h"
#include "project/ExtensionFilter.h"
#include "project/ProjectLexer.h"
#include "project/ProjectReader.h"
#include "project/ProjectWriter.h"
#include "project/QueueConversion.h"

namespace qlm {

namespace {

bool EndsWithPrj(const std::string& path) {
  if (path.size() < 4) return false;
  const std::string_view tail = std::string_view(path).substr(path.size() - 4);
  return tail[0] == '.' && (tail[1] | 0x20) == 'p' && (tail[2] | 0x20) == 'r' &&
         (tail[3] | 0x20) == 'j';
}

std::string BaseName(const std::string& base) {
  return base.substr(base.rfind('/') + 1);
}

// A name whose project folder would be the mirror folder itself or lie above it.
bool UnusableName(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

// The item's URL as entered, or its normalized form: link records carry the normalized one.
bool SameUrl(const ProjectItem& item, std::string_view url) {
  if (!item.URL()) return false;
  if (*item.URL() == url) return true;
  CUrl parsed;
  return parsed.Parse(*item.URL()) && parsed.Text() == url;
}

}  // namespace

CQLMDoc::CQLMDoc(const AppSettings& settings, Prompt& prompt)
    : settings_(settings), defaults_(settings), prompt_(prompt) {
  ResetRoot();
}

CQLMDoc::~CQLMDoc() {
  Close();
}

void CQLMDoc::ResetRoot() {
  root_ = std::make_unique<ProjectItem>(ProjectItem::kRoot);
}

void CQLMDoc::SplitPath(const std::string& path, std::string& file, std::string& base) {
  if (EndsWithPrj(path)) {
    file = path;
    base = path.substr(0, path.size() - 4);
  } else {
    file = path + ".prj";
    base = path;
  }
}

std::string CQLMDoc::ProjectFilePath(const std::string& path) {
  std::string file, base;
  SplitPath(path, file, base);
  return file;
}

std::string CQLMDoc::ProjectFolderOf(const AppSettings& settings, const std::string& path) {
  std::string file, base;
  SplitPath(path, file, base);
  return settings.MirrorFolder() + BaseName(base) + "/";
}

std::string CQLMDoc::ProjectFolder() const {
  return settings_.MirrorFolder() + Name() + "/";
}

std::string CQLMDoc::QueuePath(std::string_view name, std::string_view extension) const {
  return settings_.MirrorFolder() + std::string(name) + "/" + std::string(name) +
         std::string(extension);
}

bool CQLMDoc::OpenQueues(const std::string& name, bool fresh) {
  const std::string work = QueuePath(name, ".uq");
  const std::string localize = QueuePath(name, ".lq");
  if (fresh) {
    for (const std::string* path : {&work, &localize}) {
      if (std::remove(path->c_str()) != 0 && errno != ENOENT) return Fail(kErrQueue);
    }
  }
  failed_queue_.clear();
  queue_damaged_ = false;
  if (!work_queue_.Open(work) || !localize_queue_.Open(localize)) {
    const PatrolQueue& failed = work_queue_.IsOpen() ? localize_queue_ : work_queue_;
    failed_queue_ = failed.Path();
    queue_damaged_ = failed.Error() == PatrolQueue::kErrDamaged;
    work_queue_.Close();
    localize_queue_.Close();
    return Fail(kErrQueue);
  }
  return true;
}

bool CQLMDoc::New(const std::string& title) {
  last_error_ = kErrNone;
  Close();
  root_->SetTitle(title);
  if (UnusableName(title)) return Fail(kErrFolder);
  std::lock_guard lock(ApplicationLock());
  if (!CreateFolders(ProjectFolder(), 0755)) return Fail(kErrFolder);
  if (!OpenQueues(title, true)) return false;
  modified_ = false;
  return true;
}

bool CQLMDoc::Open(const std::string& path, QueueAccess queues) {
  last_error_ = kErrNone;
  Close();
  std::string file_path, base;
  SplitPath(path, file_path, base);
  // Opened without waiting, so that a FIFO or a device in its place is refused rather than waited
  // for; only a plain file is read.
  const int fd = ::open(file_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(kErrLoad);
  struct stat st {};
  std::FILE* file = nullptr;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
      (file = ::fdopen(fd, "rb")) == nullptr) {
    ::close(fd);
    return Fail(kErrLoad);
  }
  ProjectLexer lexer(file);
  const bool whole = ProjectReader::Read(lexer, *root_);
  const bool read_error = std::ferror(file);
  std::fclose(file);
  if (read_error) {
    ResetRoot();
    return Fail(kErrLoad);
  }
  if (!whole) {
    ResetRoot();
    syntax_line_ = lexer.Line();
    return Fail(kErrSyntax);
  }
  const std::string name = BaseName(base);
  root_->SetTitle(name);
  path_name_ = file_path;
  if (UnusableName(name)) return Fail(kErrFolder);
  modified_ = false;
  if (queues == QueueAccess::kLeave) return true;
  return OpenQueueFiles();
}

bool CQLMDoc::OpenQueueFiles() {
  const std::string name = Name();
  if (UnusableName(name)) return Fail(kErrFolder);
  std::lock_guard lock(ApplicationLock());
  if (!CreateFolders(ProjectFolder(), 0755)) return Fail(kErrFolder);
  work_queue_.Close();
  localize_queue_.Close();
  deferred_.clear();
  if (!OpenQueues(name, false)) return false;
  if (work_queue_.FileVersion() != LinkRecord::kVersion ||
      localize_queue_.FileVersion() != LinkRecord::kVersion) {
    if (!prompt_.AskYesNo(kConvertQuestion)) {
      work_queue_.Close();
      localize_queue_.Close();
      return Fail(kErrDeclined);
    }
    if (!ConvertQueue(work_queue_) || !ConvertQueue(localize_queue_)) {
      work_queue_.Close();
      localize_queue_.Close();
      prompt_.ShowMessage(kConvertFailed);
      return Fail(kErrQueue);
    }
  }
  return true;
}

bool CQLMDoc::ConvertQueue(PatrolQueue& queue) {
  if (queue.FileVersion() == LinkRecord::kVersion) return true;
  const bool ok = ConvertQueueFile(
      queue, LinkRecord::kVersion,
      [](std::string_view data, int32_t version, std::string& converted) {
        LinkRecord record;
        if (!LinkRecord::Decode(data, version, record)) return false;
        converted = record.Encode();
        return true;
      },
      [this](std::size_t count) {
        prompt_.ShowProgress(kConvertTitle,
                             "ファイルをコンバートしています....." + std::to_string(count));
      });
  prompt_.EndProgress();
  return ok;
}

bool CQLMDoc::Save(const std::string& path) {
  last_error_ = kErrNone;
  std::string file_path, base;
  SplitPath(path, file_path, base);
  const std::string name = BaseName(base);
  if (UnusableName(name)) return Fail(kErrFolder);
  const std::optional<std::string> old_title = root_->Title();
  auto retitle = [this](const std::optional<std::string>& title) {
    root_->SetTitle(title);
    if (root_title_changed_) root_title_changed_(title.value_or(""));
  };
  retitle(name);
  if (!ProjectWriter::Write(file_path, *root_)) {
    retitle(old_title);
    return Fail(kErrWrite);
  }
  path_name_ = file_path;
  if (QueuePath(name, ".uq") != work_queue_.Path() || !work_queue_.IsOpen()) {
    std::lock_guard lock(ApplicationLock());
    if (!CreateFolders(ProjectFolder(), 0755)) return Fail(kErrFolder);
    work_queue_.Close();
    localize_queue_.Close();
    deferred_.clear();
    if (!OpenQueues(name, false)) return false;
  }
  modified_ = false;
  return true;
}

bool CQLMDoc::CanClose() {
  if (!patrol_running_) return true;
  prompt_.ShowMessage(kPatrolRunning);
  return false;
}

void CQLMDoc::Close() {
  ResetRoot();
  path_name_.clear();
  work_queue_.Close();
  localize_queue_.Close();
  deferred_.clear();
  forbidden_.clear();
  modified_ = false;
}

const ProjectItem* CQLMDoc::FindItem(std::string_view folder_path, std::string_view url) const {
  std::vector<const ProjectItem*> stack{root_.get()};
  while (!stack.empty()) {
    const ProjectItem* item = stack.back();
    stack.pop_back();
    const bool kind_fits =
        url.empty() ? !item->IsRecord() : item->IsRecord() && SameUrl(*item, url);
    if (kind_fits && item->FolderPath() == folder_path) return item;
    for (const ProjectItem* c = item->FirstChild(); c; c = c->Next()) stack.push_back(c);
  }
  return nullptr;
}

bool CQLMDoc::Walk(const ProjectItem& start, bool selected_only, bool queue, std::size_t& queued) {
  // A stack: a folder's children are pushed first to last, so the last child is taken first.
  std::vector<const ProjectItem*> stack{&start};
  while (!stack.empty()) {
    const ProjectItem& item = *stack.back();
    stack.pop_back();
    if (!item.IsRecord()) {
      for (const ProjectItem* c = item.FirstChild(); c; c = c->Next()) stack.push_back(c);
      continue;
    }
    const int32_t mark = item.Effective(ItemOption::PilotType);
    if (mark == kPilotForbidden) {
      forbidden_.push_back(&item);
      continue;
    }
    if (!queue || (selected_only && mark != kPilotSelected) || !item.URL()) continue;
    CUrl url;
    if (!url.Parse(*item.URL())) continue;
    if (!ExtensionFilter::Admits(item, defaults_, url.Extension())) continue;
    LinkRecord record;
    record.graph_max = defaults_.Resolve(item, ItemOption::GraphMax);
    record.folder_path = item.FolderPath();
    record.item_url = url.Text();
    record.url = url.Text();
    if (!work_queue_.Append(record)) return Fail(kErrQueue);
    ++queued;
  }
  return true;
}

bool CQLMDoc::StartPatrol(const ProjectItem* start, bool selected_only, PatrolStart& result) {
  result = {};
  forbidden_.clear();
  if (!work_queue_.IsOpen() || !localize_queue_.IsOpen()) return Fail(kErrQueue);
  const ProjectItem& from = start ? *start : *root_;
  std::lock_guard lock(ApplicationLock());
  if (work_queue_.IsEmpty(PatrolQueue::Chain::kMain) &&
      work_queue_.IsEmpty(PatrolQueue::Chain::kHeld) && localize_queue_.IsEmpty()) {
    return Walk(from, selected_only, true, result.work);
  }
  // An interrupted patrol: records that were out for download go back in front, and the patrol
  // goes on where it stopped.
  result.resumed = true;
  std::size_t unused = 0;
  if (!work_queue_.RestoreHeld() || !Walk(from, selected_only, false, unused)) {
    return Fail(kErrQueue);
  }
  result.work = work_queue_.Count();
  result.localize = localize_queue_.Count();
  return true;
}

bool CQLMDoc::ResetQueues() {
  std::lock_guard lock(ApplicationLock());
  deferred_.clear();
  // The files are made anew, so that a queue that could not be opened (or whose folder went away)
  // is usable again afterwards.
  if (UnusableName(Name()) || !CreateFolders(ProjectFolder(), 0755)) return Fail(kErrFolder);
  work_queue_.Close();
  localize_queue_.Close();
  return OpenQueues(Name(), true);
}

bool CQLMDoc::RequeueDeferred() {
  std::lock_guard lock(ApplicationLock());
  while (!deferred_.empty()) {
    if (!work_queue_.InsertFront(deferred_.back())) return Fail(kErrQueue);
    deferred_.pop_back();
  }
  return true;
}

}  // namespace qlm

#include "crawl/SavedDataOperation.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "crawl/CrawlMessages.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorGeneration.h"
#include "crawl/MirrorStore.h"
#include "crawl/PatrolEvents.h"
#include "crawl/RobotsCopy.h"
#include "crawl/StoredPage.h"
#include "net/CUrl.h"
#include "net/RobotsRules.h"
#include "project/CQLMDoc.h"
#include "project/ProjectItem.h"

namespace qlm {

namespace {

// Opens a list that each operation fills anew; one left damaged (by a kill, say) is made anew.
bool OpenEmptied(PatrolQueue& list, const std::string& path) {
  if (!list.Open(path)) {
    if (list.Error() != PatrolQueue::kErrDamaged || ::unlink(path.c_str()) != 0) return false;
    if (!list.Open(path)) return false;
  }
  return list.Reset();
}

constexpr std::string_view kListExtensions[] = {".uq", ".lq", ".det", ".del"};

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

// The entries of a folder, sorted by name, split into subfolders and everything else. Symbolic
// links are never followed: a link to a folder counts as a file, so it is removed, not entered.
void ListFolder(const std::string& folder, std::vector<std::string>& folders,
                std::vector<std::string>& files) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool is_folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      is_folder = ::lstat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    (is_folder ? folders : files).push_back(name);
  }
  ::closedir(dir);
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsPlainFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

SavedDataOperation::SavedDataOperation(const CQLMDoc& doc, const MirrorStore& store,
                                       PatrolEvents& events)
    : doc_(doc), store_(store), project_name_(doc.Name()), events_(events) {}

SavedDataOperation::~SavedDataOperation() {
  DropLists();
}

std::vector<std::string> SavedDataOperation::ForbiddenUrls(const ProjectItem& root) {
  std::vector<std::string> urls;
  std::vector<const ProjectItem*> stack{&root};
  while (!stack.empty()) {
    const ProjectItem* item = stack.back();
    stack.pop_back();
    if (item->IsRecord()) {
      if (item->URL() && item->Effective(ItemOption::PilotType) == kPilotForbidden) {
        urls.push_back(*item->URL());
      }
      continue;
    }
    for (const ProjectItem* child = item->FirstChild(); child; child = child->Next()) {
      stack.push_back(child);
    }
  }
  return urls;
}

void SavedDataOperation::Run(const SavedDataRequest& request) {
  for (unsigned message = Start(request); message != 0;) message = Step(message);
}

unsigned SavedDataOperation::Start(const SavedDataRequest& request) {
  request_ = request;
  const ProjectItem* item = request.item;
  const int op = request.operation;
  const bool needs_destination = op == SavedDataRequest::kCopy || op == SavedDataRequest::kMove;
  if (!item || op < SavedDataRequest::kDelete || op > SavedDataRequest::kMove ||
      (needs_destination && !request.destination.starts_with('/'))) {
    error_ = kBadRequest;
    return End();
  }

  std::lock_guard guard(store_.Lock());
  const std::string collect_path = store_.WorkFile(project_name_, ".det");
  if (MakeParentFolders(collect_path) != 0 || !OpenEmptied(collect_, collect_path) ||
      !OpenEmptied(operations_, store_.WorkFile(project_name_, ".del"))) {
    error_ = kListFailed;
    return End();
  }

  // The place that holds the item: a URL item's folder path is already its parent's; a folder's
  // files lie below its parent's folder under its own name.
  if (item->IsRecord()) {
    source_base_ = store_.MirrorRoot() + EscapeLocalName(item->FolderPath()) + "/";
  } else if (item->Parent()) {
    source_base_ = store_.MirrorRoot() + EscapeLocalName(item->Parent()->FolderPath()) + "/";
  } else {
    source_base_ = store_.MirrorRoot();
  }
  destination_base_ = request.destination;
  if (!destination_base_.ends_with('/')) destination_base_ += '/';
  // Deleting and moving remove copies, a copy into the project's own folder adds some: pages
  // localised before are localised again.
  if (op != SavedDataRequest::kCopy ||
      destination_base_.starts_with(store_.WorkFolder(project_name_))) {
    MirrorGeneration(store_.WorkFile(project_name_, kMirrorGenerationExtension), store_.Durable())
        .Changing();
  }

  LinkRecord first;
  first.folder_path = item->FolderPath();
  if (item->IsRecord()) {
    CUrl url;
    if (!item->URL() || !url.Parse(*item->URL())) return End();
    first.graph_max = std::max(0, doc_.Defaults().Resolve(*item, ItemOption::GraphMax));
    first.item_url = url.Text();
    first.url = url.Text();
    admission_ = std::make_unique<LinkAdmission>(doc_, ForbiddenUrls(*item->Root()), events_);
  } else {
    first.url = store_.MirrorRoot() + EscapeLocalName(first.folder_path) + "/";
  }
  FirstReach(first.url, first.depth, first.chain);
  if (!Collect(first)) return End();
  events_.Detected();
  return item->IsRecord() ? kMsgCollectUrl : kMsgCollectFolder;
}

unsigned SavedDataOperation::Step(unsigned message) {
  if (ended_) return 0;
  if (stop_) return End();
  std::lock_guard guard(store_.Lock());
  switch (message) {
    case kMsgCollectUrl:
      return CollectUrl();
    case kMsgOperateUrl:
      return OperateUrl();
    case kMsgCollectFolder:
      return CollectFolder();
    case kMsgOperateFolder:
      return OperateFolder();
    default:
      return End();
  }
}

bool SavedDataOperation::Collect(const LinkRecord& record) {
  if (collect_.Append(record)) return true;
  error_ = kListFailed;
  return false;
}

void SavedDataOperation::Report(const std::string& url, bool ok) {
  if (ok) {
    events_.Visited(url);
  } else {
    ++failures_;
    events_.Failed(url, 0);
  }
}

bool SavedDataOperation::FirstReach(const std::string& url, int32_t depth, int32_t chain) {
  std::vector<std::pair<int32_t, int32_t>>& reached = reached_[url];
  for (const auto& [d, c] : reached) {
    if (d <= depth && c <= chain) return false;
  }
  reached.emplace_back(depth, chain);
  return true;
}

unsigned SavedDataOperation::CollectUrl() {
  LinkRecord record;
  if (!collect_.PopFront(record)) return operations_.IsEmpty() ? End() : kMsgOperateUrl;
  CUrl url;
  if (!url.Parse(record.url)) return kMsgCollectUrl;
  if (queued_.insert(record.url).second && !operations_.Append(record)) {
    error_ = kListFailed;
    return End();
  }
  if (!store_.FindLocalCopy(record.url, record.folder_path).Exists()) return kMsgCollectUrl;
  events_.Handling(record.url);
  std::vector<PageLink> links;
  ReadStoredPageLinks(store_, record.url, record.folder_path, links);
  const bool kept = admission_->Admit(
      {&record}, links, LinkAdmission::kModeCollect,
      [this](const LinkRecord& admitted, const CUrl&) {
        // A URL already collected no deeper, with no longer a chain, leads to no file that its
        // first record does not lead to.
        return !FirstReach(admitted.url, admitted.depth, admitted.chain) || Collect(admitted);
      });
  return kept ? kMsgCollectUrl : End();
}

unsigned SavedDataOperation::OperateUrl() {
  LinkRecord record;
  if (!operations_.PopFront(record)) return End();
  events_.Handling(record.url);
  bool ok = true;
  const LocalCopy copy = store_.FindLocalCopy(record.url, record.folder_path);
  if (copy.Exists()) ok = ApplyToFile(copy.file);
  OperateRobotsTxt(record, ok);
  Report(record.url, ok);
  return kMsgOperateUrl;
}

void SavedDataOperation::OperateRobotsTxt(const LinkRecord& record, bool& ok) {
  const std::optional<std::string> robots_url = RobotsUrl(record.robots_url, record.url);
  if (!robots_url) return;
  const std::optional<std::string> name = store_.LocalPath(*robots_url, record.folder_path);
  if (!name || !robots_handled_.insert(*name).second) return;
  if (Exists(*name)) {
    ok = ApplyToFile(*name) && ok;
    return;
  }
  const std::string redirect_page = *name + ".html";
  if (!Exists(redirect_page)) return;
  // A moved robots.txt: its copy is stored under the name of the location it moved to.
  if (const std::optional<std::string> moved =
          MovedRobotsLocation(store_, *robots_url, record.folder_path)) {
    const std::optional<std::string> moved_name = store_.LocalPath(*moved, record.folder_path);
    if (moved_name && robots_handled_.insert(*moved_name).second && Exists(*moved_name)) {
      ok = ApplyToFile(*moved_name) && ok;
    }
  }
  ok = ApplyToFile(redirect_page) && ok;
}

unsigned SavedDataOperation::CollectFolder() {
  LinkRecord record;
  if (!collect_.PopFront(record)) return operations_.IsEmpty() ? End() : kMsgOperateFolder;
  events_.Handling(record.url);
  if (!operations_.Append(record)) {
    error_ = kListFailed;
    return End();
  }
  std::vector<std::string> folders, files;
  ListFolder(record.url, folders, files);
  for (const std::string& name : folders) {
    LinkRecord sub = record;
    sub.url = record.url + name + "/";
    if (!Collect(sub)) return End();
    events_.Detected();
  }
  return kMsgCollectFolder;
}

unsigned SavedDataOperation::OperateFolder() {
  LinkRecord record;
  if (!operations_.PopFront(record)) return End();
  events_.Handling(record.url);
  Report(record.url, ApplyToFolder(record.url));
  return kMsgOperateFolder;
}

bool SavedDataOperation::IsListFile(const std::string& folder, const std::string& name) const {
  if (folder != store_.WorkFolder(project_name_)) return false;
  for (std::string_view extension : kListExtensions) {
    if (name == project_name_ + std::string(extension)) return true;
  }
  return false;
}

bool SavedDataOperation::ApplyToFolder(const std::string& folder) {
  std::vector<std::string> folders, files;
  ListFolder(folder, folders, files);
  bool ok = true;
  if (request_.operation == SavedDataRequest::kCopy && Exists(folder)) {
    const std::optional<std::string> target = Target(folder);
    ok = target && MakeParentFolders(*target) == 0;
  }
  for (const std::string& name : files) {
    if (!IsListFile(folder, name)) ok = ApplyToFile(folder + name) && ok;
  }
  if (request_.operation != SavedDataRequest::kCopy)
    RemoveEmptyFolders(folder, store_.MirrorRoot());
  return ok;
}

std::optional<std::string> SavedDataOperation::Target(const std::string& path) const {
  if (!path.starts_with(source_base_)) return std::nullopt;
  return destination_base_ + path.substr(source_base_.size());
}

bool SavedDataOperation::ApplyToFile(const std::string& file) {
  if (!Exists(file)) return true;
  if (request_.operation == SavedDataRequest::kDelete) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) return false;
    RemoveEmptyFolders(FolderOf(file), store_.MirrorRoot());
    return true;
  }
  const std::optional<std::string> target = Target(file);
  if (!target || MakeParentFolders(*target) != 0) return false;
  if (request_.operation == SavedDataRequest::kCopy) {
    // A symbolic link is not followed out of the mirror.
    if (*target == file || !IsPlainFile(file)) return true;
    return ReplaceFileWithCopy(*target, file, MirrorReplacement(store_.Durable())) == 0;
  }
  if (::rename(file.c_str(), target->c_str()) != 0) {
    // Another file system: copy, then remove the original once the copy is complete.
    if (errno != EXDEV ||
        ReplaceFileWithCopy(*target, file, MirrorReplacement(store_.Durable())) != 0 ||
        ::unlink(file.c_str()) != 0) {
      return false;
    }
  }
  RemoveEmptyFolders(FolderOf(file), store_.MirrorRoot());
  return true;
}

unsigned SavedDataOperation::End() {
  DropLists();
  ended_ = true;
  return 0;
}

void SavedDataOperation::DropLists() {
  for (PatrolQueue* list : {&collect_, &operations_}) {
    if (!list->IsOpen()) continue;
    const std::string path = list->Path();
    list->Close();
    ::unlink(path.c_str());
  }
}

}  // namespace qlm

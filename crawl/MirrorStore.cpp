#include "crawl/MirrorStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "crawl/LocalPath.h"
#include "crawl/MirrorGeneration.h"
#include "crawl/StoredVariant.h"
#include "net/CUrl.h"

namespace qlm {

namespace {

int WriteResult(int error) {
  switch (error) {
    case 0:
      return MirrorStore::kStoreOk;
    case ENOTDIR:
    case EEXIST:
      return MirrorStore::kFolderFailed;
    default:
      return MirrorStore::kWriteFailed;
  }
}

}  // namespace

MirrorStore::MirrorStore(std::string mirror_root, std::recursive_mutex& lock, bool durable,
                         std::string staging_folder)
    : root_(std::move(mirror_root)), lock_(lock), durable_(durable) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
  if (!staging_folder.empty()) {
    if (staging_folder.back() != '/') staging_folder += '/';
    staging_ = staging_folder + std::string(kStagingName);
  }
}

std::string MirrorStore::WorkFolder(std::string_view project_name) const {
  return root_ + std::string(project_name) + "/";
}

std::string MirrorStore::WorkFile(std::string_view project_name, std::string_view extension) const {
  return WorkFolder(project_name) + std::string(project_name) + std::string(extension);
}

std::optional<std::string> MirrorStore::LocalPath(std::string_view url,
                                                  std::string_view folder_path) const {
  return qlm::LocalPath(root_, url, folder_path);
}

std::optional<std::string> MirrorStore::LocalPath(const CUrl& url,
                                                  std::string_view folder_path) const {
  return qlm::LocalPath(root_, url, folder_path);
}

void MirrorStore::RememberWrites() {
  std::lock_guard guard(lock_);
  std::lock_guard memo(memo_lock_);
  if (!written_) written_.emplace();
  remembering_ = true;
}

std::optional<FileTime> MirrorStore::Written(const std::string& file) const {
  {
    std::shared_lock memo(memo_lock_);
    if (written_) {
      if (const std::optional<FileTime> written = written_->Find(file)) return written;
      if (written_->InMadeFolder(file)) return std::nullopt;
    }
  }
  return RegularFileWritten(file);
}

std::optional<FileTime> MirrorStore::NoteWritten(const std::string& file,
                                                 std::optional<FileTime> time, bool wanted) const {
  if (!remembering_ && !wanted) return time;
  const std::optional<FileTime> written = time ? time : RegularFileWritten(file);
  if (!remembering_) return written;
  std::lock_guard memo(memo_lock_);
  if (written) {
    written_->Wrote(file, *written);
  } else {
    written_->Forget(file);
  }
  return written;
}

void MirrorStore::NoteMadeFolders(const std::vector<std::string>& folders) const {
  if (!remembering_ || folders.empty()) return;
  std::lock_guard memo(memo_lock_);
  for (const std::string& folder : folders) written_->MadeFolder(folder);
}

void MirrorStore::NoteRemoved(const std::string& file) const {
  std::lock_guard memo(memo_lock_);
  if (written_) written_->Forget(file);
}

LocalCopy MirrorStore::FindLocalCopy(std::string_view url, std::string_view folder_path) const {
  CUrl parsed;
  if (!parsed.Parse(url)) return {};
  return FindLocalCopy(parsed, folder_path);
}

LocalCopy MirrorStore::FindLocalCopy(const CUrl& url, std::string_view folder_path) const {
  LocalCopy copy;
  FindLocalCopy(url, folder_path, copy);
  return copy;
}

void MirrorStore::FindLocalCopy(const CUrl& url, std::string_view folder_path,
                                LocalCopy& copy) const {
  copy.cls = LocalCopy::kNone;
  copy.suffix.clear();
  copy.written = {};
  // The name goes into the copy's file, which is emptied again when nothing is found.
  std::string& name = copy.file;
  if (!AssignLocalPath(name, root_, url, folder_path)) return;
  const std::size_t length = name.size();
  for (std::string_view variant : StoredVariantsOf(url)) {
    name.resize(length);
    name.append(variant);
    if (const std::optional<FileTime> written = Written(name)) {
      copy.cls = LocalCopy::kStored;
      copy.suffix = variant;
      copy.written = *written;
      return;
    }
  }
  name.clear();
}

std::optional<LocalCopy> MirrorStore::WrittenSince(std::string_view url,
                                                   std::string_view folder_path,
                                                   FileTime since) const {
  std::lock_guard guard(lock_);
  LocalCopy copy = FindLocalCopy(url, folder_path);
  if (!copy.Exists() || copy.written <= since) return std::nullopt;
  return copy;
}

bool MirrorStore::FileWrittenSince(const std::string& path, FileTime since) const {
  std::optional<FileTime> written;
  {
    std::shared_lock memo(memo_lock_);
    if (written_) written = written_->Find(path);
  }
  if (!written) written = LastWriteTime(path);
  return written && *written > since;
}

bool MirrorStore::RemembersWritingSince(const CUrl& url, std::string_view folder_path,
                                        FileTime since) const {
  if (!remembering_ || HasStoredVariants(url)) return false;
  thread_local std::string name;
  if (!AssignLocalPath(name, root_, url, folder_path)) return false;
  std::shared_lock memo(memo_lock_);
  const std::optional<FileTime> written = written_->Find(name);
  return written && *written > since;
}

void MirrorStore::AddingTo(const std::string& file) const {
  if (generation_ && !Written(file)) generation_->Changing();
}

void MirrorStore::RemoveOtherVariants(const CUrl& url, const std::string& name,
                                      std::string_view keep) const {
  // The bare name of a URL with variants may be a folder of the same name: unlink leaves it.
  for (std::string_view variant : StoredVariantsOf(url)) {
    if (variant == keep) continue;
    const std::string file = name + std::string(variant);
    if (generation_ && Written(file)) generation_->Changing();
    ::unlink(file.c_str());
    NoteRemoved(file);
  }
}

int MirrorStore::StoreFile(const std::string& source, std::string_view storage_url,
                           std::string_view folder_path, std::string_view suffix,
                           std::string* stored, bool* source_left,
                           std::optional<FileTime> source_written,
                           std::optional<FileTime>* written) const {
  if (source_left) *source_left = true;
  std::lock_guard guard(lock_);
  CUrl parsed;
  if (!parsed.Parse(storage_url)) return kNoLocalName;
  const std::optional<std::string> name = LocalPath(parsed, folder_path);
  if (!name) return kNoLocalName;
  std::string file = *name + std::string(suffix);
  if (!LocalNameFits(file)) return kNoLocalName;
  AddingTo(file);
  bool swapped = false;
  std::vector<std::string> made;
  int error = MoveIntoPlace(source, file, false, &swapped, &made);
  NoteMadeFolders(made);
  if (error == 0 && source_left) *source_left = swapped;
  if (error == EXDEV) {
    source_written.reset();  // a copy is written now
    error = ReplaceFileWithCopy(file, source, MirrorReplacement(false));
  }
  if (error == ENOENT) return kSourceFailed;  // the folders were made: the source is missing
  if (error != 0) return WriteResult(error);
  const std::optional<FileTime> time = NoteWritten(file, source_written, written != nullptr);
  if (written) *written = time;
  if (HasStoredVariants(parsed)) RemoveOtherVariants(parsed, *name, suffix);
  if (stored) *stored = std::move(file);
  return kStoreOk;
}

int MirrorStore::MoveToVariant(std::string_view url, std::string_view folder_path,
                               std::string_view suffix) const {
  std::lock_guard guard(lock_);
  CUrl parsed;
  if (!parsed.Parse(url)) return kNoLocalName;
  const std::optional<std::string> name = LocalPath(parsed, folder_path);
  if (!name) return kNoLocalName;
  const std::string file = *name + std::string(suffix);
  if (!LocalNameFits(file)) return kNoLocalName;
  if (generation_) generation_->Changing();
  if (::rename(name->c_str(), file.c_str()) != 0) {
    return errno == ENOENT ? kSourceFailed : kWriteFailed;
  }
  NoteRemoved(*name);
  NoteWritten(file);
  RemoveOtherVariants(parsed, *name, suffix);
  return kStoreOk;
}

int MirrorStore::WritePermissiveRobotsTxt(std::string_view robots_url,
                                          std::string_view folder_path) const {
  const std::optional<std::string> name = LocalPath(robots_url, folder_path);
  if (!name) return kNoLocalName;
  return ReplaceWithBytes(*name, kPermissiveRobotsTxt);
}

std::string MirrorStore::RedirectPage(std::string_view location) {
  std::string page =
      "<html>\r\n"
      "<head><title>Redirect</title></head>\r\n"
      "<body>\r\n"
      "<a href=\"";
  for (char c : location) {
    if (c == '"') {
      page += "%22";
    } else {
      page += c;
    }
  }
  page +=
      "\">Requested object is moved</a><br><br>\r\n"
      "Generated by Quillmere<br>\r\n"
      "</body>\r\n"
      "</html>\r\n";
  return page;
}

bool MirrorStore::SameLocalName(std::string_view url, std::string_view other,
                                std::string_view folder_path) const {
  const std::optional<std::string> local = LocalPath(url, folder_path);
  return local && local == LocalPath(other, folder_path);
}

int MirrorStore::WriteRedirectPage(std::string_view url, std::string_view folder_path,
                                   std::string_view location, bool append_html) const {
  CUrl parsed;
  if (!parsed.Parse(url)) return kNoLocalName;
  std::optional<std::string> local = LocalPath(parsed, folder_path);
  if (!local) return kNoLocalName;
  if (local == LocalPath(location, folder_path)) return kStoreOk;
  std::string& name = *local;
  // A redirect page is a page: under a page's variant where its URL wants one, so that a browser
  // opens it as one.
  const std::string_view variant =
      append_html ? std::string_view(".html") : ExpectedVariantOf(parsed);
  name += variant;
  if (!LocalNameFits(name)) return kNoLocalName;
  const int result = ReplaceWithBytes(name, RedirectPage(location));
  if (result == kStoreOk && !append_html && HasStoredVariants(parsed)) {
    RemoveOtherVariants(parsed, name.substr(0, name.size() - variant.size()), variant);
  }
  return result;
}

int MirrorStore::ReplaceWithBytes(const std::string& file, std::string_view bytes, bool replacing,
                                  std::optional<FileTime>* written) const {
  std::lock_guard guard(lock_);
  if (!replacing) AddingTo(file);
  int error = 0;
  std::optional<FileTime> time;
  if (!staging_.empty()) {
    error = ReplaceFileVia(staging_, file, bytes, replacing, &time);
  } else {
    error = ReplaceFileWithBytes(file, bytes, MirrorReplacement(false));
    if (error == ENOENT) {
      error = MakeParentFolders(file);
      if (error == 0) error = ReplaceFileWithBytes(file, bytes, MirrorReplacement(false));
    }
  }
  if (error == 0) time = NoteWritten(file, time, written != nullptr);
  if (written) *written = error == 0 ? time : std::nullopt;
  return WriteResult(error);
}

int MirrorStore::ReplaceWithBytesVia(const std::string& staging, const std::string& file,
                                     std::string_view bytes, bool replacing,
                                     std::optional<FileTime>* written) const {
  if (staging.empty()) return ReplaceWithBytes(file, bytes, replacing, written);
  if (!replacing) AddingTo(file);
  std::optional<FileTime> time;
  const int error = ReplaceFileVia(staging, file, bytes, replacing, &time);
  if (error == 0) time = NoteWritten(file, time, written != nullptr);
  if (written) *written = error == 0 ? time : std::nullopt;
  return WriteResult(error);
}

std::optional<FileTime> MirrorStore::Touch(const std::string& file) const {
  std::lock_guard guard(lock_);
  if (::utimensat(AT_FDCWD, file.c_str(), nullptr, 0) != 0) return std::nullopt;
  return NoteWritten(file, std::nullopt, true);
}

}  // namespace qlm

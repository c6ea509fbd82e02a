#include "crawl/PageLocalizer.h"

#include "crawl/LocalPath.h"
#include "crawl/MirrorStore.h"
#include "crawl/StoredVariant.h"
#include "net/CUrl.h"

namespace qlm {

namespace {

// A local name may hold "#" (from a query); in a link it would start the fragment.
std::string EscapeForLink(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    if (c == '#') {
      out += "%23";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int PageLocalizer::Localize(std::string_view page_url, std::string_view folder_path,
                            int localize_link, FileTime phase_start, std::string_view stored_as,
                            Outcome* outcome, const std::optional<StoredBytes>& localized_as) {
  // No lock is held for the whole page: nobody else writes it meanwhile (localisers running side
  // by side never get the same page).
  CUrl storage;
  if (!storage.Parse(stored_as.empty() ? page_url : stored_as)) return kNoLocalCopy;
  const LocalCopy copy = store_.FindLocalCopy(storage, folder_path);
  if (!copy.Exists()) return kNoLocalCopy;
  if (copy.written > phase_start) return kAlreadyLocalized;
  std::unique_lock<std::mutex> large_page;
  std::string page;
  const auto take_turn = [&](std::size_t size) {
    if (large_page_lock_ && size >= kLargePage) large_page = std::unique_lock(*large_page_lock_);
  };
  if (!ReadWholeFile(copy.file, page, nullptr, take_turn)) return kUnreadable;
  // A page that holds what the pass left in it while the mirror held the copies it holds now
  // would come out as it is.
  const bool hashed = outcome || localized_as;
  const StoredBytes read = hashed ? StoredBytes::Of(page) : StoredBytes{};
  if (outcome) {
    outcome->read = outcome->written = read;
    outcome->after.reset();
  }
  if (localized_as && read == *localized_as) return kLocalized;
  const std::optional<std::string> location = store_.LocalPath(storage, folder_path);
  if (!location) return kNoLocalCopy;
  const bool style_sheet = StoredContentOf(storage, copy.suffix) == StoredContent::kStyleSheet;
  const std::string rewritten =
      style_sheet ? RewriteStyleSheet(page_url, *location, folder_path, localize_link, page)
                  : Rewrite(page_url, *location, folder_path, localize_link, page);
  // A page rewritten as it stands (the same patrol of an unchanged site) is left alone: its time
  // and the mirror stay as they are.
  if (rewritten == page) return kLocalized;
  std::optional<FileTime> written;
  if (store_.ReplaceWithBytesVia(staging_, copy.file, rewritten, true, &written) !=
      MirrorStore::kStoreOk) {
    return kRewriteFailed;
  }
  if (outcome) {
    outcome->written = StoredBytes::Of(rewritten);
    outcome->file = copy.file;
    outcome->before = copy.written;
    outcome->after = written;
  }
  return kLocalized;
}

std::string PageLocalizer::Rewrite(std::string_view page_url, std::string_view page_location,
                                   std::string_view folder_path, int localize_link,
                                   std::string_view page) {
  Begin(page_location, folder_path, localize_link);
  return scanner_.Copy(page_url, page, *this);
}

std::string PageLocalizer::RewriteStyleSheet(std::string_view sheet_url,
                                             std::string_view sheet_location,
                                             std::string_view folder_path, int localize_link,
                                             std::string_view sheet) {
  Begin(sheet_location, folder_path, localize_link);
  return scanner_.CopyStyleSheet(sheet_url, sheet, *this);
}

void PageLocalizer::Begin(std::string_view location, std::string_view folder_path,
                          int localize_link) {
  page_location_.assign(location);
  folder_path_.assign(folder_path);
  localize_link_ = localize_link;
}

std::string PageLocalizer::RewriteLink(const PageScanner& scanner, const std::string& value) {
  if (value.empty() || value[0] == '#') return value;
  CUrl parsed;
  if (!scanner.ResolveLink(value, parsed)) return value;
  const std::string& absolute = parsed.Text();
  LocalCopy& target = target_;
  store_.FindLocalCopy(parsed, folder_path_, target);
  if (!target.Exists() && localize_link_ == 0) return absolute;
  // A stored copy's file is its local name followed by its variant suffix; a target not stored
  // is pointed at where it would be stored.
  if (!target.Exists()) {
    if (!AssignLocalPath(target.file, store_.MirrorRoot(), parsed, folder_path_)) return absolute;
    target.suffix = ExpectedVariantOf(parsed);
    target.file += target.suffix;
  }
  const std::string_view name =
      std::string_view(target.file).substr(0, target.file.size() - target.suffix.size());
  // The variant suffix belongs to the file name, so it goes before the fragment.
  std::string local = EscapeForLink(name) + target.suffix;
  if (parsed.Fragment()) local += "#" + *parsed.Fragment();
  const std::optional<std::string> relative = RelativePath(page_location_, local);
  return relative ? *relative : absolute;
}

}  // namespace qlm

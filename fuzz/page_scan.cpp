// Feeds arbitrary pages to the link scanner and the link rewriter. Every link found must be an
// http or file URL of a known kind whose local name stays below the mirror root, and a rewritten
// page rewritten again must not change.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "crawl/LocalPath.h"
#include "crawl/MirrorStore.h"
#include "crawl/PageLocalizer.h"
#include "crawl/PageScanner.h"
#include "net/CUrl.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A root that does not exist: nothing is stored, so the rewriter works from local names alone.
const std::string kRoot = "/nonexistent-quillmere-fuzz/";

void CheckUnderRoot(const std::string& local) {
  Check(local.starts_with(kRoot) && local.find('\0') == std::string::npos);
  std::size_t start = kRoot.size();
  while (start <= local.size()) {
    std::size_t end = local.find('/', start);
    if (end == std::string::npos) end = local.size();
    const std::string_view component = std::string_view(local).substr(start, end - start);
    Check(component != "." && component != "..");
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr std::array<const char*, 6> kPageUrls = {
      "http://h/a/b/page.html", "http://h:8080/",          "http://h/a/q.cgi?x=1",
      "file://h/d/p.html",      "https://h/a/b/page.html", "https://h:8443/"};
  FuzzedDataProvider input(data, size);
  const std::string page_url =
      kPageUrls[input.ConsumeIntegralInRange<std::size_t>(0, kPageUrls.size() - 1)];
  const std::string folder = input.ConsumeRandomLengthString(16);
  const std::string page = input.ConsumeRemainingBytesAsString();

  qlm::PageScanner scanner;
  std::vector<qlm::PageLink> links;
  std::string title;
  scanner.ScanBytes(page_url, page, links, title);
  for (const qlm::PageLink& link : links) {
    Check(qlm::IsPageLinkKind(link.kind) || qlm::IsEmbeddedLinkKind(link.kind) ||
          link.kind == qlm::kLinkImageMap);
    Check(link.kind != qlm::kLinkRedirect && link.kind != qlm::kLinkStyleImport);
    qlm::CUrl url;
    Check(url.Parse(link.url) && url.Text() == link.url);
    if (const auto local = qlm::LocalPath(kRoot, link.url, folder)) CheckUnderRoot(*local);
  }

  static std::recursive_mutex lock;
  static const qlm::MirrorStore store(kRoot, lock, false);
  qlm::PageLocalizer localizer(store);
  const auto location = store.LocalPath(page_url, folder);
  if (!location) return 0;
  const std::string once = localizer.Rewrite(page_url, *location, folder, 1, page);
  const std::string twice = localizer.Rewrite(page_url, *location, folder, 1, once);
  Check(once == twice);
  return 0;
}

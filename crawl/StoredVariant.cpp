#include "crawl/StoredVariant.h"

#include <array>
#include <string>

#include "crawl/LocalPath.h"
#include "net/CHttpHeaders.h"
#include "net/CUrl.h"

namespace qlm {

namespace {

constexpr std::array<std::string_view, 1> kBareOnly{""};
// A page-type URL may also answer with a style sheet or a script ("/theme?v=2").
constexpr std::array<std::string_view, 4> kPageVariants{kHtmlVariant, kCssVariant, kJsVariant, ""};
constexpr std::array<std::string_view, 2> kCssVariants{kCssVariant, ""};
constexpr std::array<std::string_view, 2> kJsVariants{kJsVariant, ""};

bool EndsWithNoCase(std::string_view text, std::string_view lower_end) {
  if (text.size() < lower_end.size()) return false;
  const std::string_view tail = text.substr(text.size() - lower_end.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_end[i]) return false;
  }
  return true;
}

// How the URL's bare local name ends: with its query when it has one, else its file name.
std::string_view NameEnd(const CUrl& url) {
  if (url.Query()) return *url.Query();
  if (url.FileName()) return *url.FileName();
  return "index.html";
}

enum class Want { kNone, kPage, kCss, kJs };

Want WantedVariant(const CUrl& url) {
  const int type = url.FileType();
  if (type == kFileTypeCgi) return Want::kNone;
  const std::string_view end = NameEnd(url);
  if (type == kFileTypeNone || type == kFileTypeHtml) {
    return EndsWithNoCase(end, ".html") || EndsWithNoCase(end, ".htm") ? Want::kNone : Want::kPage;
  }
  if (!url.Extension()) return Want::kNone;
  const std::string& extension = *url.Extension();
  if (extension == "css") return EndsWithNoCase(end, ".css") ? Want::kNone : Want::kCss;
  if (extension == "js" || extension == "mjs") {
    return EndsWithNoCase(end, ".js") || EndsWithNoCase(end, ".mjs") ? Want::kNone : Want::kJs;
  }
  return Want::kNone;
}

bool IsScriptSubtype(std::string_view subtype) {
  return subtype == "JAVASCRIPT" || subtype == "X-JAVASCRIPT" || subtype == "ECMASCRIPT";
}

}  // namespace

std::span<const std::string_view> StoredVariantsOf(const CUrl& url) {
  if (url.FileType() == kFileTypeCgi) return kCgiVariants;
  switch (WantedVariant(url)) {
    case Want::kPage:
      return kPageVariants;
    case Want::kCss:
      return kCssVariants;
    case Want::kJs:
      return kJsVariants;
    case Want::kNone:
      break;
  }
  return kBareOnly;
}

bool HasStoredVariants(const CUrl& url) {
  return StoredVariantsOf(url).size() > 1;
}

std::string_view BrowserVariantFor(const CUrl& url, int media_type,
                                   std::string_view media_subtype) {
  // A style sheet or script is stored as one whatever its reply says; a page-type URL as what
  // its reply is.
  if (WantedVariant(url) != Want::kPage) return ExpectedVariantOf(url);
  if (media_type == kMediaText && media_subtype == "CSS") return kCssVariant;
  if ((media_type == kMediaText || media_type == kMediaApplication) &&
      IsScriptSubtype(media_subtype)) {
    return kJsVariant;
  }
  if (media_type == kMediaUnknown || (media_type == kMediaText && media_subtype == "HTML") ||
      (media_type == kMediaApplication && media_subtype == "XHTML+XML")) {
    return kHtmlVariant;
  }
  return "";
}

std::string_view ExpectedVariantOf(const CUrl& url) {
  // The first variant a lookup tries is the one the URL's name asks for.
  return url.FileType() == kFileTypeCgi ? std::string_view() : StoredVariantsOf(url).front();
}

StoredContent StoredContentOf(const CUrl& url, std::string_view suffix) {
  if (suffix == kHtmlVariant) return StoredContent::kPage;
  if (suffix == kCssVariant) return StoredContent::kStyleSheet;
  if (!suffix.empty()) return StoredContent::kOther;
  const int type = url.FileType();
  if (type == kFileTypeNone || type == kFileTypeHtml) return StoredContent::kPage;
  if (type == kFileTypeOther && url.Extension() && *url.Extension() == "css") {
    return StoredContent::kStyleSheet;
  }
  return StoredContent::kOther;
}

}  // namespace qlm

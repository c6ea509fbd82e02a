#pragma once

#include <span>
#include <string_view>

namespace qlm {

class CUrl;

// A browser takes the type of a local file from the end of its name. A stored page, style sheet or
// script whose local name does not end as one (a query URL, a path without an extension) is kept
// under its local name followed by a variant suffix that does, as the output of a cgi URL is:
//
//   http://h/search.html?q=x   -> .../h/search.html[3fq=x[3f.html
//   http://h/about             -> .../h/about[3f.html
//   http://h/s/theme.css?2022  -> .../h/s/theme.css[3f2022[3f.css
//   http://h/s/app.js?v=3      -> .../h/s/app.js[3fv=3[3f.js
//
// The bare local name stays a candidate of lookups, last: earlier patrols stored such URLs under
// it, and a reply that is none of the three (a picture from an extensionless URL) is stored so.

inline constexpr std::string_view kHtmlVariant = "[3f.html";
inline constexpr std::string_view kCssVariant = "[3f.css";
inline constexpr std::string_view kJsVariant = "[3f.js";

// The suffixes under which a URL's copy may be stored, in the order lookups try them: a cgi URL's
// kCgiVariants; for a URL that wants a variant, the variant(s) and then "" (the bare name); for
// any other URL only "".
std::span<const std::string_view> StoredVariantsOf(const CUrl& url);

// True when a URL's copy may lie under more than one name (StoredVariantsOf has more than one).
bool HasStoredVariants(const CUrl& url);

// The suffix a reply of this media type (HttpMediaType and the upper-cased subtype) is stored
// under, for a URL that is no cgi URL: a page's variant for an HTML reply (or one without a type),
// the style sheet's or script's for those, "" for the rest and for URLs that want no variant.
std::string_view BrowserVariantFor(const CUrl& url, int media_type, std::string_view media_subtype);

// The suffix a URL would be stored under when it answers as its name says: where a link to a
// URL not stored (yet) points. "" for cgi URLs, whose kind of output is not known beforehand.
std::string_view ExpectedVariantOf(const CUrl& url);

// What a stored copy holds for the reading of its links: a page (file type none or html, or a
// page variant), a style sheet (extension css, or the style-sheet variant), or neither.
enum class StoredContent { kOther, kPage, kStyleSheet };
StoredContent StoredContentOf(const CUrl& url, std::string_view suffix);

}  // namespace qlm

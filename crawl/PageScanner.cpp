#include "crawl/PageScanner.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "crawl/CssScanner.h"
#include "crawl/DistinctLinks.h"
#include "crawl/HtmlKeyword.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorFiles.h"
#include "crawl/StoredVariant.h"
#include "net/CUrl.h"
#include "net/FindAnyOf.h"
#include "net/UrlReference.h"

namespace qlm {

namespace {

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsTokenEnd(unsigned char c) {
  return IsBlank(c) || c == '=' || c == '"' || c == '\'' || c == '>';
}

char AsciiUpper(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

std::string AsciiUpper(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) out += AsciiUpper(c);
  return out;
}

bool IsAsciiAlpha(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

// "name:" at the start of the text, where the name is a scheme as URLs spell them (a letter, then
// letters, digits, "+", "-", "."). Such a link names its own scheme and is never a relative path.
bool HasScheme(std::string_view text) {
  if (text.empty() || !IsAsciiAlpha(static_cast<unsigned char>(text[0]))) return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == ':') return true;
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

// The character references that stand for ASCII characters in an attribute value ("&amp;" in
// "list.php?a=1&amp;b=2", "&#38;", "&#x26;"), decoded as browsers read links. References to other
// characters, and texts that are no reference ("&b=2", "&amp" without its ";"), stay as written.
// The scheme and ":" that a link without one takes from its page.
std::string SchemePrefix(const CUrl& base) {
  switch (base.Scheme()) {
    case kSchemeFile:
      return "file:";
    case kSchemeHttps:
      return "https:";
    default:
      return "http:";
  }
}

std::string DecodeCharacterReferences(std::string_view value) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '&') {
      out += value[i];
      continue;
    }
    const std::string_view rest = value.substr(i + 1);
    std::size_t taken = 0;
    char decoded = 0;
    for (const auto& [name, c] : kNamed) {
      if (rest.starts_with(name)) {
        taken = name.size();
        decoded = c;
      }
    }
    if (taken == 0 && rest.starts_with('#')) {
      const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
      const char* digits = rest.data() + (hex ? 2 : 1);
      const char* const end_of_rest = rest.data() + rest.size();
      unsigned code = 0;
      const auto [end, error] = std::from_chars(digits, end_of_rest, code, hex ? 16 : 10);
      if (error == std::errc() && end != digits && end != end_of_rest && *end == ';' && code > 0 &&
          code < 0x80) {
        taken = static_cast<std::size_t>(end - rest.data()) + 1;
        decoded = static_cast<char>(code);
      }
    }
    if (taken == 0) {
      out += '&';
      continue;
    }
    out += decoded;
    i += taken;
  }
  return out;
}

// A title as a reader sees it: references decoded, blanks and line ends around it dropped and
// every run of them inside it one blank ("<title>\n  News &amp; Events\n</title>").
std::string TitleText(std::string_view raw) {
  const std::string decoded =
      raw.find('&') == std::string_view::npos ? std::string(raw) : DecodeCharacterReferences(raw);
  std::string text;
  text.reserve(decoded.size());
  bool blank = false;
  for (char c : decoded) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      blank = !text.empty();
      continue;
    }
    if (blank) text += ' ';
    blank = false;
    text += c;
  }
  return text;
}

// Local names write "%" as "["; turning the brackets back makes their escapes URL escapes again.
std::string BracketsToPercent(std::string_view link) {
  std::string out;
  out.reserve(link.size());
  for (std::size_t i = 0; i < link.size(); ++i) {
    if (IsShiftJisPairAt(link, i)) {
      out += link.substr(i++, 2);
    } else {
      out += link[i] == '[' ? '%' : link[i];
    }
  }
  return out;
}

// A stored variant suffix as it reads once it has been turned back into a URL: the "[3f" has
// become an escaped "?" inside the query, or the "?" that starts it. A link to a fragment of the
// page carries the fragment behind the variant. `variant` receives the suffix found.
template <typename Variants>
bool EndsWithVariant(std::string_view url, std::size_t query, std::size_t& cut,
                     const Variants& variants, std::string_view& variant) {
  for (std::string_view candidate : variants) {
    const std::string_view extension = candidate.substr(3);  // ".html", ".jpg", ...
    for (std::string_view mark : {std::string_view("%3f"), std::string_view("?")}) {
      const std::size_t length = mark.size() + extension.size();
      if (url.size() < length || url.size() - length < query) continue;
      const std::size_t at = url.size() - length;
      if (url.substr(at, mark.size()) == mark && url.substr(at + mark.size()) == extension) {
        cut = at;
        variant = candidate;
        return true;
      }
    }
  }
  return false;
}

template <typename Variants>
bool CutVariant(std::string& url, const Variants& variants, std::string_view& variant) {
  const std::size_t query = url.find('?');
  if (query == std::string::npos) return false;
  std::size_t cut = 0;
  if (EndsWithVariant(url, query, cut, variants, variant)) {
    url.resize(cut);
    return true;
  }
  // The fragment starts at the first "#" behind the variant; the fragment itself may hold more
  // (its escapes are decoded by then).
  for (std::size_t hash = url.find('#', query); hash != std::string::npos;
       hash = url.find('#', hash + 1)) {
    if (EndsWithVariant(std::string_view(url).substr(0, hash), query, cut, variants, variant)) {
      url.erase(cut, hash - cut);
      return true;
    }
  }
  return false;
}

constexpr std::array<std::string_view, 3> kBrowserVariants{kHtmlVariant, kCssVariant, kJsVariant};

// Takes the stored variant off a URL read back from a relative link of a rewritten page, so that
// the link names the URL again: a cgi URL's output variant, or the variant a page, style sheet or
// script is stored under (only where the URL without it wants that variant: a real query that
// ends in "?.css" stays). False when what is left does not parse.
bool CutStoredVariant(CUrl& url) {
  const bool cgi = url.FileType() == kFileTypeCgi;
  if (!cgi && !url.Query()) return true;  // a variant read back always holds a "?"
  std::string_view variant;
  std::string cut = url.Text();
  if (cgi) return !CutVariant(cut, kCgiVariants, variant) || url.Parse(cut);
  if (!CutVariant(cut, kBrowserVariants, variant)) return true;
  CUrl shorter;
  if (!shorter.Parse(cut)) return true;
  if (std::ranges::find(StoredVariantsOf(shorter), variant) == StoredVariantsOf(shorter).end()) {
    return true;
  }
  url = std::move(shorter);
  return true;
}

int ParseDecimal(const std::string& text) {
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// What an attribute of a tag is to the scanner: the link kind it gives, or one of the roles
// below, or 0 when it is passed over. STYLE is read in every tag; a LINK's HREF is a link only
// for the RELs of LinkRelKind, an INPUT's SRC only for TYPE image.
constexpr int kBaseHref = -1;
constexpr int kRelValue = -2;
constexpr int kTypeValue = -3;
int AttributeRole(int tag, int attribute) {
  if (attribute == kHtmlStyle) return kLinkStyleUrl;
  switch (tag) {
    case kHtmlA:
      return attribute == kHtmlHref ? kLinkAnchor : 0;
    case kHtmlArea:
      return attribute == kHtmlHref ? kLinkArea : 0;
    case kHtmlBase:
      return attribute == kHtmlHref ? kBaseHref : 0;
    case kHtmlBody:
      return attribute == kHtmlBackground ? kLinkBackground : 0;
    case kHtmlFrame:
    case kHtmlIframe:
      return attribute == kHtmlSrc ? kLinkFrame : 0;
    case kHtmlImg:
      return attribute == kHtmlSrc      ? kLinkImage
             : attribute == kHtmlUsemap ? kLinkImageMap
             : attribute == kHtmlSrcset ? kLinkSrcset
                                        : 0;
    case kHtmlLink:
      return attribute == kHtmlHref ? kLinkStyleSheet : attribute == kHtmlRel ? kRelValue : 0;
    case kHtmlScript:
      return attribute == kHtmlSrc ? kLinkScript : 0;
    case kHtmlSource:
      return attribute == kHtmlSrc ? kLinkMedia : attribute == kHtmlSrcset ? kLinkSrcset : 0;
    case kHtmlVideo:
      return attribute == kHtmlSrc || attribute == kHtmlPoster ? kLinkMedia : 0;
    case kHtmlAudio:
    case kHtmlTrack:
      return attribute == kHtmlSrc ? kLinkMedia : 0;
    case kHtmlInput:
      return attribute == kHtmlSrc ? kLinkObject : attribute == kHtmlType ? kTypeValue : 0;
    case kHtmlEmbed:
      return attribute == kHtmlSrc ? kLinkObject : 0;
    case kHtmlObject:
      return attribute == kHtmlData ? kLinkObject : 0;
    case kHtmlTable:
    case kHtmlTd:
    case kHtmlTh:
      return attribute == kHtmlBackground ? kLinkCellBackground : 0;
    default:
      return 0;
  }
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The kind of a LINK's HREF for its REL (blank-separated words in any case): a style sheet, a
// file the page shows or loads early, or no link at all (alternate pages, feeds, canonical URLs).
int LinkRelKind(std::string_view rel) {
  int kind = 0;
  const std::string lower = AsciiLower(rel);
  std::size_t i = 0;
  while (i < lower.size()) {
    while (i < lower.size() && IsBlank(static_cast<unsigned char>(lower[i]))) ++i;
    std::size_t end = i;
    while (end < lower.size() && !IsBlank(static_cast<unsigned char>(lower[end]))) ++end;
    const std::string_view word = std::string_view(lower).substr(i, end - i);
    if (word == "stylesheet") return kLinkStyleSheet;
    if (word == "icon" || word == "apple-touch-icon" || word == "apple-touch-icon-precomposed" ||
        word == "preload" || word == "modulepreload") {
      kind = kLinkHeadResource;
    }
    i = end;
  }
  return kind;
}

// The bytes kept of a value: SRCSET and STYLE values hold many links and run long.
std::size_t ValueCap(int role) {
  return role == kLinkSrcset || role == kLinkStyleUrl ? PageScanner::kMaxListValue
                                                      : PageScanner::kMaxValue;
}

// The URLs of a SRCSET value as offsets into it: candidates are separated by commas; a URL runs
// to a blank (a comma that ends it belongs to the separator), its descriptors ("2x", "480w") to
// the next comma outside parentheses.
std::vector<std::pair<std::size_t, std::size_t>> SrcsetUrls(std::string_view value) {
  std::vector<std::pair<std::size_t, std::size_t>> urls;
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (IsBlank(static_cast<unsigned char>(value[i])) || value[i] == ','))
      ++i;
    if (i >= value.size()) break;
    const std::size_t start = i;
    while (i < value.size() && !IsBlank(static_cast<unsigned char>(value[i]))) ++i;
    std::size_t end = i;
    bool descriptors = true;
    if (value[end - 1] == ',') {
      while (end > start && value[end - 1] == ',') --end;
      descriptors = false;
    }
    if (end > start) urls.emplace_back(start, end);
    if (descriptors) {
      int depth = 0;
      while (i < value.size() && (value[i] != ',' || depth > 0)) {
        if (value[i] == '(') ++depth;
        if (value[i] == ')' && depth > 0) --depth;
        ++i;
      }
    }
  }
  return urls;
}

// Text for a double-quoted attribute value: its double quotes as references, and, for a link
// written anew, its "&" as well, so that reading it back (which decodes references) gives the
// same link. A value kept as it stands keeps its "&".
void AppendAttributeText(std::string& out, std::string_view text, bool written_anew) {
  for (char b : text) {
    if (b == '"') {
      out.append("&quot;");
    } else if (b == '&' && written_anew) {
      out.append("&amp;");
    } else {
      out.push_back(b);
    }
  }
}

// Where the raw text of a STYLE or SCRIPT element ends: the "<" of its end tag, found in any
// letter case, or the end of the page.
std::size_t RawTextEnd(std::string_view page, std::size_t from, std::string_view end_tag) {
  for (std::size_t at = page.find('<', from); at != std::string_view::npos;
       at = page.find('<', at + 1)) {
    if (page.size() - at >= end_tag.size() &&
        AsciiUpper(page.substr(at, end_tag.size())) == end_tag) {
      return at;
    }
  }
  return page.size();
}

}  // namespace

bool PageScanner::Scan(std::string_view page_url, const std::string& file_name,
                       std::vector<PageLink>& links, std::string& title) {
  std::string page;
  if (!ReadWholeFile(file_name, page)) {
    Begin(page_url, {});
    error_ = kScanUnreadable;
    return false;
  }
  ScanBytes(page_url, page, links, title);
  return true;
}

void PageScanner::ScanBytes(std::string_view page_url, std::string_view page,
                            std::vector<PageLink>& links, std::string& title) {
  Begin(page_url, page);
  links_ = &links;
  Run();
  links_ = nullptr;
  title = title_;
}

std::string PageScanner::Copy(std::string_view page_url, std::string_view page,
                              LinkRewriter& rewriter) {
  // The copy is the page with its links rewritten, which rarely grows it by more than a few per
  // cent (a large page of relative links: under 1 %). Outgrowing its room would move it into one
  // twice as large, the page and two copies held at once for the largest page of a site, so the
  // room has an eighth to spare; what of it stays unused is never touched.
  std::string out;
  out.reserve(page.size() + page.size() / 8 + kVersionElement.size() + 4096);
  Begin(page_url, page);
  copy_ = true;
  out_ = &out;
  rewriter_ = &rewriter;
  Run();
  if (!head_seen_) out.insert(version_fallback_, kVersionElement);
  copy_ = false;
  out_ = nullptr;
  rewriter_ = nullptr;
  return out;
}

void PageScanner::Begin(std::string_view page_url, std::string_view page) {
  data_ = page;
  pos_ = 0;
  c_ = 0;
  eof_ = false;
  page_url_.assign(page_url);
  base_url_.clear();
  base_ok_ = base_.Parse(page_url_);
  token_.clear();
  value_.clear();
  tag_start_ = 0;
  title_start_.reset();
  title_.clear();
  // The mark is the page's: a page this program rewrote carries its version element where its HEAD
  // begins, which may come after links (a page that has them before its HEAD). Those are read as
  // the rewritten links they are, not as links of an unmarked page.
  version_ =
      page.find(kVersionElement) != std::string_view::npos ? kVersionRewritten : kVersionUnmarked;
  stop_ = false;
  error_ = kScanOk;
  copy_ = false;
  drop_element_ = false;
  head_seen_ = false;
  leading_ = true;
  version_fallback_ = 0;
}

bool PageScanner::Read() {
  if (pos_ >= data_.size()) {
    eof_ = true;
    return false;
  }
  c_ = static_cast<unsigned char>(data_[pos_++]);
  if (copy_) out_->push_back(static_cast<char>(c_));
  return true;
}

void PageScanner::Run() {
  while (!stop_) {
    while (Read() && c_ != '<') {
    }
    if (eof_) return;
    tag_start_ = pos_;
    if (copy_) out_tag_start_ = out_->size() - 1;
    if (!Read()) return;
    HandleTag();
  }
}

void PageScanner::SkipBlanks() {
  while (!eof_ && IsBlank(c_)) Read();
}

void PageScanner::SkipToTagEnd() {
  while (!eof_ && c_ != '>') Read();
}

void PageScanner::SkipToBlankOrTagEnd() {
  while (!eof_ && c_ != ' ' && c_ != '\t' && c_ != '>') Read();
}

void PageScanner::SkipComment() {
  // The token "!--" itself ends in two hyphens, so "<!-->" is a whole (empty) comment.
  int hyphens = 2;
  while (!eof_) {
    if (c_ == '>' && hyphens >= 2) return;
    hyphens = c_ == '-' ? hyphens + 1 : 0;
    Read();
  }
}

int PageScanner::ReadToken() {
  token_.clear();
  while (!eof_ && !IsTokenEnd(c_)) {
    if (token_.size() < kMaxToken) token_ += AsciiUpper(c_);
    Read();
  }
  return HtmlKeyword(token_);
}

void PageScanner::ReadValue(std::size_t cap) {
  value_.clear();
  value_cut_ = false;
  if (eof_) return;
  if (c_ == '"' || c_ == '\'') {
    const unsigned char quote = c_;
    while (Read() && c_ != quote) {
      if (value_.size() < cap) {
        value_ += static_cast<char>(c_);
      } else {
        value_cut_ = true;
      }
    }
    Read();  // the byte after the closing quote
    return;
  }
  // An unquoted value runs on over tabs, quotes and "=".
  while (!eof_ && c_ != ' ' && c_ != '\n' && c_ != '\r' && c_ != '>') {
    if (value_.size() < cap) {
      value_ += static_cast<char>(c_);
    } else {
      value_cut_ = true;
    }
    Read();
  }
}

void PageScanner::HandleTag() {
  drop_element_ = false;
  SkipBlanks();
  const int tag = ReadToken();
  // Told by the tag's own name: the element's attributes are read into the same token.
  const bool leading_kind = copy_ && leading_ &&
                            (tag == kHtmlComment || token_ == "HTML" ||
                             token_.starts_with("!DOCTYPE") || token_.starts_with("?XML"));
  if (tag == kHtmlComment) {
    SkipComment();
  } else {
    SkipBlanks();
    switch (tag) {
      case kHtmlStyle:
      case kHtmlScript:
        HandleLinkTag(tag);
        HandleRawText(tag);
        break;
      case kHtmlMeta:
        HandleMeta();
        break;
      case kHtmlTitle:
        SkipToTagEnd();
        title_start_ = pos_;
        break;
      case kHtmlEndTitle: {
        const std::size_t end = tag_start_ - 1;  // the "<" of the end tag
        if (title_start_ && end > *title_start_) {
          std::string text = TitleText(data_.substr(*title_start_, end - *title_start_));
          if (!text.empty()) title_ = std::move(text);
        }
        title_start_.reset();
        SkipToTagEnd();
        break;
      }
      case kHtmlHead:
        SkipToTagEnd();
        if (copy_ && !eof_ && !head_seen_) {
          out_->append(kVersionElement);
          head_seen_ = true;
        }
        break;
      default:
        // Every start tag is read for its links: any element may carry a STYLE attribute.
        if (token_.starts_with('/') || token_.starts_with('!') || token_.starts_with('?')) {
          SkipToTagEnd();
        } else {
          HandleLinkTag(tag);
        }
        break;
    }
  }
  if (copy_) {
    if (drop_element_) out_->resize(out_tag_start_);
    NoteLeadingTag(leading_kind);
  }
}

void PageScanner::NoteLeadingTag(bool leading_kind) {
  if (!leading_) return;
  // An unterminated tag runs to the end of the page: nothing may be put behind it.
  if (!eof_ && leading_kind) {
    version_fallback_ = out_->size();
  } else {
    leading_ = false;
  }
}

void PageScanner::HandleLinkTag(int tag) {
  tag_values_.clear();
  std::string rel;
  std::optional<std::string> input_type;
  while (!eof_ && c_ != '>') {
    SkipBlanks();
    if (eof_ || c_ == '>') break;
    const int attribute = ReadToken();
    const int role = AttributeRole(tag, attribute);
    if (role != 0) {
      SkipBlanks();
      if (eof_ || c_ != '=') continue;
      Read();
      SkipBlanks();
      if (eof_) break;
      const std::size_t out_begin = copy_ ? out_->size() - 1 : 0;
      ReadValue(ValueCap(role));
      // The byte after the value (its delimiter) has been copied already and stays.
      const std::size_t out_end = copy_ ? out_->size() - (eof_ ? 0 : 1) : 0;
      if (role == kRelValue) {
        rel = value_;
      } else if (role == kTypeValue) {
        input_type = AsciiLower(value_);
      } else {
        tag_values_.push_back(TagValue{role, value_, value_cut_, out_begin, out_end});
      }
    } else if (tag == kHtmlImg && attribute == kHtmlIsmap) {
      // ISMAP stands alone; there is no value to skip.
    } else {
      SkipToBlankOrTagEnd();
    }
  }
  // Whether a LINK or an INPUT names a file is known only once the whole tag is read.
  for (TagValue& taken : tag_values_) {
    if (tag == kHtmlLink && taken.role == kLinkStyleSheet) taken.role = LinkRelKind(rel);
    if (tag == kHtmlInput && taken.role == kLinkObject && input_type != "image") taken.role = 0;
  }
  if (copy_) {
    RewriteTagValues();
    return;
  }
  for (const TagValue& taken : tag_values_) {
    if (taken.role == kBaseHref) {
      TakeBase(taken.value);
    } else if (taken.role == kLinkSrcset) {
      for (const auto& [begin, end] : SrcsetUrls(taken.value)) {
        AddLink(kLinkSrcset, std::string_view(taken.value).substr(begin, end - begin));
      }
    } else if (taken.role == kLinkStyleUrl) {
      AddCssLinks(DecodeCharacterReferences(taken.value), kLinkStyleSheet);
    } else if (taken.role != 0) {
      AddLink(taken.role, taken.value);
    }
  }
}

void PageScanner::TakeBase(const std::string& value) {
  if (value.empty() || value[0] == '#') return;
  if (auto base = MakeAbsolute(value)) {
    base_url_ = std::move(*base);
    base_ok_ = base_.Parse(base_url_);
    if (distinct_) distinct_->BaseChanged();
  }
}

void PageScanner::AddLink(int kind, std::string_view value) {
  if (value.empty() || value[0] == '#') return;
  if (distinct_ && distinct_->SeenValue(kind, value)) return;
  CUrl url;
  if (ResolveLink(value, url)) {
    std::string text = url.Text();
    if (distinct_) {
      if (const auto earlier = distinct_->Earlier(kind, url, links_->size())) {
        // One link in the place of the first, written as the last: the way a stored page's
        // links are de-duplicated, a later link that extends an earlier one stands for both.
        (*links_)[*earlier] = PageLink{kind, std::move(text), {}, std::move(url)};
        return;
      }
    }
    links_->push_back(PageLink{kind, std::move(text), {}, std::move(url)});
  }
}

void PageScanner::AddCssLinks(std::string_view sheet, int import_kind) {
  for (const CssReference& ref : FindCssReferences(sheet)) {
    AddLink(ref.import ? import_kind : kLinkStyleUrl, ref.value);
  }
}

std::optional<std::string> PageScanner::RewriteCssValue(const CssReference& ref) {
  if (ref.value.empty() || ref.value[0] == '#') return std::nullopt;
  std::string replacement = rewriter_->RewriteLink(*this, ref.value);
  if (replacement == ref.value) return std::nullopt;
  return replacement;
}

std::string PageScanner::RewriteStyleSheetText(std::string_view sheet) {
  return RewriteCss(sheet, [this](const CssReference& ref) { return RewriteCssValue(ref); });
}

void PageScanner::RewriteTagValues() {
  // Rewritten in document order, put in from the back so that the offsets before stay right.
  std::vector<std::pair<const TagValue*, std::string>> replacements;
  for (const TagValue& taken : tag_values_) {
    if (taken.role == kBaseHref) {
      TakeBase(taken.value);
      // The copy resolves its links against the BASE and then points them at local files, which
      // only works when the browser resolves them against the file itself.
      drop_element_ = true;
      continue;
    }
    // A value too long to keep whole is copied as it stands rather than cut short; USEMAP names a
    // map in the page.
    if (taken.role == 0 || taken.role == kLinkImageMap || taken.cut) continue;
    std::string text;
    if (taken.role == kLinkSrcset) {
      bool changed = false;
      std::size_t copied = 0;
      for (const auto& [begin, end] : SrcsetUrls(taken.value)) {
        const std::string url = taken.value.substr(begin, end - begin);
        std::string replacement = url[0] == '#' ? url : rewriter_->RewriteLink(*this, url);
        // A blank would end the candidate (local names hold the blanks of folder titles).
        for (std::size_t at = replacement.find(' '); at != std::string::npos;
             at = replacement.find(' ', at)) {
          replacement.replace(at, 1, "%20");
        }
        AppendAttributeText(text, std::string_view(taken.value).substr(copied, begin - copied),
                            false);
        AppendAttributeText(text, replacement, replacement != url);
        changed = changed || replacement != url;
        copied = end;
      }
      if (!changed) continue;
      AppendAttributeText(text, std::string_view(taken.value).substr(copied), false);
    } else if (taken.role == kLinkStyleUrl) {
      const std::string style = DecodeCharacterReferences(taken.value);
      const std::string rewritten = RewriteStyleSheetText(style);
      if (rewritten == style) continue;
      AppendAttributeText(text, rewritten, true);
    } else {
      const std::string replacement = rewriter_->RewriteLink(*this, taken.value);
      AppendAttributeText(text, replacement, replacement != taken.value);
    }
    replacements.emplace_back(&taken, "\"" + text + "\"");
  }
  for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
    out_->replace(it->first->out_begin, it->first->out_end - it->first->out_begin, it->second);
  }
}

void PageScanner::HandleRawText(int tag) {
  if (eof_ || c_ != '>') return;
  const std::size_t end = RawTextEnd(data_, pos_, tag == kHtmlStyle ? "</STYLE" : "</SCRIPT");
  const std::string_view text = data_.substr(pos_, end - pos_);
  // A script's text is no markup: "<a href=" in one of its strings is code, not a link, and
  // rewriting it would change the program.
  if (tag == kHtmlStyle && !copy_) AddCssLinks(text, kLinkStyleSheet);
  if (tag == kHtmlStyle && copy_) {
    out_->append(RewriteStyleSheetText(text));
  } else if (copy_) {
    out_->append(text);
  }
  pos_ = end;
}

void PageScanner::ScanStyleSheet(std::string_view sheet_url, std::string_view sheet,
                                 std::vector<PageLink>& links) {
  Begin(sheet_url, {});
  version_ = sheet.find(kStyleSheetVersionLine) != std::string_view::npos ? kVersionRewritten
                                                                          : kVersionUnmarked;
  links_ = &links;
  AddCssLinks(sheet, kLinkStyleImport);
  links_ = nullptr;
}

std::string PageScanner::CopyStyleSheet(std::string_view sheet_url, std::string_view sheet,
                                        LinkRewriter& rewriter) {
  Begin(sheet_url, {});
  std::string text(sheet);
  for (std::size_t at = text.find(kStyleSheetVersionLine); at != std::string::npos;
       at = text.find(kStyleSheetVersionLine, at)) {
    text.erase(at, kStyleSheetVersionLine.size());
    version_ = kVersionRewritten;
  }
  rewriter_ = &rewriter;
  copy_ = true;
  std::string out = RewriteStyleSheetText(text);
  copy_ = false;
  rewriter_ = nullptr;
  out.append(kStyleSheetVersionLine);
  return out;
}

void PageScanner::HandleMeta() {
  int armed = kHtmlUnknown;
  while (!eof_ && c_ != '>') {
    SkipBlanks();
    if (eof_ || c_ == '>') break;
    const int attribute = ReadToken();
    if (attribute == kHtmlName) {
      SkipBlanks();
      if (eof_ || c_ != '=') continue;
      Read();
      SkipBlanks();
      ReadValue(kMaxValue);
      const int name = HtmlKeyword(AsciiUpper(value_));
      armed = (name == kHtmlRobots || name == kHtmlQlmVersion) ? name : kHtmlUnknown;
      // A rewritten page carries exactly one version element: the one the copy inserts.
      if (name == kHtmlQlmVersion && copy_) drop_element_ = true;
    } else if (attribute == kHtmlContent) {
      SkipBlanks();
      if (eof_ || c_ != '=') {
        SkipToTagEnd();
        return;
      }
      Read();
      SkipBlanks();
      ReadValue(std::numeric_limits<std::size_t>::max());
      HandleContent(armed);
    } else {
      SkipToBlankOrTagEnd();
    }
  }
}

void PageScanner::HandleContent(int armed) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = value_.find(',', start);
    const std::size_t end = comma == std::string::npos ? value_.size() : comma;
    pieces.push_back(value_.substr(start, std::min(end - start, kMaxContentPiece)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (armed == kHtmlRobots) {
    for (const std::string& piece : pieces) {
      const int word = HtmlKeyword(AsciiUpper(piece));
      // A copy must hold the whole page, so only a scan stops here.
      if ((word == kHtmlNofollow || word == kHtmlNone) && !copy_) stop_ = true;
    }
  } else if (armed == kHtmlQlmVersion) {
    version_ = ParseDecimal(pieces.back());
  }
}

std::optional<std::string> PageScanner::MakeAbsolute(std::string_view link) const {
  CUrl url;
  if (!ResolveLink(link, url)) return std::nullopt;
  return url.Text();
}

bool PageScanner::ResolveLink(std::string_view link, CUrl& url) const {
  // Blanks and control bytes around a link, and tabs and line ends inside it, are no part of it
  // (a page may break a long HREF over lines), as browsers read links.
  while (!link.empty() && static_cast<unsigned char>(link.front()) <= 0x20) link.remove_prefix(1);
  while (!link.empty() && static_cast<unsigned char>(link.back()) <= 0x20) link.remove_suffix(1);
  std::string unbroken;
  if (FindAnyOf<'\t', '\n', '\r'>(link) != std::string_view::npos) {
    std::ranges::copy_if(link, std::back_inserter(unbroken),
                         [](char c) { return c != '\t' && c != '\n' && c != '\r'; });
    link = unbroken;
  }
  std::string decoded;
  if (link.find('&') != std::string_view::npos) {
    decoded = DecodeCharacterReferences(link);
    link = decoded;
  }
  if (link.empty() || link.front() == '#') return false;
  // A "[" that does not start an escape after all is a bracket of the link itself. The escapes
  // are only checked here: the parse decodes them, once (decoded here as well, "%2541" would
  // come out as "A").
  std::string text = BracketsToPercent(link);
  if (!CUrl::EscapesWellFormed(text)) text = link;
  if (!CUrl::EscapesWellFormed(text)) return false;

  if (!base_ok_) return false;
  const CUrl& base = base_;
  bool relative = false;
  if (HasScheme(text)) {
    // http, https and file URLs stand for themselves; every other scheme is never fetched.
    if (!url.Parse(text)) return false;
  } else {
    relative = !text.starts_with("//");
    // A link that climbs above the root was written by Copy between two sites of the mirror:
    // what is left after the climb is the other site's host and path, reached with the page's
    // own scheme. Only a page that Copy wrote holds such links; on any other page the climb
    // stops at the root, as everywhere on the web (a page must not name a host that way).
    std::string_view rest = text;
    std::size_t climbs = 0;
    for (; rest.starts_with("../"); ++climbs) rest.remove_prefix(3);
    if (version_ >= kVersionRewritten &&
        climbs > static_cast<std::size_t>(std::ranges::count(base.Directory(), '/'))) {
      // A climb out of a file page stays a file URL; between sites it keeps the page's scheme.
      if (!url.Parse(SchemePrefix(base) + "//" + std::string(rest))) return false;
    } else if (!url.Parse(ResolveUrlReference(base.Text(), text))) {
      return false;
    }
  }
  if (relative && version_ >= kVersionRewritten && !CutStoredVariant(url)) return false;
  return true;
}

}  // namespace qlm

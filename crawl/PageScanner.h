#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crawl/PageLink.h"
#include "net/CUrl.h"

namespace qlm {

class DistinctLinks;
class PageScanner;
struct CssReference;

// The copy-mode hook: the scanner hands every link value that the localised copy writes anew
// (every link kind but IMG USEMAP; each SRCSET candidate; each url() and @import of a STYLE
// element, a STYLE attribute or a style sheet) to the rewriter and writes what it returns instead
// of the value as it stood (an attribute in double quotes, a url() as url("...")).
class LinkRewriter {
 public:
  virtual ~LinkRewriter() = default;
  // `value` is the attribute value as read (without its quotes, at most kMaxValue bytes); the
  // scanner is passed so that the rewriter can resolve it with MakeAbsolute against the page.
  // The result must not hold a double quote.
  virtual std::string RewriteLink(const PageScanner& scanner, const std::string& value) = 0;
};

// A byte-level HTML link scanner: it knows the tags and attributes that carry links (HtmlKeyword),
// not HTML. Scan collects the links of a page with their kinds and its title; Copy writes the page
// out again with its links rewritten, for the localised copy in the mirror. The text of STYLE
// elements and STYLE attributes is read as a style sheet (CssScanner); the text of SCRIPT
// elements is passed over as it stands. ScanStyleSheet and CopyStyleSheet do the same for a
// style sheet of its own.
//
// Only ASCII bytes are recognised; Shift_JIS and other multibyte text passes through as bytes.
// One scanner scans one page at a time; Scan and Copy reset every per-page field.
class PageScanner {
 public:
  // Version mark of a page that carries none; pages written by Copy carry kVersionRewritten.
  static constexpr int kVersionUnmarked = 10000;
  static constexpr int kVersionRewritten = 10060;
  // Bytes kept of a tag or attribute token, of an attribute value, and of one comma-separated
  // piece of a META CONTENT value; longer ones are consumed and cut.
  static constexpr std::size_t kMaxToken = 144;
  static constexpr std::size_t kMaxValue = 2047;
  static constexpr std::size_t kMaxContentPiece = 2048;
  // Bytes kept of a SRCSET or STYLE value, which hold many links.
  static constexpr std::size_t kMaxListValue = 65536;
  // Inserted by Copy right after the HEAD start tag.
  static constexpr std::string_view kVersionElement = R"(<meta name="QLMVERSION" content="10060">)";
  // Appended by CopyStyleSheet: a style sheet has no HEAD, and a comment at its start would come
  // before an @charset that must be first.
  static constexpr std::string_view kStyleSheetVersionLine = "\n/* QLMVERSION 10060 */\n";

  enum ScanError : int { kScanOk = 0, kScanOutOfMemory = -1, kScanUnreadable = -4 };

  // Reads the file and appends the page's links to `links` in document order; `title` becomes
  // the text of the last TITLE element, or stays empty. False (Error() -4) when the file cannot
  // be read; the page then yields no links.
  bool Scan(std::string_view page_url, const std::string& file_name, std::vector<PageLink>& links,
            std::string& title);
  // The same over bytes already in memory.
  void ScanBytes(std::string_view page_url, std::string_view page, std::vector<PageLink>& links,
                 std::string& title);

  // Copy mode: returns the page with every link value rewritten by `rewriter` (always in double
  // quotes), the version element inserted after the HEAD start tag (or, in a page without HEAD,
  // before its first tag other than a DOCTYPE, a comment or HTML), earlier version elements
  // removed, and BASE elements removed (their URL still resolves the links that follow). A robots
  // META does not stop the copy. Every other byte is copied unchanged.
  std::string Copy(std::string_view page_url, std::string_view page, LinkRewriter& rewriter);

  // A style sheet (a .css file, a text/css reply): its @import references as kLinkStyleImport
  // links and its url() references as kLinkStyleUrl links, in order.
  void ScanStyleSheet(std::string_view sheet_url, std::string_view sheet,
                      std::vector<PageLink>& links);
  // Copy mode for a style sheet: every reference rewritten by `rewriter`, and
  // kStyleSheetVersionLine at the end (once, however often the sheet is copied).
  std::string CopyStyleSheet(std::string_view sheet_url, std::string_view sheet,
                             LinkRewriter& rewriter);

  // Resolves a link as written in the page against the BASE seen so far, or the page URL; the
  // normalized absolute URL, or nothing when the link gives none (another scheme, a bad escape,
  // a URL that does not parse).
  std::optional<std::string> MakeAbsolute(std::string_view link) const;
  // The same, parsed: false when the link gives no URL.
  bool ResolveLink(std::string_view link, CUrl& url) const;

  // With `distinct` (until set back to null), Scan and ScanBytes deliver each link once: a link
  // met again (same kind and URL, fragments aside) takes the place of the first, which keeps its
  // position. The caller clears it per page.
  void SetDistinct(DistinctLinks* distinct) { distinct_ = distinct; }

  int Error() const { return error_; }
  int VersionMark() const { return version_; }
  // True when a robots META with NOFOLLOW or NONE ended the scan early.
  bool Stopped() const { return stop_; }

 private:
  void Begin(std::string_view page_url, std::string_view page);
  void Run();
  bool Read();
  void SkipBlanks();
  void SkipToTagEnd();
  void SkipToBlankOrTagEnd();
  void SkipComment();
  int ReadToken();
  void ReadValue(std::size_t cap);
  void HandleTag();
  void HandleLinkTag(int tag);
  void HandleRawText(int tag);
  void HandleMeta();
  void HandleContent(int armed);
  void TakeBase(const std::string& value);
  void AddLink(int kind, std::string_view value);
  // The references of a style sheet as links; an @import gives a link of `import_kind`.
  void AddCssLinks(std::string_view sheet, int import_kind);
  void RewriteTagValues();
  std::optional<std::string> RewriteCssValue(const CssReference& ref);
  std::string RewriteStyleSheetText(std::string_view sheet);
  void NoteLeadingTag(bool leading_kind);
  void InsertVersionElement();

  // The page and the read position: data_[pos_] is the next byte to read, c_ the byte last read.
  // eof_ is set by the first read past the end; c_ then keeps the last byte.
  std::string_view data_;
  std::size_t pos_ = 0;
  unsigned char c_ = 0;
  bool eof_ = false;

  std::string page_url_;
  // The normalized URL of the last BASE element; empty until one is seen.
  std::string base_url_;
  // What links are resolved against: the BASE URL or else the page's URL, parsed (base_ok_ when
  // it parses).
  CUrl base_;
  bool base_ok_ = false;
  // The last tag or attribute token, upper-cased, at most kMaxToken bytes.
  std::string token_;
  // The last attribute value, at most the cap it was read with; value_cut_ when it was longer.
  std::string value_;
  bool value_cut_ = false;
  // Offset in data_ just after the last "<".
  std::size_t tag_start_ = 0;
  // Offset in data_ where the text of the last TITLE element starts, when one is open.
  std::optional<std::size_t> title_start_;
  std::string title_;
  int version_ = kVersionUnmarked;
  bool stop_ = false;
  int error_ = kScanOk;
  std::vector<PageLink>* links_ = nullptr;
  DistinctLinks* distinct_ = nullptr;

  // The values of the current tag that name links (or a BASE), taken when the whole tag is read:
  // what a LINK's HREF is depends on its REL, which may follow it. `role` is the link kind (0:
  // none after all) or kBaseHref; out_begin and out_end are the value's bytes in out_ (with its
  // quotes) in copy mode.
  struct TagValue {
    int role = 0;
    std::string value;
    bool cut = false;
    std::size_t out_begin = 0;
    std::size_t out_end = 0;
  };
  std::vector<TagValue> tag_values_;

  // Copy mode. Every byte read is appended to out_; out_tag_start_ is the offset of the current
  // tag's "<" in out_, drop_element_ asks for the current element to be cut back to it.
  bool copy_ = false;
  std::string* out_ = nullptr;
  LinkRewriter* rewriter_ = nullptr;
  std::size_t out_tag_start_ = 0;
  bool drop_element_ = false;
  // Where the version element goes: right after HEAD once seen (head_seen_), else after the
  // DOCTYPE, comments and HTML tag that open the page (leading_ while only those were seen).
  bool head_seen_ = false;
  bool leading_ = true;
  std::size_t version_fallback_ = 0;
};

}  // namespace qlm

#include "net/RobotsRules.h"

#include "net/CUrl.h"

namespace qlm {
namespace {

enum class Field { kUnknown, kUserAgent, kDisallow, kAllow };

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// The separators of a product token: a User-agent value ends at the first of them, so
// "Quillmere/1.0" names the agent "Quillmere".
bool IsTokenSeparator(char c) {
  return IsControl(c) ||
         std::string_view("()<>@,;:\\\"/[]?={} \t").find(c) != std::string_view::npos;
}

// A rule value runs to a blank, a comment or the line end. Bytes that an escaped path never
// holds literally (a "~", a Shift_JIS byte) stay in the value, so such a rule matches no path
// instead of being cut short into a prefix that matches far too much.
bool EndsRuleValue(char c) {
  return IsBlank(c) || IsControl(c) || c == '#';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// One pass over a robots.txt text for one agent and one path.
class RobotsReader {
 public:
  // The path is compared decoded, as the rule values are: a rule names "/~joe/" alike whether
  // the file writes it "/~joe/" or "/%7Ejoe/", and the path of every URL under it, which CUrl
  // writes "/%7ejoe/...", starts with it.
  RobotsReader(std::string_view text, std::string_view agent, std::string_view path)
      : text_(text),
        agent_(agent),
        decoded_path_(Decoded(path)),
        path_(decoded_path_ ? *decoded_path_ : path) {}

  int Verdict() {
    for (;;) {
      SkipBlankLinesAndComments();
      if (AtEnd()) return 1;
      const Field field = ReadFieldName();
      if (field == Field::kUnknown) {
        SkipRestOfLine();
      } else if (field == Field::kUserAgent) {
        // A User-agent line after rules starts the next record; once a record has applied,
        // none after it counts, even one that names the agent itself.
        if (in_rules_) {
          if (record_applies_) return 1;
          in_rules_ = false;
        }
        const std::string_view token = ReadWhile([](char c) { return !IsTokenSeparator(c); });
        if (token == agent_ || token == "*") record_applies_ = true;
        SkipRestOfLine();
      } else {
        in_rules_ = true;
        const std::string_view value = ReadWhile([](char c) { return !EndsRuleValue(c); });
        SkipRestOfLine();
        if (record_applies_ && RuleMatches(field, value)) return field == Field::kAllow ? 1 : 0;
      }
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }

  // Blanks, line ends and whole comment lines between fields.
  void SkipBlankLinesAndComments() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '#') {
        SkipRestOfLine();
      } else if (IsBlank(c) || IsLineEnd(c)) {
        ++pos_;
      } else {
        return;
      }
    }
  }

  // Leaves pos_ on the line end (CR or LF) or at the end of the text.
  void SkipRestOfLine() {
    while (!AtEnd() && !IsLineEnd(text_[pos_])) ++pos_;
  }

  // The bytes up to ":" on this line, compared without regard to case; the ":" is consumed.
  // A line without ":" is unknown. A blank before the ":" is part of the name, so
  // "Disallow :" is unknown too.
  Field ReadFieldName() {
    const size_t start = pos_;
    while (!AtEnd() && text_[pos_] != ':' && !IsLineEnd(text_[pos_])) ++pos_;
    if (AtEnd() || text_[pos_] != ':') return Field::kUnknown;
    const std::string_view name = text_.substr(start, pos_ - start);
    ++pos_;
    if (EqualsIgnoringCase(name, "User-agent")) return Field::kUserAgent;
    if (EqualsIgnoringCase(name, "Disallow")) return Field::kDisallow;
    if (EqualsIgnoringCase(name, "Allow")) return Field::kAllow;
    return Field::kUnknown;
  }

  // Skips blanks (never a line end: an empty value stays empty) and takes the run of bytes
  // that `keep` accepts.
  template <typename Keep>
  std::string_view ReadWhile(Keep keep) {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
    const size_t start = pos_;
    while (!AtEnd() && keep(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // An empty Disallow refuses nothing, as the robots exclusion standard has it; an empty Allow
  // is a prefix of every path. A value whose escapes cannot be decoded names no path at all.
  bool RuleMatches(Field field, std::string_view value) const {
    if (value.empty()) return field == Field::kAllow;
    const std::optional<std::string> decoded = CUrl::UnescapeUrl(value);
    return decoded && path_.starts_with(*decoded);
  }

  static std::optional<std::string> Decoded(std::string_view path) {
    if (path.find('%') == std::string_view::npos) return std::nullopt;
    return CUrl::UnescapeUrl(path);
  }

  const std::string_view text_;
  const std::string_view agent_;
  const std::optional<std::string> decoded_path_;  // when the path holds escapes
  const std::string_view path_;
  // Offset of the next unread byte of text_.
  size_t pos_ = 0;
  // A User-agent line of the current record named agent_ or "*".
  bool record_applies_ = false;
  // The current record has had a rule line, so the next User-agent line starts a new record.
  bool in_rules_ = false;
};

}  // namespace

std::optional<std::string> RobotsUrl(std::string_view own_robots_url, std::string_view link_url) {
  if (!own_robots_url.empty()) return std::string(own_robots_url);
  CUrl url;
  if (!url.Parse(link_url)) return std::nullopt;
  return std::string(url.SiteUrl()) + "/robots.txt";
}

int RobotsVerdict(std::string_view robots_txt, std::string_view agent, std::string_view path) {
  return RobotsReader(robots_txt, agent, path).Verdict();
}

int RobotsVerdictForLink(const std::string& robots_url, std::string_view link_url,
                         const RobotsCopyReader& read_copy) {
  CUrl url;
  if (!url.Parse(link_url)) return 0;
  const std::optional<std::string> copy = read_copy(robots_url);
  if (!copy) return 0;
  return RobotsVerdict(*copy, kRobotsAgent, url.Path());
}

}  // namespace qlm

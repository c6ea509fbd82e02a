#pragma once

#include <string>
#include <string_view>

namespace qlm {

// What a server said about the version of a stored file: its Last-Modified text exactly as sent
// (many servers answer 304 only to the very date they sent) and its ETag. The patrols keep them in
// the project's ValidatorLog.
struct Validators {
  std::string last_modified;
  std::string etag;

  bool Empty() const { return last_modified.empty() && etag.empty(); }
  bool operator==(const Validators&) const = default;
};

// The LAST-MODIFIED and ETAG values of a reply's header block (names in any letter case, blanks
// around the value dropped). A value that could not go back into a request line as it stands
// (a control byte, longer than kMaxValidator) is left out.
Validators ValidatorsOfReply(std::string_view header_text);
inline constexpr std::size_t kMaxValidator = 1024;

}  // namespace qlm

#pragma once

#include <string>
#include <string_view>

namespace qlm {

// What a server said about the version of a stored file: its Last-Modified text exactly as sent
// (many servers answer 304 only to the very date they sent) and its ETag. They are kept in
// extended attributes of the stored file, so they come and go with its content: a body is given
// them before it moves into the mirror, and a rewritten page takes them over from the copy it
// replaces. On a file system without extended attributes nothing is kept, and a renewal asks with
// the copy's time as before.
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

// The validators kept with a file; empty when it has none.
Validators ReadValidators(const std::string& file);
// Gives the file exactly these validators (an empty one is removed). False when the file system
// keeps none or the file is not there.
bool KeepValidators(const std::string& file, const Validators& validators);
// The same on an open file.
bool KeepValidators(int fd, const Validators& validators);

}  // namespace qlm

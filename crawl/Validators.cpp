#include "crawl/Validators.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace qlm {

namespace {

// Both validators in one attribute with a short name, "<Last-Modified>\n<ETag>": on ext4 it fits
// in the inode with the usual values, where two attributes with long names took a block of 4 KiB
// beside every stored file.
constexpr const char* kValidatorsName = "user.qlm.v";
// Where the program kept them before; read when a file has no attribute of the new kind.
constexpr const char* kOldLastModifiedName = "user.quillmere.last-modified";
constexpr const char* kOldEtagName = "user.quillmere.etag";

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool NameIs(std::string_view name, std::string_view upper) {
  if (name.size() != upper.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Upper(name[i]) != upper[i]) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool Sendable(std::string_view value) {
  if (value.size() > kMaxValidator) return false;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

// The attribute's value; nothing when the file has none (or it is longer than `room`).
std::optional<std::string> ReadAttribute(const std::string& file, const char* name,
                                         std::size_t room) {
  std::string value(room, '\0');
  const ssize_t n = ::getxattr(file.c_str(), name, value.data(), value.size());
  if (n < 0) return std::nullopt;
  value.resize(static_cast<std::size_t>(n));
  return value;
}

std::string Checked(std::optional<std::string> value) {
  return value && Sendable(*value) ? std::move(*value) : std::string();
}

}  // namespace

Validators ValidatorsOfReply(std::string_view header_text) {
  Validators validators;
  while (!header_text.empty()) {
    const std::size_t end = header_text.find('\n');
    const std::string_view line = header_text.substr(0, end);
    header_text.remove_prefix(end == std::string_view::npos ? header_text.size() : end + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    std::string* slot = NameIs(name, "LAST-MODIFIED") ? &validators.last_modified
                        : NameIs(name, "ETAG")        ? &validators.etag
                                                      : nullptr;
    if (slot && Sendable(value)) slot->assign(value);
  }
  return validators;
}

Validators ReadValidators(const std::string& file) {
  Validators validators;
  if (std::optional<std::string> both = ReadAttribute(file, kValidatorsName, 2 * kMaxValidator + 1)) {
    const std::size_t line = both->find('\n');
    if (line == std::string::npos) return validators;
    validators.last_modified = Checked(both->substr(0, line));
    validators.etag = Checked(both->substr(line + 1));
    return validators;
  }
  validators.last_modified = Checked(ReadAttribute(file, kOldLastModifiedName, kMaxValidator));
  validators.etag = Checked(ReadAttribute(file, kOldEtagName, kMaxValidator));
  return validators;
}

bool KeepValidators(const std::string& file, const Validators& validators) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool kept = KeepValidators(fd, validators);
  ::close(fd);
  return kept;
}

bool KeepValidators(int fd, const Validators& validators) {
  const auto remove = [fd](const char* name) {
    return ::fremovexattr(fd, name) == 0 || errno == ENODATA;
  };
  if (!validators.Empty()) {
    // Attributes of the old kind that the file may carry (a file it replaced, taken back by an
    // exchange) are read only where the new one is missing: this one hides them.
    const std::string both = validators.last_modified + '\n' + validators.etag;
    return ::fsetxattr(fd, kValidatorsName, both.data(), both.size(), 0) == 0;
  }
  const bool removed = remove(kValidatorsName);
  const bool old_removed = remove(kOldLastModifiedName) && remove(kOldEtagName);
  return removed && old_removed;
}

}  // namespace qlm

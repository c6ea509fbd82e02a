#include "crawl/Validators.h"

namespace qlm {

namespace {

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

}  // namespace qlm

#include "net/UrlReference.h"

#include <optional>

namespace qlm {

namespace {

// A reference split as RFC 3986 appendix B splits it; an absent part differs from an empty one.
struct Parts {
  std::optional<std::string_view> scheme;
  std::optional<std::string_view> authority;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
};

bool IsAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsSchemeByte(char c) {
  return IsAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

Parts Split(std::string_view text) {
  Parts parts;
  if (!text.empty() && IsAlpha(text.front())) {
    std::size_t i = 1;
    while (i < text.size() && IsSchemeByte(text[i])) ++i;
    if (i < text.size() && text[i] == ':') {
      parts.scheme = text.substr(0, i);
      text.remove_prefix(i + 1);
    }
  }
  if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const std::size_t question = text.find('?'); question != std::string_view::npos) {
    parts.query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  if (text.starts_with("//")) {
    const std::size_t end = text.find('/', 2);
    parts.authority = text.substr(2, end == std::string_view::npos ? text.npos : end - 2);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  parts.path = text;
  return parts;
}

// Section 5.2.3: the reference's path behind the base's directory.
std::string Merge(const Parts& base, std::string_view path) {
  std::string merged;
  if (base.authority && base.path.empty()) {
    merged = "/";
  } else if (const std::size_t slash = base.path.rfind('/'); slash != std::string_view::npos) {
    merged = base.path.substr(0, slash + 1);
  }
  merged += path;
  return merged;
}

}  // namespace

std::string RemoveDotSegments(std::string_view input) {
  // Most paths hold no "." or ".." segment: every one of those starts the path or follows a "/".
  if (!input.starts_with('.') && input.find("/.") == std::string_view::npos) {
    return std::string(input);
  }
  std::string output;
  output.reserve(input.size());
  // Drops the last segment of the output with its "/" (the climb of a "..").
  auto drop_last = [&output] {
    const std::size_t slash = output.rfind('/');
    output.resize(slash == std::string::npos ? 0 : slash);
  };
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      drop_last();
    } else if (input == "/..") {
      input = "/";
      drop_last();
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      // The first segment: its leading "/" and the bytes up to the next "/".
      const std::size_t end = input.find('/', input.front() == '/' ? 1 : 0);
      const std::size_t length = end == std::string_view::npos ? input.size() : end;
      output.append(input.substr(0, length));
      input.remove_prefix(length);
    }
  }
  return output;
}

std::string ResolveUrlReference(std::string_view base_text, std::string_view reference) {
  const Parts base = Split(base_text);
  const Parts ref = Split(reference);
  Parts target;
  std::string path;
  if (ref.scheme) {
    target.scheme = ref.scheme;
    target.authority = ref.authority;
    path = RemoveDotSegments(ref.path);
    target.query = ref.query;
  } else if (ref.authority) {
    target.scheme = base.scheme;
    target.authority = ref.authority;
    path = RemoveDotSegments(ref.path);
    target.query = ref.query;
  } else {
    target.scheme = base.scheme;
    target.authority = base.authority;
    if (ref.path.empty()) {
      path = base.path;
      target.query = ref.query ? ref.query : base.query;
    } else {
      path = ref.path.starts_with('/') ? RemoveDotSegments(ref.path)
                                       : RemoveDotSegments(Merge(base, ref.path));
      target.query = ref.query;
    }
  }
  // Section 5.3: the parts put together again.
  std::string text;
  text.reserve(base_text.size() + reference.size());
  if (target.scheme) text.append(*target.scheme).append(":");
  if (target.authority) text.append("//").append(*target.authority);
  text.append(path);
  if (target.query) text.append("?").append(*target.query);
  if (ref.fragment) text.append("#").append(*ref.fragment);
  return text;
}

}  // namespace qlm

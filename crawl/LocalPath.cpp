#include "crawl/LocalPath.h"

#include <cstdio>

#include "net/CUrl.h"

namespace qlm {

namespace {

bool NeedsHexEscape(unsigned char b) {
  switch (b) {
    case '"':
    case '*':
    case ',':
    case ':':
    case ';':
    case '<':
    case '>':
    case '?':
    case '|':
    case '\\':
      return true;
    default:
      return b < 0x20 || b == 0x7F;
  }
}

void AppendHexEscape(std::string& out, unsigned char b) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "[%02x", b);
  out += buf;
}

// Replaces the dots of a "." or ".." component; the component is out[start, end).
void EscapeDotComponent(std::string& out, std::size_t start) {
  const std::string_view component(out.data() + start, out.size() - start);
  if (component == "." || component == "..") {
    const std::size_t dots = component.size();
    out.resize(start);
    for (std::size_t i = 0; i < dots; ++i) out += "[2e";
  }
}

// A byte that is neither escaped nor a separator, nor the lead byte of a Shift_JIS pair.
bool IsPlainLocalByte(unsigned char b) {
  return b >= 0x20 && b < 0x7F && b != '/' && b != '%' && !NeedsHexEscape(b);
}

}  // namespace

void AppendLocalName(std::string& out, std::string_view name) {
  std::size_t component_start = out.size();
  std::size_t i = 0;
  while (i < name.size()) {
    // A run of bytes that stand for themselves goes in at once.
    std::size_t plain = i;
    while (plain < name.size() && IsPlainLocalByte(static_cast<unsigned char>(name[plain]))) {
      ++plain;
    }
    out.append(name, i, plain - i);
    i = plain;
    if (i == name.size()) break;
    const auto b = static_cast<unsigned char>(name[i]);
    if (IsShiftJisPairAt(name, i)) {
      out += name.substr(i++, 2);
    } else if (b == '/') {
      EscapeDotComponent(out, component_start);
      out += '/';
      component_start = out.size();
    } else if (b == '%') {
      out += '[';
    } else if (NeedsHexEscape(b)) {
      AppendHexEscape(out, b);
    } else {
      out += static_cast<char>(b);
    }
    ++i;
  }
  EscapeDotComponent(out, component_start);
}

std::string EscapeLocalName(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 16);
  AppendLocalName(out, name);
  return out;
}

bool LocalNameFits(std::string_view path, std::size_t suffix) {
  if (path.size() + suffix > kMaxLocalPath) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size() + suffix;
    if (end - start > kMaxNameComponent) return false;
    start = end + 1;
  }
  return true;
}

std::optional<std::string> LocalPath(std::string_view mirror_root, std::string_view url,
                                     std::string_view folder_path) {
  CUrl parsed;
  if (!parsed.Parse(url)) return std::nullopt;
  return LocalPath(mirror_root, parsed, folder_path);
}

std::optional<std::string> LocalPath(std::string_view mirror_root, const CUrl& parsed,
                                     std::string_view folder_path) {
  std::string local;
  if (!AssignLocalPath(local, mirror_root, parsed, folder_path)) return std::nullopt;
  return local;
}

bool AssignLocalPath(std::string& local, std::string_view mirror_root, const CUrl& parsed,
                     std::string_view folder_path) {
  local.clear();
  if (!parsed.Host() || parsed.Host()->empty()) return false;

  // The directory is taken from the path itself: CUrl reports the site URL as the directory of a
  // path that folded to nothing, and that must not end up inside a file name. The name before
  // escaping is put together in a buffer of the thread's, as lookups ask for many names.
  thread_local std::string relative;
  const std::string& path = parsed.Path();
  relative.assign(folder_path);
  relative += '/';
  relative += *parsed.Host();
  relative.append(path, 0, path.rfind('/'));
  relative += '/';
  if (parsed.FileName()) {
    relative += *parsed.FileName();
  } else {
    relative += "index.html";
  }
  if (parsed.Query()) {
    relative += "[3f";
    relative += *parsed.Query();
  }

  local.reserve(mirror_root.size() + relative.size() + 24);
  local += mirror_root;
  if (local.empty() || local.back() != '/') local += '/';
  AppendLocalName(local, relative);

  const std::size_t suffix = parsed.FileType() == kFileTypeCgi ? kCgiVariants.back().size() : 0;
  if (LocalNameFits(local, suffix)) return true;
  local.clear();
  return false;
}

std::optional<std::string> RelativePath(std::string_view from, std::string_view to) {
  std::size_t common = std::string_view::npos;  // index of the last "/" of the common beginning
  for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i) {
    if (from[i] == '/') common = i;
  }
  if (common == std::string_view::npos) return std::nullopt;
  std::string result;
  for (std::size_t i = common + 1; i < from.size(); ++i) {
    if (from[i] == '/') result += "../";
  }
  // A path that would start with "/" (the empty folder names of "http://h/d//x.html") would be
  // read as one from the root, or as a host after "//": "./" keeps it relative.
  if (result.empty() && to.size() > common + 1 && to[common + 1] == '/') result = "./";
  result += to.substr(common + 1);
  return result;
}

}  // namespace qlm

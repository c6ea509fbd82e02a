#include "picture/display/DisplayCommandLine.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace qlm {

namespace {

// A window id: decimal, or hexadecimal after "0x" when `hex_allowed`. 0 for anything else,
// which is never a window.
uint64_t ParseWindowId(const std::string& text, bool hex_allowed) {
  if (text.empty()) return 0;
  int base = 10;
  size_t start = 0;
  if (hex_allowed && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  for (size_t i = start; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!(base == 16 ? std::isxdigit(c) : std::isdigit(c))) return 0;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str() + start, nullptr, base);
  // X11 ids are 29-bit numbers; anything beyond 32 bits is a typing error.
  if (errno != 0 || value > 0xFFFFFFFFull) return 0;
  return value;
}

DisplayCommandLine End(std::string why) {
  DisplayCommandLine line;
  line.error = std::move(why);
  return line;
}

DisplayCommandLine Embedded(uint64_t parent) {
  DisplayCommandLine line;
  line.mode = DisplayCommandLine::kEmbedded;
  line.parent = parent;
  return line;
}

DisplayCommandLine WithMode(DisplayCommandLine::Mode mode) {
  DisplayCommandLine line;
  line.mode = mode;
  return line;
}

// The variable as the daemon sets it, decimal or hex; 0 when unset or unusable.
uint64_t DaemonWindow(const char* xscreensaver_window) {
  return xscreensaver_window ? ParseWindowId(xscreensaver_window, true) : 0;
}

}  // namespace

DisplayCommandLine DisplayCommandLine::Parse(const std::vector<std::string>& args,
                                             const char* xscreensaver_window) {
  if (args.empty()) {
    const uint64_t window = DaemonWindow(xscreensaver_window);
    return window ? Embedded(window) : WithMode(kNormal);
  }
  const std::string& first = args[0];
  if (first == "-window-id" || first == "--window-id") {
    if (args.size() < 2) return End("-window-id needs a window id");
    const uint64_t window = ParseWindowId(args[1], true);
    if (window == 0) return End("not a window id: " + args[1]);
    return Embedded(window);
  }
  if (first == "-root" || first == "--root") {
    const uint64_t window = DaemonWindow(xscreensaver_window);
    return window ? Embedded(window) : WithMode(kRoot);
  }

  std::string word = first;
  if (!word.empty() && (word[0] == '-' || word[0] == '/')) word.erase(0, 1);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word == "c" || word == "s") return WithMode(kNormal);
  if (word == "p") {
    if (args.size() < 2) return End("p needs a window handle");
    const uint64_t window = ParseWindowId(args[1], false);
    if (window == 0) return End("not a window handle: " + args[1]);
    return Embedded(window);
  }
  return End("unknown argument: " + first);
}

}  // namespace qlm

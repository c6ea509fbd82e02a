#include "crawl/MirrorGeneration.h"

#include <sys/random.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <random>
#include <string_view>

#include "platform/WholeFile.h"

namespace qlm {

namespace {

std::uint64_t NewToken() {
  std::uint64_t token = 0;
  if (::getrandom(&token, sizeof token, 0) != sizeof token) token = std::random_device{}();
  return token == 0 ? 1 : token;  // 0 is the token of a file that could not be read
}

std::uint64_t ReadToken(const std::string& file) {
  std::string text;
  if (!ReadWholeFile(file, text) || text.empty()) return 0;
  const char* const last = text.data() + text.size();
  std::uint64_t token = 0;
  const auto [end, error] = std::from_chars(text.data(), last, token, 16);
  if (error != std::errc() || end == text.data() || (end < last && *end != '\n')) return 0;
  return token;
}

bool WriteToken(const std::string& file, std::uint64_t token, bool durable) {
  char text[24];
  const int length = std::snprintf(text, sizeof text, "%016llx\n",
                                   static_cast<unsigned long long>(token));
  // Written beside the file under ".new" (created 0644 less the umask) and renamed over it.
  const ReplaceOptions options{.temporary = TemporaryName::kFixed,
                               .flush = durable ? Flush::kAll : Flush::kNone,
                               .suffix = ".new",
                               .create_mode = 0644};
  return ReplaceFileWithBytes(file, std::string_view(text, static_cast<std::size_t>(length)),
                              options) == 0;
}

}  // namespace

MirrorGeneration::MirrorGeneration(std::string file, bool durable)
    : file_(std::move(file)), durable_(durable) {
  const std::uint64_t token = ReadToken(file_);
  if (token != 0) {
    token_.store(token);
    return;
  }
  // Without a token of its own the mirror gets one now: pages marked under it in this patrol are
  // known as such in the next.
  Changing();
}

void MirrorGeneration::Changing() {
  if (renewed_.load(std::memory_order_acquire) && !marked_.load(std::memory_order_acquire)) return;
  std::lock_guard lock(mutex_);
  if (renewed_.load() && !marked_.load()) return;
  const std::uint64_t token = NewToken();
  // Pages marked under the old token must not pass for current, in this process or a later one:
  // without the new token on the disk, the old one goes (a missing file reads as a token of its
  // own) and no page is marked from now on.
  token_.store(token, std::memory_order_release);
  if (!WriteToken(file_, token, durable_)) {
    ::unlink(file_.c_str());
    usable_.store(false, std::memory_order_release);
  }
  marked_.store(false);
  renewed_.store(true, std::memory_order_release);
}

}  // namespace qlm

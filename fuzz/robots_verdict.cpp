// Feeds arbitrary robots.txt files and paths to RobotsVerdict. Besides never crashing, the
// verdict is 0 or 1 and does not depend on which line ends the file uses.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/RobotsRules.h"

namespace {

std::string WithLineEnds(const std::string& text, const char* end) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

// Builds a file of lines that the reader recognises, so that records and rules are met often:
// each line is a field name from a short list followed by fuzzed bytes and a line end.
std::string StructuredFile(FuzzedDataProvider& input) {
  static constexpr std::array<const char*, 9> kNames = {"User-agent: ",
                                                        "User-agent: *",
                                                        "User-agent: Quillmere",
                                                        "Disallow: ",
                                                        "Disallow: /",
                                                        "Allow: ",
                                                        "allow:/",
                                                        "# ",
                                                        "Sitemap: "};
  static constexpr std::array<const char*, 3> kEnds = {"\n", "\r\n", "\r"};
  std::string file;
  while (input.remaining_bytes() > 0) {
    file += input.PickValueInArray(kNames);
    file += input.ConsumeRandomLengthString(24);
    file += input.PickValueInArray(kEnds);
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string agent = input.ConsumeBool() ? "Quillmere" : input.ConsumeRandomLengthString(16);
  const std::string path = input.ConsumeRandomLengthString(256);
  const std::string file =
      input.ConsumeBool() ? StructuredFile(input) : input.ConsumeRemainingBytesAsString();

  const int verdict = qlm::RobotsVerdict(file, agent, path);
  if (verdict != 0 && verdict != 1) std::abort();
  // A CR before every LF only adds empty lines, and a lone CR ends a line as LF does.
  if (qlm::RobotsVerdict(WithLineEnds(file, "\r\n"), agent, path) != verdict) std::abort();
  if (qlm::RobotsVerdict(WithLineEnds(file, "\r"), agent, path) != verdict) std::abort();
  return 0;
}

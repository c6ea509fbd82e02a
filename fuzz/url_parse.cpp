// Feeds arbitrary bytes to CUrl::Parse and checks what every parsed URL must satisfy: its
// parts fit together, no part breaks its limit, and parsing the rebuilt URL gives it back.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/CUrl.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckParts(const qlm::CUrl& url) {
  Check(url.Error() == qlm::kUrlParsed);
  Check(url.Scheme() == qlm::kSchemeHttp || url.Scheme() == qlm::kSchemeHttps ||
        url.Scheme() == qlm::kSchemeFile);
  Check(url.IsWeb() == (url.Scheme() != qlm::kSchemeFile));
  Check(url.Text().starts_with(url.Scheme() == qlm::kSchemeHttps  ? "https://"
                               : url.Scheme() == qlm::kSchemeHttp ? "http://"
                                                                  : "file://"));
  Check(!url.Path().empty() && url.Path().front() == '/');
  Check(url.UrlWithoutQuery() == std::string(url.SiteUrl()) + url.Path());
  Check(url.RequestTarget() == (url.Query() ? url.Path() + "?" + *url.Query() : url.Path()));
  Check(url.Text().starts_with(url.UrlWithoutQuery()));
  Check(url.DirectoryUrl().starts_with(url.SiteUrl()));
  Check(!(url.Query() && url.Fragment()));
  Check(!url.Query() || url.Query()->size() <= qlm::kUrlPartLimit);
  Check(!url.Fragment() || url.Fragment()->size() <= qlm::kUrlPartLimit);
  // Normalised paths hold no dot segments, and each segment keeps to the limit.
  const std::string& path = url.Path();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start + 1);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment = std::string_view(path).substr(start, end - start);
    Check(segment.size() <= qlm::kUrlPartLimit);
    Check(segment != "/." && segment != "/..");
    start = end;
  }
  Check(url.FileName().has_value() == (path.back() != '/'));
  Check(url.FileType() >= qlm::kFileTypeNone && url.FileType() <= qlm::kFileTypeOther);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Most inputs get a scheme and host up front, so that the fuzzer spends its time in the
  // path, query and fragment rather than in the first few bytes.
  static constexpr std::array<const char*, 10> kPrefixes = {"",
                                                            "http://",
                                                            "http://host/",
                                                            "http://10.0.0.1:80/a/",
                                                            "https://",
                                                            "https://host/",
                                                            "HTTPS://h:443/a/",
                                                            "file:///",
                                                            "file://host/c:/",
                                                            "https://10.0.0.1:8443/"};
  FuzzedDataProvider input(data, size);
  const std::string text =
      input.PickValueInArray(kPrefixes) + input.ConsumeRemainingBytesAsString();

  std::string slashed(text);
  qlm::CUrl::BackslashToSlash(slashed);
  Check(slashed.size() == text.size());
  if (auto decoded = qlm::CUrl::UnescapeUrl(text)) Check(decoded->size() <= text.size());

  qlm::CUrl url;
  if (!url.Parse(text)) {
    Check(url.Error() < 0 && url.Error() >= qlm::kUrlAboveRoot);
    return 0;
  }
  CheckParts(url);

  qlm::CUrl again;
  Check(again.Parse(url.Text()));
  CheckParts(again);
  Check(again.Text() == url.Text());
  Check(again.Path() == url.Path());
  Check(again.Query() == url.Query());
  Check(again.Fragment() == url.Fragment());
  Check(again.FileType() == url.FileType());
  Check(again.Scheme() == url.Scheme());
  return 0;
}

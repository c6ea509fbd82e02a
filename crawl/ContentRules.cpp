#include "crawl/ContentRules.h"

#include <fcntl.h>
#include <unistd.h>

#include "crawl/LocalPath.h"
#include "net/CHttpHeaders.h"
#include "net/CUrl.h"

namespace qlm {

bool StartsLikeExecutable(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[kExecutableHeader.size()];
  std::size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::read(fd, head + got, sizeof head - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == sizeof head && std::string_view(head, got) == kExecutableHeader;
}

bool IsPageType(int file_type) {
  return file_type == kFileTypeNone || file_type == kFileTypeHtml;
}

std::string_view CgiVariantFor(int fetched_type, int media_type, std::string_view media_subtype) {
  const bool cgi = fetched_type == kFileTypeCgi;
  const bool text = media_type == kMediaText;
  const bool image = media_type == kMediaImage;
  if (IsPageType(fetched_type) || (cgi && text && media_subtype == "HTML")) {
    return kCgiVariants[0];
  }
  if (fetched_type == kFileTypeJpeg || (cgi && image && media_subtype == "JPEG")) {
    return kCgiVariants[1];
  }
  if (fetched_type == kFileTypeGif || (cgi && image && media_subtype == "GIF")) {
    return kCgiVariants[2];
  }
  return kCgiVariants[3];
}

}  // namespace qlm

#pragma once

#include <cstddef>

namespace qlm {

// Where a request hands the body bytes of a reply, as they arrive. A sink may be a file that
// grows as the transfer goes on (the crawl engine's temporary file) or memory.
class IHttpBodySink {
 public:
  virtual ~IHttpBodySink() = default;
  // Takes size bytes. False when they could not be kept: the transfer then ends as failed, since
  // a body with a hole in it is no body.
  virtual bool WriteBody(const char* data, size_t size) = 0;
};

}  // namespace qlm

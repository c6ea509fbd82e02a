#pragma once

#include <string>

#include "project/LinkRecord.h"

namespace qlm {

// Where the crawl engine hands every JPEG it has stored (a URL of file type jpeg, or a cgi reply
// stored as its JPEG variant). The picture pick-up implements it; the crawl engine knows nothing
// more about pictures. Called on the network worker thread, right after the file took its local
// name; the implementation must not block for long.
class PictureHook {
 public:
  virtual ~PictureHook() = default;
  // `record` is the link record that was fetched; `stored_file` the picture's file in the mirror.
  virtual void PickUp(const LinkRecord& record, const std::string& stored_file) = 0;
};

}  // namespace qlm

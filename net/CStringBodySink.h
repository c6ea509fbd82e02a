#pragma once

#include <string>

#include "net/IHttpBodySink.h"

namespace qlm {

// Keeps a body in memory (small replies such as robots.txt, and tests).
class CStringBodySink : public IHttpBodySink {
 public:
  bool WriteBody(const char* data, size_t size) override {
    body_.append(data, size);
    return true;
  }
  const std::string& Body() const { return body_; }
  void Clear() { body_.clear(); }

 private:
  std::string body_;
};

}  // namespace qlm

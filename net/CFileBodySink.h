#pragma once

#include <cstdint>
#include <string>

#include "net/IHttpBodySink.h"

namespace qlm {

// Appends a body to a file as it arrives. The file stays open between writes, so a large body
// costs one write call per piece and no reopening.
class CFileBodySink : public IHttpBodySink {
 public:
  CFileBodySink() = default;
  ~CFileBodySink() override;
  CFileBodySink(const CFileBodySink&) = delete;
  CFileBodySink& operator=(const CFileBodySink&) = delete;

  // Creates the file empty; with exclusive set an existing file is an error (EEXIST). False with
  // the errno in LastError() on failure.
  bool Create(const std::string& path, bool exclusive);
  // Opens an existing file (or creates it) for appending at its end.
  bool OpenAppend(const std::string& path);
  // Closes the file; false when the close reported an error (data may be lost).
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

  bool WriteBody(const char* data, size_t size) override;

  // errno of the last failed operation, 0 when none failed.
  int LastError() const { return last_error_; }
  // Bytes written since the file was opened.
  int64_t BytesWritten() const { return written_; }

 private:
  bool OpenWith(const std::string& path, int flags);

  int fd_ = -1;  // -1 when no file is open
  int last_error_ = 0;
  int64_t written_ = 0;
};

}  // namespace qlm

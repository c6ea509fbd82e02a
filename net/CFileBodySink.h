#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
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
  // Opens an existing file cut to nothing; ENOENT in LastError() when there is none.
  bool Reopen(const std::string& path);
  // Writes into `fd`, a file opened for writing elsewhere, from now on; closes it as its own.
  void Adopt(int fd);
  // Closes the file; false when the close reported an error (data may be lost).
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The open file's descriptor (-1 when none is open), for what goes with the file besides its
  // bytes.
  int Descriptor() const { return fd_; }

  // Writes every byte or fails: false with the errno in LastError() when the file system
  // refused them, or when they would pass a limit (Refused() then tells; nothing is written).
  bool WriteBody(const char* data, size_t size) override;

  // Bounds on every body written from now on: at most `max_bytes` in the file (EFBIG), and never
  // less than `reserve_bytes` left free on its file system (ENOSPC), so that an endless body
  // cannot fill the disk. 0 means no bound.
  void SetLimits(int64_t max_bytes, int64_t reserve_bytes) {
    max_bytes_ = max_bytes;
    if (reserve_bytes != reserve_bytes_) checked_until_ = 0;
    reserve_bytes_ = reserve_bytes;
  }
  // The last failure was a limit of SetLimits, not the file system's.
  bool Refused() const { return refused_; }

  // Keeps the first `limit` bytes of what is written from now on in memory too (until another
  // file is opened), so that a reader of a small body needs no read of the file.
  void KeepCopy(std::size_t limit) {
    keep_limit_ = limit;
    kept_.clear();
  }
  // Gives back the memory of the kept bytes (a sink that will keep none for a while).
  void DropKept() {
    keep_limit_ = 0;
    std::string().swap(kept_);
  }
  // The bytes kept; everything written since the file was opened when KeptWhole().
  const std::string& Kept() const { return kept_; }
  bool KeptWhole() const { return static_cast<std::size_t>(written_) == kept_.size(); }

  // errno of the last failed operation, 0 when none failed.
  int LastError() const { return last_error_; }
  // Bytes written since the file was opened.
  int64_t BytesWritten() const { return written_; }
  // The last-write time of the file as its Close found it (what a look-up of the file tells until
  // it is written again); nothing before the file was closed, or when it could not be told.
  std::optional<std::chrono::system_clock::time_point> LastWrite() const { return last_write_; }

 private:
  bool OpenWith(const std::string& path, int flags);
  // Whether `size` more bytes keep within the limits; sets the error and Refused() when not.
  bool WithinLimits(size_t size);

  int fd_ = -1;  // -1 when no file is open
  int last_error_ = 0;
  int64_t written_ = 0;
  int64_t max_bytes_ = 0;      // 0: no bound
  int64_t reserve_bytes_ = 0;  // 0: no bound
  // Bytes written into all the files the sink had. The file system's free space is asked again
  // once they pass checked_until_; until then the reserve holds (the last answer left room up to
  // here), from one body to the next: a look for every body cost a call for every file stored.
  int64_t all_written_ = 0;
  int64_t checked_until_ = 0;
  bool refused_ = false;
  std::size_t keep_limit_ = 0;
  std::string kept_;
  std::optional<std::chrono::system_clock::time_point> last_write_;
};

}  // namespace qlm

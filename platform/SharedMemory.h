#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qlm {

// A named block of memory shared between programs ("Quillmere Memory Mapped File"): a POSIX
// shared-memory object whose name is derived from the block's name, the user and the runtime
// folder, so that two users (or two private homes of one user) never meet each other's blocks.
// Objects are created readable by their owner only, and an object that another user owns or has
// opened to others is never opened for reading.
//
// One object, one mapping. Closing unmaps; the creator also withdraws the name then, so a block
// lives from Create to the creator's Close, and programs that mapped it keep their view until they
// close theirs. Not thread-safe: one thread at a time uses an object.
class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory() { Close(); }
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Makes a fresh block of exactly `size` bytes (> 0), its memory reserved in full so that
  // writing it can never fault, and maps it for writing; a block left under the same name (by a
  // program that ended without closing it) is replaced. False with Error() an errno when any step
  // fails: ENOSPC when the memory cannot be had, EEXIST when another user holds the name.
  bool Create(const std::string& name, size_t size);
  // Maps the whole of an existing block for reading. False with Error(): ENOENT when there is no
  // such block, EPERM when it belongs to another user or others may open it.
  bool OpenForReading(const std::string& name);
  void Close();

  bool IsOpen() const { return data_ != nullptr; }
  std::uint8_t* Data() { return data_; }
  const std::uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  int Error() const { return error_; }

  // The object name for a block name: "/quillmere-<uid>-<runtime folder hash>-<escaped name>".
  // Empty when the runtime folder is unusable.
  static std::string ObjectName(const std::string& name, uid_t uid);

 private:
  bool Fail(int fd);

  std::uint8_t* data_ = nullptr;  // the mapping, exactly size_ bytes; null while closed
  size_t size_ = 0;
  std::string created_;  // the object name while this object is the creator, else empty
  int error_ = 0;
};

}  // namespace qlm

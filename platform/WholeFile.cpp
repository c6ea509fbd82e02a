#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace qlm {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string RandomSuffix() {
  static constexpr std::string_view kLetters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string suffix(".XXXXXX");
  for (std::size_t i = 1; i < suffix.size(); ++i) suffix[i] = kLetters[random() % kLetters.size()];
  return suffix;
}

std::string HiddenName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  char buf[64];
  std::snprintf(buf, sizeof buf, "/.qlm?%d-%u", static_cast<int>(::getpid()), counter++);
  return FolderOf(path) + buf;
}

// Opens the temporary file for `path`; -1 with errno set when none can be made.
int OpenTemporary(const std::string& path, const ReplaceOptions& options, std::string& name) {
  constexpr int kNew = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
  const mode_t mode = options.create_mode;
  switch (options.temporary) {
    case TemporaryName::kFixed:
      name = path + std::string(options.suffix);
      return ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    case TemporaryName::kHidden:
      name = HiddenName(path);
      return ::open(name.c_str(), kNew, mode);
    case TemporaryName::kSuffixed:
      break;
  }
  // A name taken already is tried again with other letters, as often as mkstemp(3) would.
  for (int attempt = 0; attempt < 62 * 62 * 62; ++attempt) {
    name = path + RandomSuffix();
    const int fd = ::open(name.c_str(), kNew, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int Flushed(int fd, Flush flush) {
  switch (flush) {
    case Flush::kNone:
      return 0;
    case Flush::kData:
      return ::fdatasync(fd) == 0 ? 0 : errno;
    case Flush::kAll:
      return ::fsync(fd) == 0 ? 0 : errno;
  }
  return 0;
}

}  // namespace

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int ReplaceFile(const std::string& path, const ReplaceOptions& options,
                const std::function<int(int fd)>& fill) {
  std::string temporary;
  const int fd = OpenTemporary(path, options, temporary);
  if (fd < 0) return errno;
  int error = options.mode && ::fchmod(fd, *options.mode) != 0 ? errno : 0;
  if (error == 0) error = fill(fd);
  if (error == 0) error = Flushed(fd, options.flush);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

int ReplaceFileWithBytes(const std::string& path, std::string_view bytes,
                         const ReplaceOptions& options) {
  return ReplaceFile(path, options, [bytes](int fd) { return WriteAll(fd, bytes); });
}

int ReplaceFileWithCopy(const std::string& path, const std::string& source,
                        const ReplaceOptions& options) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  const int error = ReplaceFile(path, options, [in](int fd) {
    char buf[65536];
    while (true) {
      const ssize_t n = ::read(in, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) return 0;
      if (const int e = WriteAll(fd, std::string_view(buf, static_cast<std::size_t>(n))); e != 0) {
        return e;
      }
    }
  });
  ::close(in);
  return error;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, int* error) {
  return ReadWholeFile(path, bytes, error, nullptr);
}

bool ReadWholeFile(const std::string& path, std::string& bytes, int* error,
                   const std::function<void(std::size_t size)>& sized) {
  bytes.clear();
  int failure = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    failure = errno;
  } else if (!S_ISREG(st.st_mode)) {
    failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else {
    // The file is read straight into place, as large as it was when opened; only a file that
    // told no size is read on until its end.
    const auto expected = static_cast<std::size_t>(st.st_size);
    if (sized) sized(expected);
    std::size_t got = 0;
    bytes.resize(expected > 0 ? expected : 65536);
    while (true) {
      if (got == bytes.size()) {
        if (expected > 0) break;
        bytes.resize(got + 65536);
      }
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        failure = errno;
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(failure == 0 ? got : 0);
  }
  if (fd >= 0) ::close(fd);
  if (error) *error = failure;
  return failure == 0;
}

}  // namespace qlm

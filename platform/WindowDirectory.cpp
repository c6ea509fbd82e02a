#include "platform/WindowDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Folders.h"
#include "platform/WindowTable.h"

namespace qlm {

namespace {

constexpr char kPrefix[] = "w-";
constexpr size_t kHexDigits = 16;
// An identity longer than this is not one we wrote; it is skipped rather than read whole.
constexpr size_t kMaxIdentityBytes = 64 * 1024;

std::string EntryName(Hwnd hwnd) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%016llx", kPrefix, static_cast<unsigned long long>(hwnd));
  return name;
}

// The class and title of a published window; false when the file is missing or malformed.
bool ReadIdentity(Hwnd hwnd, std::string* class_name, std::string* title) {
  const int fd = open(WindowDirectory::IdentityPath(hwnd).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 && bytes.size() <= kMaxIdentityBytes) {
    bytes.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  const size_t nul = bytes.find('\0');
  if (n < 0 || nul == std::string::npos || bytes.size() > kMaxIdentityBytes) return false;
  *class_name = bytes.substr(0, nul);
  *title = bytes.substr(nul + 1);
  return true;
}

}  // namespace

std::string WindowDirectory::SocketPath(Hwnd hwnd) {
  const std::string folder = RuntimeFolder();
  return folder.empty() ? std::string() : folder + EntryName(hwnd);
}

std::string WindowDirectory::IdentityPath(Hwnd hwnd) {
  const std::string socket = SocketPath(hwnd);
  return socket.empty() ? std::string() : socket + ".id";
}

Hwnd WindowDirectory::HandleOfEntry(const std::string& entry) {
  if (entry.size() != 2 + kHexDigits || entry.compare(0, 2, kPrefix) != 0) return 0;
  Hwnd hwnd = 0;
  for (size_t i = 2; i < entry.size(); ++i) {
    const char c = entry[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return 0;
    }
    hwnd = hwnd << 4 | static_cast<Hwnd>(digit);
  }
  return hwnd;
}

int WindowDirectory::Connect(Hwnd hwnd, bool nonblocking) {
  const std::string path = SocketPath(hwnd);
  if (path.empty()) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd =
      socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  int result;
  do {
    result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool WindowDirectory::IsAlive(Hwnd hwnd) {
  if (hwnd == 0) return false;
  if (WindowTable::IsLocal(hwnd)) return WindowTable::Instance().QueueOf(hwnd) != nullptr;
  const int fd = Connect(hwnd, true);
  if (fd >= 0) {
    close(fd);
    return true;
  }
  if (errno == EAGAIN) return true;  // its backlog is full: alive, only slow
  if (errno == ECONNREFUSED) Remove(hwnd);
  return false;
}

Hwnd WindowDirectory::Find(const std::string& class_name, const std::string& title) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return 0;
  std::vector<std::string> entries;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (HandleOfEntry(entry->d_name) != 0) entries.emplace_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    const Hwnd hwnd = HandleOfEntry(entry);
    std::string found_class;
    std::string found_title;
    if (!ReadIdentity(hwnd, &found_class, &found_title)) continue;
    if (!class_name.empty() && found_class != class_name) continue;
    if (!title.empty() && found_title != title) continue;
    if (IsAlive(hwnd)) return hwnd;
    // A window of this process that is no longer in the table left entries behind: a program
    // that ran before with the same process id did.
    if (WindowTable::IsLocal(hwnd)) Remove(hwnd);
  }
  return 0;
}

void WindowDirectory::Remove(Hwnd hwnd) {
  const std::string socket = SocketPath(hwnd);
  if (socket.empty()) return;
  // The socket goes first: without it the identity is never read.
  unlink(socket.c_str());
  unlink((socket + ".id").c_str());
}

}  // namespace qlm

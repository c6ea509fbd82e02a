#pragma once

#include <string>

#include "platform/Message.h"

namespace qlm {

// The runtime folder's list of published windows, the windows that other programs find by class and
// title and message by handle. A published window has two entries there:
//   "w-<handle as 16 hex digits>"      its listening Unix-domain socket (SOCK_SEQPACKET);
//   "w-<handle as 16 hex digits>.id"   its class and title, as "class\0title".
// The identity file is written first and the socket is renamed into place only once it listens, so
// a socket that refuses a connection belongs to a program that ended without removing it (stale).
// Everything here reads the folder afresh; nothing is cached.
class WindowDirectory {
 public:
  // The entries of a handle; empty when the runtime folder is unusable.
  static std::string SocketPath(Hwnd hwnd);
  static std::string IdentityPath(Hwnd hwnd);
  // The handle an entry name stands for ("w-" and exactly 16 hex digits), 0 for any other name.
  static Hwnd HandleOfEntry(const std::string& entry);

  // Connects to a published window's socket (close-on-exec; non-blocking when asked). -1 with
  // errno when that fails: ECONNREFUSED when nobody listens (stale), ENOENT when there is no such
  // window, EAGAIN (non-blocking only) when its program has not taken up earlier connections yet,
  // ENAMETOOLONG when the runtime folder's path leaves no room for a socket name.
  static int Connect(Hwnd hwnd, bool nonblocking);

  // Whether a published window exists. This process's windows are looked up in the window table;
  // another program's by a connection attempt that its loop need not answer, so a busy program
  // counts as alive. The entries of a stale window are removed.
  static bool IsAlive(Hwnd hwnd);

  // A live published window with this class and title; an empty class or title matches any. When
  // several match, the one whose entry name sorts first. Stale entries met on the way are removed.
  // 0 when none matches.
  static Hwnd Find(const std::string& class_name, const std::string& title);

  // Removes both entries of a window; missing ones are no error.
  static void Remove(Hwnd hwnd);
};

}  // namespace qlm

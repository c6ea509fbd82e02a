#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/Message.h"

namespace qlm {

// Non-blocking IPv4 TCP sockets whose readiness arrives as window messages, as the asynchronous
// select of WinSock delivers it: wParam is the socket, lParam carries the event (FD_*) in its low
// word and a WinSock error in its high word. The events follow the same rules:
//   FD_CONNECT  once when a connect ends, with its error (also when it ended at once);
//   FD_READ     when data waits, then not again until the next WsRecv;
//   FD_WRITE    once the connection is up (or when selected on a connected socket), then again only
//               after a WsSend that would have blocked, once there is room;
//   FD_ACCEPT   when a connection waits, then not again until the next WsAccept;
//   FD_CLOSE    once, after the peer closed and every byte before its close has been read
//               (a reset reports WSAECONNRESET).
// Failures of a connect that concern the network (refused, unreachable, timed out) always arrive
// through FD_CONNECT, never from WsConnect itself, as they do with WinSock.
//
// Socket handles are never reused, so a notice that was still queued when its socket closed can
// never reach a later socket. Every call for a socket is made on the thread whose loop it is
// selected on.
using SocketHandle = std::uint64_t;
constexpr SocketHandle kInvalidSocket = 0;

// Creates a socket; kInvalidSocket with the WinSock error in `error` on failure.
SocketHandle WsSocket(int* error);
// 0 when connected at once, WSAEWOULDBLOCK while under way (FD_CONNECT tells the end), or an error
// about the call itself (WSAEISCONN, WSAEALREADY, WSAENOTSOCK, ...).
int WsConnect(SocketHandle s, const sockaddr_in& address);
// Sends what fits: 0 with `*sent` bytes taken (maybe fewer than `length`), WSAEWOULDBLOCK when
// nothing fitted, or an error.
int WsSend(SocketHandle s, const char* data, std::size_t length, std::size_t* sent);
// Receives up to `*length` bytes: 0 with `*length` set (0 at the end of the stream),
// WSAEWOULDBLOCK with `*length` 0 when nothing waits, or an error with `*length` 0.
int WsRecv(SocketHandle s, char* buffer, std::size_t* length);
// Closes the socket; notices still on their way are left to find no one. 0 or WSAENOTSOCK.
int WsCloseSocket(SocketHandle s);
// Asks for `events` (FD_* bits) as message `message` to `hwnd`, replacing an earlier request;
// 0 events stops the notices. The window must belong to the calling thread's loop, and the loop
// must have a poller. 0 or a WinSock error.
int WsAsyncSelect(SocketHandle s, Hwnd hwnd, unsigned message, long events);
// Binds to `address` (port 0: any free port) and listens. 0 or a WinSock error.
int WsListen(SocketHandle s, const sockaddr_in& address, int backlog);
// Takes a waiting connection; kInvalidSocket with WSAEWOULDBLOCK or another error when none.
SocketHandle WsAccept(SocketHandle s, int* error);
// Sends small writes at once instead of holding them until the peer acknowledged the last one
// (TCP_NODELAY): for a conversation of several small writes in a row, which the peer would
// otherwise acknowledge only after its delayed-ACK timer. 0 or a WinSock error.
int WsSetNoDelay(SocketHandle s);
// The socket's own address (port in network order). 0 or a WinSock error.
int WsLocalAddress(SocketHandle s, sockaddr_in* address);

// Test seam for addresses that cannot be reached on a machine without a network: when set, every
// connect first asks `fault` about its address; a non-zero WinSock error (WSAETIMEDOUT,
// WSAENETUNREACH, ...) makes that connect end with it through FD_CONNECT, without any traffic.
// An empty function removes the seam.
using ConnectFault = std::function<int(const sockaddr_in& address)>;
void WsSetConnectFault(ConnectFault fault);

// Number of sockets open now, for tests that check that nothing leaks.
std::size_t WsOpenSocketCount();

}  // namespace qlm

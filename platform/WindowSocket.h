#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/LoopQueue.h"
#include "platform/Message.h"
#include "platform/Poller.h"

namespace qlm {

// The listening socket of a published window and the connections other programs open to it, all
// served by the window's own loop through its Poller (so a toolkit's loop serves them as soon as
// its adapter provides a Poller). A posted frame joins the loop's queue like a local post; a sent
// frame is handled at once, on the owning thread, and answered on its connection.
//
// Open and Close run on the owning thread. A handler may destroy the window (and with it this
// object) while it handles a sent frame; the connection being served outlives it long enough to
// write the answer.
class WindowSocket final : private PollListener {
 public:
  WindowSocket() = default;
  ~WindowSocket() override;
  WindowSocket(const WindowSocket&) = delete;
  WindowSocket& operator=(const WindowSocket&) = delete;

  // Publishes the window: writes its identity, then listens on its socket in the runtime folder
  // (WindowDirectory). False with errno when any step fails; nothing is left behind then.
  bool Open(Hwnd hwnd, const std::string& class_name, const std::string& title,
            std::shared_ptr<Poller> poller, std::shared_ptr<LoopQueue> queue);
  // Removes the entries, stops listening and drops every connection. Harmless when not open.
  void Close();

 private:
  class Connection;

  void OnPollEvents(std::uint32_t events) override;  // the listening socket: accept
  void Drop(int fd);

  Hwnd hwnd_ = 0;
  int listen_fd_ = -1;  // open exactly while published
  std::shared_ptr<Poller> poller_;
  std::shared_ptr<LoopQueue> queue_;
  std::map<int, std::shared_ptr<Connection>> connections_;  // by descriptor
};

}  // namespace qlm

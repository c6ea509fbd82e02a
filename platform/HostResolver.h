#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qlm {

// Turns a host name into IPv4 addresses. The system's resolver in programs; tests put in one that
// answers from a table, so that a name can have several addresses without touching /etc/hosts.
class HostResolver {
 public:
  virtual ~HostResolver() = default;
  // Runs on a lookup thread, never on a loop. Fills `addresses` (network byte order) in the order
  // they are to be tried and returns 0, or returns a WinSock error (WSAHOST_NOT_FOUND, ...).
  virtual int Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) = 0;
};

}  // namespace qlm

#include "platform/SystemHostResolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "platform/WinSockErrors.h"

namespace qlm {

int SystemHostResolver::Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) {
  addresses->clear();
  if (name.empty()) return WSAHOST_NOT_FOUND;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  errno = 0;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (rc != 0) return WinSockErrorFromLookup(rc, errno);
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
    const std::uint32_t addr = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
    // getaddrinfo may list an address once per protocol; each is tried once.
    if (std::find(addresses->begin(), addresses->end(), addr) == addresses->end()) {
      addresses->push_back(addr);
    }
  }
  freeaddrinfo(list);
  return addresses->empty() ? WSANO_DATA : 0;
}

}  // namespace qlm

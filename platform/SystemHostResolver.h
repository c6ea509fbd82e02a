#pragma once

#include "platform/HostResolver.h"

namespace qlm {

// getaddrinfo for IPv4 stream addresses.
class SystemHostResolver final : public HostResolver {
 public:
  int Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) override;
};

}  // namespace qlm

#pragma once

#include <cstdint>

namespace qlm {

// Told when a CWSLookup ends (not when it is cancelled).
class ILookupOwner {
 public:
  virtual ~ILookupOwner() = default;
  // error: 0 when the lookup found the host, else the WinSock error.
  virtual void OnLookupEnd(std::uint32_t cookie, int error) = 0;
};

}  // namespace qlm

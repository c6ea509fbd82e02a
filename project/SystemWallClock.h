#pragma once

#include "project/WallClock.h"

namespace qlm {

// The system's real time and its local time zone (TZ and the system's zone data).
class SystemWallClock final : public WallClock {
 public:
  std::int64_t NowSeconds() const override;
  LocalTime ToLocal(std::int64_t seconds) const override;
};

}  // namespace qlm

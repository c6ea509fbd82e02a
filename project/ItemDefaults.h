#pragma once

#include <cstdint>
#include <string>

#include "project/ItemOption.h"
#include "project/ProjectItem.h"

namespace qlm {

// The last step of option inheritance: what applies when no level of a project tree sets an
// option. The application settings answer it; tests answer it with fixed values.
class ItemDefaults {
 public:
  virtual ~ItemDefaults() = default;

  // The application's value of an option (its built-in value where the setting itself is unset).
  // Group members answer as the settings do: the built-in values while the group flag is unset.
  virtual int32_t DefaultOption(ItemOption option) const = 0;
  virtual std::string DefaultString(ItemString option) const = 0;

  // An item's value after inheritance and the application default. A group comes whole from the
  // supplying item or, when no item sets its flag, whole from the application; a member that the
  // supplying item leaves unset falls back to the application's member. An unset PilotType reads
  // as normal.
  int32_t Resolve(const ProjectItem& item, ItemOption option) const;
  std::string Resolve(const ProjectItem& item, ItemString option) const;
};

}  // namespace qlm

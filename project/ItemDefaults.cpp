#include "project/ItemDefaults.h"

namespace qlm {

int32_t ItemDefaults::Resolve(const ProjectItem& item, ItemOption option) const {
  if (const auto group = GroupOf(option); group && !item.GroupSupplier(*group)) {
    return DefaultOption(option);
  }
  const int32_t value = item.Effective(option);
  if (value != kUnset) return value;
  if (option == ItemOption::PilotType) return kPilotNormal;
  return DefaultOption(option);
}

std::string ItemDefaults::Resolve(const ProjectItem& item, ItemString option) const {
  if (const std::string* value = item.EffectiveString(option)) return *value;
  return DefaultString(option);
}

}  // namespace qlm

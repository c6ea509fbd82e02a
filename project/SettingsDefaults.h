#pragma once

#include "project/AppSettings.h"
#include "project/ItemDefaults.h"

namespace qlm {

// The application settings as the last step of item option inheritance.
class SettingsDefaults : public ItemDefaults {
 public:
  explicit SettingsDefaults(const AppSettings& settings) : settings_(settings) {}

  int32_t DefaultOption(ItemOption option) const override;
  std::string DefaultString(ItemString option) const override;

 private:
  const AppSettings& settings_;
};

}  // namespace qlm

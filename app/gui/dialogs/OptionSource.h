#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "project/AppSettings.h"
#include "project/ItemDefaults.h"
#include "project/ItemOption.h"
#include "project/ProjectItem.h"

namespace qlm {

// The patrol options that the pages "巡回" and the extension pages edit, seen from one level: its
// own values (kUnset where it does not set one) and what applies when it does not. The settings
// sheet edits the application defaults, whose fallback is the built-in value; the item sheet
// edits an item, whose fallback is its parents' value and then the application default.
class OptionSource {
 public:
  virtual ~OptionSource() = default;
  virtual int32_t Own(ItemOption option) const = 0;
  virtual std::string OwnString(ItemString option) const = 0;
  // The value that would apply if this level did not set the option; for a member of a group, if
  // it did not set the group's flag (a group is taken whole).
  virtual int32_t Inherited(ItemOption option) const = 0;
  virtual std::string InheritedString(ItemString option) const = 0;
};

// The application's setting behind an item option (GraphMax is "LinkMax", DLTotalTimeout
// "TotalTimeout", DLoadRetry "DLRetry"; the others share their names).
AppNumber AppNumberOf(ItemOption option);
AppText AppTextOf(ItemString option);
// The i-th of the seven extension lists that start at `first` (kExtLists or kUVExtLists).
inline ItemString ExtList(ItemString first, std::size_t i) {
  return static_cast<ItemString>(static_cast<int>(first) + static_cast<int>(i));
}

class AppOptionSource final : public OptionSource {
 public:
  explicit AppOptionSource(const AppSettings& settings) : settings_(settings) {}
  int32_t Own(ItemOption option) const override;
  std::string OwnString(ItemString option) const override;
  int32_t Inherited(ItemOption option) const override;
  std::string InheritedString(ItemString option) const override;

 private:
  const AppSettings& settings_;
};

class ItemOptionSource final : public OptionSource {
 public:
  ItemOptionSource(const ProjectItem& item, const ItemDefaults& defaults)
      : item_(item), defaults_(defaults) {}
  int32_t Own(ItemOption option) const override { return item_.Own(option); }
  std::string OwnString(ItemString option) const override { return item_.OwnString(option); }
  int32_t Inherited(ItemOption option) const override;
  std::string InheritedString(ItemString option) const override;

 private:
  const ProjectItem& item_;
  const ItemDefaults& defaults_;
};

}  // namespace qlm

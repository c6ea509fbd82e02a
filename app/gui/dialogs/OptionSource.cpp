#include "app/gui/dialogs/OptionSource.h"

#include <optional>

namespace qlm {

AppNumber AppNumberOf(ItemOption option) {
  switch (option) {
    case ItemOption::BGColor:
      return AppNumber::BGColor;
    case ItemOption::MUDrawType:
      return AppNumber::MUDrawType;
    case ItemOption::MUDrawSpeed:
      return AppNumber::MUDrawSpeed;
    case ItemOption::IMGSW:
      return AppNumber::IMGSW;
    case ItemOption::MinPicWidth:
      return AppNumber::MinPicWidth;
    case ItemOption::MinPicHeight:
      return AppNumber::MinPicHeight;
    case ItemOption::PilotArea:
      return AppNumber::PilotArea;
    case ItemOption::RenewalType:
      return AppNumber::RenewalType;
    case ItemOption::NoCache:
      return AppNumber::NoCache;
    case ItemOption::ConnectionTimeout:
      return AppNumber::ConnectionTimeout;
    case ItemOption::ReplyRcvTimeout:
      return AppNumber::ReplyRcvTimeout;
    case ItemOption::CtlRcvTimeout:
      return AppNumber::CtlRcvTimeout;
    case ItemOption::DataRcvTimeout:
      return AppNumber::DataRcvTimeout;
    case ItemOption::CloseTimeout:
      return AppNumber::CloseTimeout;
    case ItemOption::DLTotalTimeout:
      return AppNumber::TotalTimeout;
    case ItemOption::DLoadRetry:
      return AppNumber::DLRetry;
    case ItemOption::GraphMax:
      return AppNumber::LinkMax;
    case ItemOption::AccessInterval:
      return AppNumber::AccessInterval;
    case ItemOption::LocalizeLink:
      return AppNumber::LocalizeLink;
    case ItemOption::UseHttpPassword:
      return AppNumber::UseHttpPassword;
    case ItemOption::UseExtFilter:
      return AppNumber::UseExtFilter;
    case ItemOption::DLNoExt:
      return AppNumber::DLNoExt;
    case ItemOption::UseUVExtFilter:
      return AppNumber::UseUVExtFilter;
    case ItemOption::NotDLNoExt:
      return AppNumber::NotDLNoExt;
    case ItemOption::PilotType:
      break;  // an item's own mark; no application setting
  }
  return AppNumber::kCount;
}

AppText AppTextOf(ItemString option) {
  // The string options and their application counterparts are listed in the same order.
  const auto offset = static_cast<int>(option) - static_cast<int>(ItemString::HttpUserID);
  return static_cast<AppText>(static_cast<int>(AppText::HttpUserID) + offset);
}

int32_t AppOptionSource::Own(ItemOption option) const {
  const AppNumber number = AppNumberOf(option);
  return number == AppNumber::kCount ? kUnset : settings_.Stored(number);
}

std::string AppOptionSource::OwnString(ItemString option) const {
  return settings_.Stored(AppTextOf(option));
}

int32_t AppOptionSource::Inherited(ItemOption option) const {
  const AppNumber number = AppNumberOf(option);
  if (number == AppNumber::kCount) return kUnset;
  // The getter's built-in value: what it answers for an unset value (an unset group).
  AppSettings unset = settings_;
  unset.SetStored(number, kUnset);
  if (const std::optional<OptionGroup> group = GroupOf(option)) {
    unset.SetStored(AppNumberOf(GroupFlag(*group)), kUnset);
  }
  return unset.Number(number);
}

std::string AppOptionSource::InheritedString(ItemString option) const {
  AppSettings unset = settings_;
  unset.SetStored(AppNumberOf(GroupFlag(GroupOf(option))), kUnset);
  return unset.Text(AppTextOf(option));
}

int32_t ItemOptionSource::Inherited(ItemOption option) const {
  const ProjectItem* parent = item_.Parent();
  return parent != nullptr ? defaults_.Resolve(*parent, option) : defaults_.DefaultOption(option);
}

std::string ItemOptionSource::InheritedString(ItemString option) const {
  const ProjectItem* parent = item_.Parent();
  return parent != nullptr ? defaults_.Resolve(*parent, option) : defaults_.DefaultString(option);
}

}  // namespace qlm

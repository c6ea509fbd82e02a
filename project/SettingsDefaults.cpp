#include "project/SettingsDefaults.h"

namespace qlm {

int32_t SettingsDefaults::DefaultOption(ItemOption option) const {
  switch (option) {
    case ItemOption::BGColor:
      return settings_.Number(AppNumber::BGColor);
    case ItemOption::MUDrawType:
      return settings_.Number(AppNumber::MUDrawType);
    case ItemOption::MUDrawSpeed:
      return settings_.Number(AppNumber::MUDrawSpeed);
    case ItemOption::IMGSW:
      return settings_.Number(AppNumber::IMGSW);
    case ItemOption::MinPicWidth:
      return settings_.Number(AppNumber::MinPicWidth);
    case ItemOption::MinPicHeight:
      return settings_.Number(AppNumber::MinPicHeight);
    case ItemOption::PilotArea:
      return settings_.Number(AppNumber::PilotArea);
    case ItemOption::RenewalType:
      return settings_.Number(AppNumber::RenewalType);
    case ItemOption::NoCache:
      return settings_.Number(AppNumber::NoCache);
    case ItemOption::ConnectionTimeout:
      return settings_.Number(AppNumber::ConnectionTimeout);
    case ItemOption::ReplyRcvTimeout:
      return settings_.Number(AppNumber::ReplyRcvTimeout);
    case ItemOption::CtlRcvTimeout:
      return settings_.Number(AppNumber::CtlRcvTimeout);
    case ItemOption::DataRcvTimeout:
      return settings_.Number(AppNumber::DataRcvTimeout);
    case ItemOption::CloseTimeout:
      return settings_.Number(AppNumber::CloseTimeout);
    case ItemOption::DLTotalTimeout:
      return settings_.Number(AppNumber::TotalTimeout);
    case ItemOption::DLoadRetry:
      return settings_.Number(AppNumber::DLRetry);
    case ItemOption::GraphMax:
      return settings_.Number(AppNumber::LinkMax);
    case ItemOption::AccessInterval:
      return settings_.Number(AppNumber::AccessInterval);
    case ItemOption::PilotType:
      return kPilotNormal;  // no application setting: an unset mark is a normal item
    case ItemOption::LocalizeLink:
      return settings_.Number(AppNumber::LocalizeLink);
    case ItemOption::UseHttpPassword:
      return settings_.Number(AppNumber::UseHttpPassword);
    case ItemOption::UseExtFilter:
      return settings_.Number(AppNumber::UseExtFilter);
    case ItemOption::DLNoExt:
      return settings_.Number(AppNumber::DLNoExt);
    case ItemOption::UseUVExtFilter:
      return settings_.Number(AppNumber::UseUVExtFilter);
    case ItemOption::NotDLNoExt:
      return settings_.Number(AppNumber::NotDLNoExt);
  }
  return kUnset;
}

std::string SettingsDefaults::DefaultString(ItemString option) const {
  // The string options and their application counterparts are listed in the same order.
  static_assert(static_cast<int>(AppText::UVExtOthers) - static_cast<int>(AppText::HttpUserID) ==
                static_cast<int>(ItemString::UVExtOthers) -
                    static_cast<int>(ItemString::HttpUserID));
  const auto offset = static_cast<int>(option) - static_cast<int>(ItemString::HttpUserID);
  return settings_.Text(static_cast<AppText>(static_cast<int>(AppText::HttpUserID) + offset));
}

}  // namespace qlm

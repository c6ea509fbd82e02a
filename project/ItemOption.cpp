#include "project/ItemOption.h"

#include <array>

namespace qlm {

namespace {

constexpr std::array<std::string_view, kItemOptionCount> kOptionNames = {
    "BGColor",         "MUDrawType",    "MUDrawSpeed",    "IMGSW",          "MinPicWidth",
    "MinPicHeight",    "PilotArea",     "RenewalType",    "NoCache",        "ConnectionTimeout",
    "ReplyRcvTimeout", "CtlRcvTimeout", "DataRcvTimeout", "CloseTimeout",   "DLTotalTimeout",
    "DLoadRetry",      "GraphMax",      "AccessInterval", "PilotType",      "LocalizeLink",
    "UseHttpPassword", "UseExtFilter",  "DLNoExt",        "UseUVExtFilter", "NotDLNoExt",
};

constexpr std::array<std::string_view, kItemStringCount> kStringNames = {
    "HttpUserID", "HttpPassword",   "ExtHtml",          "ExtText",     "ExtImage",  "ExtAudio",
    "ExtVideo",   "ExtApplication", "ExtOthers",        "UVExtHtml",   "UVExtText", "UVExtImage",
    "UVExtAudio", "UVExtVideo",     "UVExtApplication", "UVExtOthers",
};

}  // namespace

std::string_view OptionName(ItemOption option) {
  return kOptionNames[static_cast<std::size_t>(option)];
}

std::string_view OptionName(ItemString option) {
  return kStringNames[static_cast<std::size_t>(option)];
}

std::optional<OptionGroup> GroupOf(ItemOption option) {
  switch (option) {
    case ItemOption::UseHttpPassword:
      return OptionGroup::HttpPassword;
    case ItemOption::UseExtFilter:
    case ItemOption::DLNoExt:
      return OptionGroup::ExtFilter;
    case ItemOption::UseUVExtFilter:
    case ItemOption::NotDLNoExt:
      return OptionGroup::UVExtFilter;
    default:
      return std::nullopt;
  }
}

OptionGroup GroupOf(ItemString option) {
  if (option <= ItemString::HttpPassword) return OptionGroup::HttpPassword;
  if (option <= ItemString::ExtOthers) return OptionGroup::ExtFilter;
  return OptionGroup::UVExtFilter;
}

ItemOption GroupFlag(OptionGroup group) {
  switch (group) {
    case OptionGroup::HttpPassword:
      return ItemOption::UseHttpPassword;
    case OptionGroup::ExtFilter:
      return ItemOption::UseExtFilter;
    case OptionGroup::UVExtFilter:
      break;
  }
  return ItemOption::UseUVExtFilter;
}

}  // namespace qlm

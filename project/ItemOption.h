#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qlm {

// The numeric options every project item carries, in the order of the item's fields. The names
// are the project file's keywords, except MinPicWidth and MinPicHeight, which the file writes
// together as "MinPicSize".
enum class ItemOption : uint8_t {
  BGColor,
  MUDrawType,
  MUDrawSpeed,
  IMGSW,
  MinPicWidth,
  MinPicHeight,
  PilotArea,
  RenewalType,
  NoCache,
  ConnectionTimeout,
  ReplyRcvTimeout,
  CtlRcvTimeout,
  DataRcvTimeout,
  CloseTimeout,
  DLTotalTimeout,
  DLoadRetry,
  GraphMax,
  AccessInterval,
  PilotType,
  LocalizeLink,
  UseHttpPassword,
  UseExtFilter,
  DLNoExt,
  UseUVExtFilter,
  NotDLNoExt,
};
inline constexpr std::size_t kItemOptionCount = 25;

// The string options; all of them belong to one of the three option groups.
enum class ItemString : uint8_t {
  HttpUserID,
  HttpPassword,
  ExtHtml,
  ExtText,
  ExtImage,
  ExtAudio,
  ExtVideo,
  ExtApplication,
  ExtOthers,
  UVExtHtml,
  UVExtText,
  UVExtImage,
  UVExtAudio,
  UVExtVideo,
  UVExtApplication,
  UVExtOthers,
};
inline constexpr std::size_t kItemStringCount = 16;

// Options that inherit as a whole: the first item (from the item towards the root) whose group
// flag is set supplies the flag and every member.
enum class OptionGroup : uint8_t { HttpPassword, ExtFilter, UVExtFilter };

// The value of an option that an item does not set.
inline constexpr int32_t kUnset = -1;

// Option values with names of their own.
inline constexpr int32_t kPilotNormal = 0;
inline constexpr int32_t kPilotForbidden = 1;
inline constexpr int32_t kPilotSelected = 2;

// The keyword of an option or string option ("MinPicWidth"/"MinPicHeight" for the two halves of
// "MinPicSize").
std::string_view OptionName(ItemOption option);
std::string_view OptionName(ItemString option);

// The group an option belongs to (its flag or a member), if any.
std::optional<OptionGroup> GroupOf(ItemOption option);
OptionGroup GroupOf(ItemString option);
ItemOption GroupFlag(OptionGroup group);

// The first of the seven extension lists of a filter group (ExtHtml or UVExtHtml); the seven lists
// follow it in enum order.
inline constexpr ItemString kExtLists = ItemString::ExtHtml;
inline constexpr ItemString kUVExtLists = ItemString::UVExtHtml;
inline constexpr std::size_t kExtListCount = 7;

}  // namespace qlm

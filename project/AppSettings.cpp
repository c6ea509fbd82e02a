#include "project/AppSettings.h"

#include <cstdint>
#include <utility>

#include "net/CUrl.h"
#include "platform/Folders.h"
#include "project/Scramble.h"

namespace qlm {

namespace {

constexpr auto kNumbers = static_cast<size_t>(AppNumber::kCount);
constexpr auto kTexts = static_cast<size_t>(AppText::kCount);
constexpr AppNumber kNoGroup = AppNumber::kCount;
constexpr int32_t kKeep = INT32_MIN;  // no built-in value: a stored -1 is given out as -1

// One value of the settings, as the settings file and the settings sheet know it.
struct Row {
  bool is_text;
  AppNumber number;       // when !is_text
  AppText text;           // when is_text
  std::string_view name;  // value name in the settings file
  int32_t read_default;   // number when the file has none (texts default to empty or a folder)
  int32_t built_in;       // number given out for a stored -1, or kKeep
  int32_t low, high;      // OK range; none when low > high
  AppNumber group;        // the group flag of a member, or kNoGroup
  std::string_view built_in_text;  // a member's text while its group flag is -1
  bool scrambled;                  // a password, scrambled in the file
};

constexpr Row NumberRow(AppNumber id, std::string_view name, int32_t read_default,
                        int32_t built_in = kKeep, int32_t low = 0, int32_t high = -1) {
  return {false, id, AppText::kCount, name, read_default, built_in, low, high, kNoGroup, {}, false};
}

constexpr Row MemberRow(AppNumber id, std::string_view name, AppNumber group, int32_t built_in) {
  return {false, id, AppText::kCount, name, -1, built_in, 0, -1, group, {}, false};
}

constexpr Row TextRow(AppText id, std::string_view name) {
  return {true, kNoGroup, id, name, 0, kKeep, 0, -1, kNoGroup, {}, false};
}

constexpr Row PasswordRow(AppText id, std::string_view name, AppNumber group = kNoGroup) {
  return {true, kNoGroup, id, name, 0, kKeep, 0, -1, group, {}, true};
}

constexpr Row MemberRow(AppText id, std::string_view name, AppNumber group,
                        std::string_view built_in = {}) {
  return {true, kNoGroup, id, name, 0, kKeep, 0, -1, group, built_in, false};
}

using N = AppNumber;
using T = AppText;

// Every application setting in the order in which it is read and written, with every default.
constexpr Row kTable[] = {
    TextRow(T::MirrorDir, "MirrorDir"),
    TextRow(T::PickupDir, "PickupDir"),
    NumberRow(N::TimerValid, "TimerValid", 1),
    NumberRow(N::UseRobotsTxt, "UseRobotsTxt", 0),
    NumberRow(N::ProxyOn, "ProxyOn", 0),
    TextRow(T::ProxyName, "ProxyName"),
    NumberRow(N::ProxyPort, "ProxyPort", 8080),
    NumberRow(N::UseProxyPassword, "UseProxyPassword", 0),
    TextRow(T::ProxyUserID, "ProxyUserID"),
    PasswordRow(T::ProxyPassword, "ProxyPassword"),
    TextRow(T::TlsCAFile, "TlsCAFile"),
    NumberRow(N::AutoDialup, "AutoDialup", 0),
    TextRow(T::DialupEntry, "DialupEntry"),
    PasswordRow(T::Sai, "Sai"),
    NumberRow(N::DialRetry, "DialRetry", 2, kKeep, 0, 5),
    NumberRow(N::PilotArea, "PilotArea", -1, 0),
    NumberRow(N::LinkMax, "LinkMax", -1, 0, 0, 10),
    NumberRow(N::RenewalType, "RenewalType", -1, 2),
    NumberRow(N::NoCache, "NoCache", -1, 0),
    NumberRow(N::ConnectionTimeout, "ConnectionTimeout", -1, 60, 0, 3600),
    NumberRow(N::ReplyRcvTimeout, "ReplyRcvTimeout", -1, 60, 0, 3600),
    NumberRow(N::CtlRcvTimeout, "CtlRcvTimeout", -1, 60, 0, 3600),
    NumberRow(N::DataRcvTimeout, "DataRcvTimeout", -1, 60, 0, 3600),
    NumberRow(N::CloseTimeout, "CloseTimeout", -1, 60, 0, 3600),
    NumberRow(N::TotalTimeout, "TotalTimeout", -1, 0),
    NumberRow(N::DLRetry, "DLRetry", -1, 1, 0, 5),
    NumberRow(N::AccessInterval, "AccessInterval", -1, 10, 3, 3600),
    NumberRow(N::LocalizeLink, "LocalizeLink", -1, 0),
    NumberRow(N::UseHttpPassword, "UseHttpPassword", -1, 0),
    MemberRow(T::HttpUserID, "HttpUserID", N::UseHttpPassword),
    PasswordRow(T::HttpPassword, "HttpPassword", N::UseHttpPassword),
    NumberRow(N::UseExtFilter, "UseExtFilter", -1, 0),
    MemberRow(N::DLNoExt, "DLNoExt", N::UseExtFilter, 1),
    MemberRow(T::ExtHtml, "ExtHtml", N::UseExtFilter, "htm;html;shtml"),
    MemberRow(T::ExtText, "ExtText", N::UseExtFilter, "txt;doc"),
    MemberRow(T::ExtImage, "ExtImage", N::UseExtFilter, "gif;jpg;jpeg;bmp"),
    // One entry "aif,mid", not two: the list separator is ";".
    MemberRow(T::ExtAudio, "ExtAudio", N::UseExtFilter, "wav;aif,mid"),
    MemberRow(T::ExtVideo, "ExtVideo", N::UseExtFilter, "avi"),
    MemberRow(T::ExtApplication, "ExtApplication", N::UseExtFilter),
    MemberRow(T::ExtOthers, "ExtOthers", N::UseExtFilter),
    NumberRow(N::UseUVExtFilter, "UseUVExtFilter", -1, 0),
    MemberRow(N::NotDLNoExt, "NotDLNoExt", N::UseUVExtFilter, 0),
    MemberRow(T::UVExtHtml, "UVExtHtml", N::UseUVExtFilter),
    MemberRow(T::UVExtText, "UVExtText", N::UseUVExtFilter),
    MemberRow(T::UVExtImage, "UVExtImage", N::UseUVExtFilter),
    MemberRow(T::UVExtAudio, "UVExtAudio", N::UseUVExtFilter),
    MemberRow(T::UVExtVideo, "UVExtVideo", N::UseUVExtFilter),
    MemberRow(T::UVExtApplication, "UVExtApplication", N::UseUVExtFilter),
    MemberRow(T::UVExtOthers, "UVExtOthers", N::UseUVExtFilter),
    NumberRow(N::MUDrawType, "MUDrawType", 1, 1),
    NumberRow(N::MUDrawSpeed, "MUDrawSpeed", 5, 5, 0, 100),
    NumberRow(N::BGColor, "BGColor", 0, 0),
    NumberRow(N::MinPicWidth, "MinPicWidth", 0, 0, 0, 640),
    NumberRow(N::MinPicHeight, "MinPicHeight", 0, 0, 0, 480),
    NumberRow(N::IMGSW, "IMGSW", 1, 1),
    NumberRow(N::PicChgInterval, "PicChgInterval", 5, 5, 5, 86400),
    NumberRow(N::PickupDisplay, "PickupDisplay", 1),
};

// Row of each enumerator, found once; kNone marks an enumerator missing from the table.
constexpr size_t kNone = sizeof kTable / sizeof kTable[0];

constexpr auto kNumberRows = [] {
  std::array<size_t, kNumbers> rows{};
  rows.fill(kNone);
  for (size_t i = 0; i < kNone; ++i) {
    if (!kTable[i].is_text) rows[static_cast<size_t>(kTable[i].number)] = i;
  }
  return rows;
}();

constexpr auto kTextRows = [] {
  std::array<size_t, kTexts> rows{};
  rows.fill(kNone);
  for (size_t i = 0; i < kNone; ++i) {
    if (kTable[i].is_text) rows[static_cast<size_t>(kTable[i].text)] = i;
  }
  return rows;
}();

constexpr bool EveryValueHasOneRow() {
  for (size_t row : kNumberRows) {
    if (row == kNone) return false;
  }
  for (size_t row : kTextRows) {
    if (row == kNone) return false;
  }
  return kNone == kNumbers + kTexts;
}
static_assert(EveryValueHasOneRow(), "each setting needs exactly one row in kTable");

const Row& RowOf(AppNumber value) {
  return kTable[kNumberRows[static_cast<size_t>(value)]];
}
const Row& RowOf(AppText value) {
  return kTable[kTextRows[static_cast<size_t>(value)]];
}

}  // namespace

AppSettings::AppSettings() : AppSettings(Profile(), DataFolder()) {}

AppSettings::AppSettings(Profile profile, std::string install_folder)
    : profile_(std::move(profile)), install_folder_(std::move(install_folder)) {
  if (install_folder_.empty() || install_folder_.back() != '/') install_folder_ += '/';
  for (size_t i = 0; i < kNumbers; ++i) numbers_[i] = ReadDefault(static_cast<AppNumber>(i));
  for (size_t i = 0; i < kTexts; ++i) texts_[i] = ReadDefault(static_cast<AppText>(i));
}

void AppSettings::Read() {
  CreateFolders(install_folder_, 0755);
  IniFile file;
  profile_.Load(&file);
  ReadFrom(file, AppText::MirrorDir);
  ReadFrom(file, AppText::PickupDir);
  // The wallpaper changer reads the pick-up folder from the file, so it must be there from the
  // first start on.
  profile_.WriteProfileString(kSection, Name(AppText::PickupDir), PickupFolder());
  for (const Row& row : kTable) {
    if (!row.is_text) {
      ReadFrom(file, row.number);
    } else if (row.text != AppText::MirrorDir && row.text != AppText::PickupDir) {
      ReadFrom(file, row.text);
    }
  }
}

void AppSettings::ReadFrom(const IniFile& file, AppNumber value) {
  numbers_[Index(value)] = file.GetNumber(kSection, Name(value)).value_or(ReadDefault(value));
}

void AppSettings::ReadFrom(const IniFile& file, AppText value) {
  const auto stored = file.Get(kSection, Name(value));
  std::string& text = texts_[Index(value)];
  if (value == AppText::MirrorDir || value == AppText::PickupDir) {
    text = NormalizeFolder(value, stored.value_or(std::string()));
  } else if (RowOf(value).scrambled) {
    text = Unscramble(stored.value_or(std::string()));
  } else {
    text = stored.value_or(ReadDefault(value));
  }
}

bool AppSettings::Write() {
  return profile_.Update([this](IniFile& file) {
    for (const Row& row : kTable) {
      if (!row.is_text) {
        file.SetNumber(kSection, row.name, numbers_[Index(row.number)]);
      } else {
        const std::string& text = texts_[Index(row.text)];
        file.Set(kSection, row.name, row.scrambled ? Scramble(text) : text);
      }
    }
    return true;
  });
}

bool AppSettings::Accept(const AppSettings& edited) {
  for (size_t i = 0; i < kNumbers; ++i) {
    numbers_[i] = ForceRange(static_cast<AppNumber>(i), edited.numbers_[i]);
  }
  texts_ = edited.texts_;
  for (const AppText folder : {AppText::MirrorDir, AppText::PickupDir}) {
    texts_[Index(folder)] = NormalizeFolder(folder, edited.texts_[Index(folder)]);
  }
  return Write();
}

bool AppSettings::SetPickupDisplay(int32_t value) {
  if (value < 0 || value > 2) return false;
  numbers_[Index(AppNumber::PickupDisplay)] = value;
  return profile_.WriteProfileInt(kSection, Name(AppNumber::PickupDisplay), value);
}

bool AppSettings::ToggleTimerValid() {
  int32_t& valid = numbers_[Index(AppNumber::TimerValid)];
  valid = valid == 0 ? 1 : 0;
  return profile_.WriteProfileInt(kSection, Name(AppNumber::TimerValid), valid);
}

int32_t AppSettings::Number(AppNumber value) const {
  const Row& row = RowOf(value);
  const int32_t stored = numbers_[Index(value)];
  const bool group_unset = row.group != kNoGroup && numbers_[Index(row.group)] == -1;
  // A member stored as -1 under a set flag also takes the built-in value: -1 means "the
  // built-in value applies" wherever it is stored.
  if (row.built_in != kKeep && (stored == -1 || group_unset)) return row.built_in;
  return stored;
}

std::string AppSettings::Text(AppText value) const {
  const Row& row = RowOf(value);
  if (row.group != kNoGroup && numbers_[Index(row.group)] == -1) {
    return std::string(row.built_in_text);
  }
  return texts_[Index(value)];
}

int32_t AppSettings::ForceRange(AppNumber value, int32_t number) {
  const Row& row = RowOf(value);
  if (number == -1 || row.low > row.high) return number;
  if (number < row.low) return row.low;
  if (number > row.high) return row.high;
  return number;
}

std::string AppSettings::NormalizeFolder(AppText folder, std::string_view text) const {
  if (text.empty()) return ReadDefault(folder);
  std::string path(text);
  CUrl::BackslashToSlash(path);  // a Shift_JIS trail byte 0x5C is no separator
  if (path.front() != '/') path = install_folder_ + path;
  if (path.back() != '/') path += '/';
  return path;
}

std::string_view AppSettings::Name(AppNumber value) {
  return RowOf(value).name;
}

std::string_view AppSettings::Name(AppText value) {
  return RowOf(value).name;
}

int32_t AppSettings::ReadDefault(AppNumber value) {
  return RowOf(value).read_default;
}

std::string AppSettings::ReadDefault(AppText value) const {
  if (value == AppText::MirrorDir) return install_folder_ + "Mirror/";
  if (value == AppText::PickupDir) return install_folder_ + "Pickup/";
  return {};
}

}  // namespace qlm

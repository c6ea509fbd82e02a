#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Profile.h"

namespace qlm {

// The numbers among the application settings, named as their settings-file values.
enum class AppNumber {
  TimerValid,
  UseRobotsTxt,
  ProxyOn,
  ProxyPort,
  UseProxyPassword,
  AutoDialup,
  DialRetry,
  PilotArea,
  LinkMax,  // default of an item's GraphMax
  RenewalType,
  NoCache,
  ConnectionTimeout,
  ReplyRcvTimeout,
  CtlRcvTimeout,
  DataRcvTimeout,
  CloseTimeout,
  TotalTimeout,  // default of an item's DLTotalTimeout
  DLRetry,       // default of an item's DLoadRetry
  AccessInterval,
  LocalizeLink,
  UseHttpPassword,
  UseExtFilter,
  DLNoExt,
  UseUVExtFilter,
  NotDLNoExt,
  MUDrawType,
  MUDrawSpeed,
  BGColor,
  MinPicWidth,
  MinPicHeight,
  IMGSW,
  PicChgInterval,
  PickupDisplay,
  kCount
};

// The texts among the application settings. ProxyPassword, Sai (the dial-up password) and
// HttpPassword are scrambled in the file and clear here.
enum class AppText {
  MirrorDir,
  PickupDir,
  ProxyName,
  ProxyUserID,
  ProxyPassword,
  DialupEntry,
  Sai,
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
  // A PEM file of certificates trusted beside the system's (a company's own authority); empty
  // for none.
  TlsCAFile,
  kCount
};

// The settings of the main program: the folders it works in, the connection settings, the
// application defaults of every item option (the last step of an item's inheritance), and the
// picture display settings. Kept in the profile section "Application Settings"; read once at
// start-up and held for the run.
//
// Every value has one stored form (Stored) and one getter (Number, Text). Stored values are what
// the file holds and what the settings sheet edits; -1 in a number means "not set". The getters
// resolve "not set" to the built-in value, and for a group (UseHttpPassword, UseExtFilter,
// UseUVExtFilter with their members) a flag of -1 means that every member takes its built-in
// value, whatever is stored for it.
//
// Folders: the install folder is the data folder (DataFolder()); there is no separate install
// step on this system, so it is always known. The mirror and pick-up folders default to
// "Mirror/" and "Pickup/" below it and always end in "/".
class AppSettings {
 public:
  static constexpr std::string_view kSection = "Application Settings";

  // Settings in the user's profile, installed in the data folder; every value at its read default
  // until Read().
  AppSettings();
  AppSettings(Profile profile, std::string install_folder);

  // Start-up: creates the install folder when missing, reads "MirrorDir" and "PickupDir" and
  // writes "PickupDir" back at once (other programs read it from the file), then reads the other
  // values in table order, unscrambling the passwords. Absent or unreadable values take their
  // read defaults; failures are not reported.
  void Read();
  // Writes every value in table order, scrambling the passwords, in one replacement of the file.
  bool Write();

  // The settings sheet's OK: takes every value of the edited copy (values whose inherit box is
  // checked already -1), forces each number into its range and each folder into folder form,
  // keeps them and writes them all.
  bool Accept(const AppSettings& edited);

  // Menu commands that write at once. SetPickupDisplay takes 0 (general pictures only), 1 (both)
  // or 2 (picked-up pictures only) and refuses anything else; ToggleTimerValid stores the logical
  // negation. False when the value was refused or could not be written (it is kept in memory).
  bool SetPickupDisplay(int32_t value);
  bool ToggleTimerValid();

  // The value for its users: the stored number, or the built-in one when it is -1 or its group
  // flag is -1.
  int32_t Number(AppNumber value) const;
  // The text for its users; for a group member the built-in text while the group flag is -1.
  std::string Text(AppText value) const;

  int32_t Stored(AppNumber value) const { return numbers_[Index(value)]; }
  const std::string& Stored(AppText value) const { return texts_[Index(value)]; }
  void SetStored(AppNumber value, int32_t number) { numbers_[Index(value)] = number; }
  void SetStored(AppText value, std::string text) { texts_[Index(value)] = std::move(text); }

  const std::string& InstallFolder() const { return install_folder_; }
  const std::string& MirrorFolder() const { return texts_[Index(AppText::MirrorDir)]; }
  const std::string& PickupFolder() const { return texts_[Index(AppText::PickupDir)]; }
  Profile& GetProfile() { return profile_; }

  // The OK range of a number: the value forced into it; -1 and values without a range unchanged.
  static int32_t ForceRange(AppNumber value, int32_t number);
  // Folder form of a typed folder: "\" becomes "/" (the second byte of a Shift_JIS double-byte
  // character is left alone), a final "/" is added; an empty text gives the value's default and
  // a relative one is taken below the install folder, since mirror work changes the current
  // folder of the process.
  std::string NormalizeFolder(AppText folder, std::string_view text) const;

  static std::string_view Name(AppNumber value);
  static std::string_view Name(AppText value);
  // The value used when the file has none.
  static int32_t ReadDefault(AppNumber value);
  std::string ReadDefault(AppText value) const;

 private:
  static size_t Index(AppNumber value) { return static_cast<size_t>(value); }
  static size_t Index(AppText value) { return static_cast<size_t>(value); }
  void ReadFrom(const IniFile& file, AppText value);
  void ReadFrom(const IniFile& file, AppNumber value);

  Profile profile_;
  std::string install_folder_;  // ends in "/"
  std::array<int32_t, static_cast<size_t>(AppNumber::kCount)> numbers_;
  std::array<std::string, static_cast<size_t>(AppText::kCount)> texts_;  // passwords clear
};

}  // namespace qlm

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "project/AppSettings.h"
#include "project/Scramble.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;
using N = AppNumber;
using T = AppText;

// Settings on a private settings file and install folder.
class AppSettingsTest : public testing::Test {
 protected:
  std::string IniPath() const { return dir_.File("config/Brackwater/Quillmere.ini"); }
  std::string Install() const { return dir_.File("data/Quillmere/"); }
  AppSettings Fresh() const { return AppSettings(Profile(IniPath()), Install()); }
  AppSettings Started() const {
    AppSettings settings = Fresh();
    settings.Read();
    return settings;
  }
  std::string StoredInFile(std::string_view name) const {
    return Profile(IniPath()).GetProfileString(AppSettings::kSection, name, "<absent>");
  }
  void StoreInFile(std::string_view name, std::string_view value) const {
    ASSERT_TRUE(Profile(IniPath()).WriteProfileString(AppSettings::kSection, name, value));
  }

  test::TempDir dir_;
};

TEST_F(AppSettingsTest, EmptyFileGivesTheReadDefaultsAndTheirGetterValues) {
  const AppSettings settings = Started();
  const struct {
    N value;
    int32_t stored, getter;
  } rows[] = {
      {N::TimerValid, 1, 1},
      {N::UseRobotsTxt, 0, 0},
      {N::ProxyOn, 0, 0},
      {N::ProxyPort, 8080, 8080},
      {N::UseProxyPassword, 0, 0},
      {N::AutoDialup, 0, 0},
      {N::DialRetry, 2, 2},
      {N::PilotArea, -1, 0},
      {N::LinkMax, -1, 0},
      {N::RenewalType, -1, 2},
      {N::NoCache, -1, 0},
      {N::ConnectionTimeout, -1, 60},
      {N::ReplyRcvTimeout, -1, 60},
      {N::CtlRcvTimeout, -1, 60},
      {N::DataRcvTimeout, -1, 60},
      {N::CloseTimeout, -1, 60},
      {N::TotalTimeout, -1, 0},
      {N::DLRetry, -1, 1},
      {N::AccessInterval, -1, 10},
      {N::LocalizeLink, -1, 0},
      {N::UseHttpPassword, -1, 0},
      {N::UseExtFilter, -1, 0},
      {N::DLNoExt, -1, 1},
      {N::UseUVExtFilter, -1, 0},
      {N::NotDLNoExt, -1, 0},
      {N::MUDrawType, 1, 1},
      {N::MUDrawSpeed, 5, 5},
      {N::BGColor, 0, 0},
      {N::MinPicWidth, 0, 0},
      {N::MinPicHeight, 0, 0},
      {N::IMGSW, 1, 1},
      {N::PicChgInterval, 5, 5},
      {N::PickupDisplay, 1, 1},
  };
  static_assert(std::size(rows) == static_cast<size_t>(N::kCount));
  for (const auto& row : rows) {
    const std::string name(AppSettings::Name(row.value));
    EXPECT_EQ(settings.Stored(row.value), row.stored) << name;
    EXPECT_EQ(settings.Number(row.value), row.getter) << name;
    EXPECT_EQ(AppSettings::ReadDefault(row.value), row.stored) << name;
  }
  const struct {
    T value;
    const char* getter;
  } texts[] = {
      {T::ProxyName, ""},
      {T::ProxyUserID, ""},
      {T::ProxyPassword, ""},
      {T::DialupEntry, ""},
      {T::Sai, ""},
      {T::HttpUserID, ""},
      {T::HttpPassword, ""},
      {T::ExtHtml, "htm;html;shtml"},
      {T::ExtText, "txt;doc"},
      {T::ExtImage, "gif;jpg;jpeg;bmp"},
      {T::ExtAudio, "wav;aif,mid"},
      {T::ExtVideo, "avi"},
      {T::ExtApplication, ""},
      {T::ExtOthers, ""},
      {T::UVExtHtml, ""},
      {T::UVExtText, ""},
      {T::UVExtImage, ""},
      {T::UVExtAudio, ""},
      {T::UVExtVideo, ""},
      {T::UVExtApplication, ""},
      {T::UVExtOthers, ""},
      {T::TlsCAFile, ""},
  };
  static_assert(std::size(texts) + 2 == static_cast<size_t>(T::kCount));
  for (const auto& row : texts) {
    EXPECT_EQ(settings.Stored(row.value), "") << AppSettings::Name(row.value);
    EXPECT_EQ(settings.Text(row.value), row.getter) << AppSettings::Name(row.value);
  }
}

TEST_F(AppSettingsTest, FirstStartCreatesTheInstallFolderAndWritesOnlyThePickupFolder) {
  const AppSettings settings = Started();
  EXPECT_EQ(settings.InstallFolder(), Install());
  EXPECT_TRUE(fs::is_directory(Install()));
  EXPECT_EQ(settings.MirrorFolder(), Install() + "Mirror/");
  EXPECT_EQ(settings.PickupFolder(), Install() + "Pickup/");
  EXPECT_EQ(StoredInFile("PickupDir"), Install() + "Pickup/");
  EXPECT_EQ(StoredInFile("MirrorDir"), "<absent>");
  EXPECT_EQ(StoredInFile("TimerValid"), "<absent>");
}

TEST_F(AppSettingsTest, GroupFlagOfMinusOneHidesEveryStoredMember) {
  StoreInFile("UseExtFilter", "-1");
  StoreInFile("DLNoExt", "0");
  StoreInFile("ExtImage", "png");
  StoreInFile("UseUVExtFilter", "-1");
  StoreInFile("NotDLNoExt", "1");
  StoreInFile("UVExtHtml", "cgi");
  StoreInFile("UseHttpPassword", "-1");
  StoreInFile("HttpUserID", "user");
  StoreInFile("HttpPassword", Scramble("pw"));
  const AppSettings settings = Started();
  EXPECT_EQ(settings.Number(N::DLNoExt), 1);
  EXPECT_EQ(settings.Text(T::ExtImage), "gif;jpg;jpeg;bmp");
  EXPECT_EQ(settings.Number(N::NotDLNoExt), 0);
  EXPECT_EQ(settings.Text(T::UVExtHtml), "");
  EXPECT_EQ(settings.Text(T::HttpUserID), "");
  EXPECT_EQ(settings.Text(T::HttpPassword), "");
  // The stored values stay for the settings sheet.
  EXPECT_EQ(settings.Stored(T::ExtImage), "png");
  EXPECT_EQ(settings.Stored(T::HttpPassword), "pw");
}

TEST_F(AppSettingsTest, SetGroupFlagGivesTheStoredMembers) {
  AppSettings settings = Fresh();
  settings.SetStored(N::UseExtFilter, 1);
  settings.SetStored(N::DLNoExt, 0);
  settings.SetStored(T::ExtImage, "png");
  settings.SetStored(T::ExtVideo, "");
  settings.SetStored(N::UseUVExtFilter, 0);
  settings.SetStored(T::UVExtHtml, "cgi");
  settings.SetStored(N::UseHttpPassword, 1);
  settings.SetStored(T::HttpUserID, "user");
  EXPECT_EQ(settings.Number(N::UseExtFilter), 1);
  EXPECT_EQ(settings.Number(N::DLNoExt), 0);
  EXPECT_EQ(settings.Text(T::ExtImage), "png");
  EXPECT_EQ(settings.Text(T::ExtVideo), "");  // empty is a choice, not "use the built-in"
  EXPECT_EQ(settings.Number(N::UseUVExtFilter), 0);
  EXPECT_EQ(settings.Text(T::UVExtHtml), "cgi");
  EXPECT_EQ(settings.Text(T::HttpUserID), "user");
  // A member left at -1 under a set flag still means "built-in".
  settings.SetStored(N::DLNoExt, -1);
  settings.SetStored(N::NotDLNoExt, -1);
  EXPECT_EQ(settings.Number(N::DLNoExt), 1);
  EXPECT_EQ(settings.Number(N::NotDLNoExt), 0);
}

TEST_F(AppSettingsTest, OkRangesForceValuesAndLeaveMinusOneAlone) {
  const struct {
    N value;
    int32_t entered, stored;
  } cases[] = {
      {N::ConnectionTimeout, 7000, 3600},
      {N::CloseTimeout, -5, 0},
      {N::AccessInterval, 1, 3},
      {N::AccessInterval, 3601, 3600},
      {N::PicChgInterval, 2, 5},
      {N::PicChgInterval, 100000, 86400},
      {N::LinkMax, 11, 10},
      {N::DLRetry, 6, 5},
      {N::DialRetry, 9, 5},
      {N::MUDrawSpeed, 101, 100},
      {N::MinPicWidth, 641, 640},
      {N::MinPicHeight, 481, 480},
      {N::ConnectionTimeout, -1, -1},
      {N::AccessInterval, -1, -1},
      {N::TotalTimeout, 999999, 999999},
      {N::ProxyPort, 70000, 70000},
      {N::BGColor, 0xFFFFFF, 0xFFFFFF},
      {N::AccessInterval, 3, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AppSettings::ForceRange(c.value, c.entered), c.stored)
        << AppSettings::Name(c.value) << ' ' << c.entered;
  }
}

TEST_F(AppSettingsTest, FolderRules) {
  const AppSettings settings = Fresh();
  const struct {
    std::string typed, stored;
  } cases[] = {
      {"C:\\Users\\me\\Mirror", Install() + "C:/Users/me/Mirror/"},
      {"/srv\\mirror", "/srv/mirror/"},
      {"/srv/mirror/", "/srv/mirror/"},
      {"\\\\server\\share", "//server/share/"},
      // 0x95 0x5C is one Shift_JIS character whose second byte is not a separator.
      {"/data/\x95\x5c\\x", "/data/\x95\x5c/x/"},
      {"relative", Install() + "relative/"},
      {"", Install() + "Mirror/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings.NormalizeFolder(T::MirrorDir, c.typed), c.stored) << c.typed;
  }
  EXPECT_EQ(settings.NormalizeFolder(T::PickupDir, ""), Install() + "Pickup/");
}

TEST_F(AppSettingsTest, StoredFoldersAreReadInFolderForm) {
  StoreInFile("MirrorDir", "/srv\\mirror");
  StoreInFile("PickupDir", "");
  const AppSettings settings = Started();
  EXPECT_EQ(settings.MirrorFolder(), "/srv/mirror/");
  EXPECT_EQ(settings.PickupFolder(), Install() + "Pickup/");
  EXPECT_EQ(StoredInFile("PickupDir"), Install() + "Pickup/");
}

TEST_F(AppSettingsTest, BadNumbersInTheFileReadAsTheirDefaults) {
  StoreInFile("ProxyPort", "eighty");
  StoreInFile("TimerValid", "99999999999");
  StoreInFile("DialRetry", " 4 ");
  const AppSettings settings = Started();
  EXPECT_EQ(settings.Stored(N::ProxyPort), 8080);
  EXPECT_EQ(settings.Stored(N::TimerValid), 1);
  EXPECT_EQ(settings.Stored(N::DialRetry), 4);
}

// Distinct, non-default values for everything, passwords with bytes a settings line cannot hold.
void FillEveryValue(AppSettings& settings) {
  for (int i = 0; i < static_cast<int>(N::kCount); ++i) {
    settings.SetStored(static_cast<N>(i), 100 + i);
  }
  for (int i = 0; i < static_cast<int>(T::kCount); ++i) {
    settings.SetStored(static_cast<T>(i), "text " + std::to_string(i) + " \\ \t");
  }
  settings.SetStored(T::MirrorDir, "/mirror/");
  settings.SetStored(T::PickupDir, "/pickup/");
  settings.SetStored(T::ProxyPassword, std::string("p\"w\0\r\n\x7f\xff", 9));
  settings.SetStored(T::Sai, "\x95\x5c dial");
  settings.SetStored(T::HttpPassword, "'\n'");
}

TEST_F(AppSettingsTest, EveryValueSurvivesWriteAndTheNextStart) {
  AppSettings written = Fresh();
  FillEveryValue(written);
  ASSERT_TRUE(written.Write());

  const AppSettings read = Started();
  for (int i = 0; i < static_cast<int>(N::kCount); ++i) {
    EXPECT_EQ(read.Stored(static_cast<N>(i)), written.Stored(static_cast<N>(i)))
        << AppSettings::Name(static_cast<N>(i));
  }
  for (int i = 0; i < static_cast<int>(T::kCount); ++i) {
    EXPECT_EQ(read.Stored(static_cast<T>(i)), written.Stored(static_cast<T>(i)))
        << AppSettings::Name(static_cast<T>(i));
  }
}

TEST_F(AppSettingsTest, PasswordsAreScrambledInTheFileOnly) {
  AppSettings settings = Fresh();
  settings.SetStored(T::ProxyPassword, "proxy-secret");
  settings.SetStored(T::Sai, "dial-secret");
  settings.SetStored(T::HttpPassword, "http-secret");
  settings.SetStored(T::ProxyUserID, "plain-user");
  ASSERT_TRUE(settings.Write());
  const std::string file = ReadFileBytes(IniPath());
  EXPECT_EQ(file.find("secret"), std::string::npos) << file;
  EXPECT_NE(file.find("ProxyUserID=plain-user\n"), std::string::npos) << file;
  EXPECT_EQ(StoredInFile("ProxyPassword"), Scramble("proxy-secret"));
  EXPECT_EQ(StoredInFile("Sai"), Scramble("dial-secret"));
  EXPECT_EQ(StoredInFile("HttpPassword"), Scramble("http-secret"));
}

TEST_F(AppSettingsTest, WriteKeepsWhatOthersStoredInTheFile) {
  fs::create_directories(fs::path(IniPath()).parent_path());
  ASSERT_TRUE(WriteFileBytes(IniPath(),
                             "[Settings]\nWindowPos=0:1:2:3:4:5:6:7:8:9\n\n"
                             "[Application Settings]\n; my proxy\nProxyPort=3128\n"));
  AppSettings settings = Started();
  EXPECT_EQ(settings.Stored(N::ProxyPort), 3128);
  ASSERT_TRUE(settings.Write());
  const std::string file = ReadFileBytes(IniPath());
  EXPECT_EQ(file.rfind("[Settings]\nWindowPos=0:1:2:3:4:5:6:7:8:9\n\n"
                       "[Application Settings]\n; my proxy\nProxyPort=3128\n",
                       0),
            0u)
      << file;
  // Written in table order, with the folders first.
  EXPECT_LT(file.find("MirrorDir="), file.find("TimerValid="));
  EXPECT_LT(file.find("TimerValid="), file.find("PickupDisplay="));
}

TEST_F(AppSettingsTest, AcceptForcesRangesNormalizesFoldersAndWrites) {
  AppSettings settings = Started();
  AppSettings sheet = settings;
  sheet.SetStored(N::ConnectionTimeout, 7000);
  sheet.SetStored(N::AccessInterval, 1);
  sheet.SetStored(N::PicChgInterval, 2);
  sheet.SetStored(N::LinkMax, -1);  // the inherit box
  sheet.SetStored(T::MirrorDir, "/srv\\mirror");
  sheet.SetStored(T::ProxyPassword, "pw");
  ASSERT_TRUE(settings.Accept(sheet));

  EXPECT_EQ(settings.Stored(N::ConnectionTimeout), 3600);
  EXPECT_EQ(settings.Stored(N::AccessInterval), 3);
  EXPECT_EQ(settings.Stored(N::PicChgInterval), 5);
  EXPECT_EQ(settings.Stored(N::LinkMax), -1);
  EXPECT_EQ(settings.Number(N::LinkMax), 0);
  EXPECT_EQ(settings.MirrorFolder(), "/srv/mirror/");
  EXPECT_EQ(settings.Stored(T::ProxyPassword), "pw");

  EXPECT_EQ(StoredInFile("ConnectionTimeout"), "3600");
  EXPECT_EQ(StoredInFile("AccessInterval"), "3");
  EXPECT_EQ(StoredInFile("LinkMax"), "-1");
  EXPECT_EQ(StoredInFile("MirrorDir"), "/srv/mirror/");
  EXPECT_EQ(StoredInFile("ProxyPassword"), Scramble("pw"));
}

TEST_F(AppSettingsTest, MenuCommandsWriteAtOnce) {
  AppSettings settings = Started();
  ASSERT_TRUE(settings.SetPickupDisplay(2));
  EXPECT_EQ(Started().Stored(N::PickupDisplay), 2);
  for (const int32_t refused : {-1, 3}) {
    EXPECT_FALSE(settings.SetPickupDisplay(refused));
    EXPECT_EQ(settings.Stored(N::PickupDisplay), 2);
  }
  EXPECT_EQ(StoredInFile("PickupDisplay"), "2");

  ASSERT_TRUE(settings.ToggleTimerValid());
  EXPECT_EQ(settings.Stored(N::TimerValid), 0);
  EXPECT_EQ(Started().Stored(N::TimerValid), 0);
  ASSERT_TRUE(settings.ToggleTimerValid());
  EXPECT_EQ(Started().Stored(N::TimerValid), 1);
  settings.SetStored(N::TimerValid, 5);  // any non-zero value counts as on
  ASSERT_TRUE(settings.ToggleTimerValid());
  EXPECT_EQ(StoredInFile("TimerValid"), "0");
}

}  // namespace
}  // namespace qlm

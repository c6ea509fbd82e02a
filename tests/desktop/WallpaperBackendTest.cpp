// The desktops' wallpaper back ends: which one a session gets, and the commands each runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gui/desktop/PictureWallpaper.h"
#include "app/gui/desktop/WallpaperBackend.h"
#include "app/gui/desktop/WallpaperBackends.h"
#include "tests/desktop/FakeCommandRunner.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using Commands = std::vector<std::vector<std::string>>;
constexpr char kFile[] = "/home/me/.local/share/Quillmere/QLMWP.bmp";
constexpr char kUri[] = "file:///home/me/.local/share/Quillmere/QLMWP.bmp";

TEST(WallpaperBackendTest, EachDesktopRunsItsOwnCommands) {
  const std::string gnome = "org.gnome.desktop.background";
  const struct {
    const char* current_desktop;
    bool x11;
    bool feh;
    const char* name;  // "" when none applies
    Commands commands;
  } cases[] = {
      {"GNOME",
       false,
       false,
       "GNOME",
       {{"gsettings", "set", gnome, "picture-uri", kUri},
        {"gsettings", "set", gnome, "picture-uri-dark", kUri}}},
      {"ubuntu:GNOME",
       true,
       true,
       "GNOME",
       {{"gsettings", "set", gnome, "picture-uri", kUri},
        {"gsettings", "set", gnome, "picture-uri-dark", kUri}}},
      {"Budgie:GNOME",
       true,
       false,
       "GNOME",
       {{"gsettings", "set", gnome, "picture-uri", kUri},
        {"gsettings", "set", gnome, "picture-uri-dark", kUri}}},
      {"X-Cinnamon",
       true,
       false,
       "Cinnamon",
       {{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", kUri}}},
      {"mate",
       true,
       false,
       "MATE",
       {{"gsettings", "set", "org.mate.background", "picture-filename", kFile}}},
      {"XFCE",
       true,
       false,
       "XFCE",
       {{"xfconf-query", "-c", "xfce4-desktop", "-l"},
        {"xfconf-query", "-c", "xfce4-desktop", "-p", XfceWallpaper::kDefaultProperty, "-n", "-t",
         "string", "-s", kFile}}},
      {"", true, true, "feh", {{"feh", "--bg-fill", kFile}}},
      {"openbox", true, true, "feh", {{"feh", "--bg-fill", kFile}}},
      {"", true, false, "", {}},      // a window manager without feh
      {"sway", false, true, "", {}},  // feh cannot draw on a Wayland desktop
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current_desktop);
    test::FakeCommandRunner runner;
    if (c.feh) runner.installed.insert("feh");
    std::unique_ptr<WallpaperBackend> backend =
        ChooseWallpaperBackend(c.current_desktop, c.x11, runner);
    if (*c.name == '\0') {
      EXPECT_EQ(backend, nullptr);
      continue;
    }
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->Name(), c.name);
    EXPECT_TRUE(backend->Set(kFile, runner));
    EXPECT_EQ(runner.commands, c.commands);
  }
}

TEST(WallpaperBackendTest, XfceSetsEveryMonitorsImageAndGnomeToleratesNoDarkKey) {
  test::FakeCommandRunner runner;
  runner.replies["xfconf-query"] = {0,
                                    "/backdrop/screen0/monitor0/workspace0/color-style\n"
                                    "/backdrop/screen0/monitor0/workspace0/last-image\n"
                                    "/backdrop/screen0/monitorHDMI-1/workspace0/last-image\r\n"};
  XfceWallpaper xfce;
  ASSERT_TRUE(xfce.Set("/tmp/a b.bmp", runner));
  const Commands xfce_commands = {
      {"xfconf-query", "-c", "xfce4-desktop", "-l"},
      {"xfconf-query", "-c", "xfce4-desktop", "-p",
       "/backdrop/screen0/monitor0/workspace0/last-image", "-s", "/tmp/a b.bmp"},
      {"xfconf-query", "-c", "xfce4-desktop", "-p",
       "/backdrop/screen0/monitorHDMI-1/workspace0/last-image", "-s", "/tmp/a b.bmp"}};
  EXPECT_EQ(runner.commands, xfce_commands);

  // Failures: XFCE's listing, GNOME's main key; the dark key alone failing is no failure.
  runner.replies["xfconf-query"] = {1, ""};
  EXPECT_FALSE(xfce.Set("/tmp/a.bmp", runner));
  GsettingsWallpaper gnome(GsettingsWallpaper::Flavour::kGnome);
  runner.replies["gsettings"] = {1, "No such key"};
  EXPECT_FALSE(gnome.Set("/tmp/a.bmp", runner));
  test::FakeCommandRunner old_gnome;
  EXPECT_TRUE(gnome.Set("/tmp/a.bmp", old_gnome));
}

TEST(WallpaperBackendTest, PlasmaRunsAScriptOverDBusWithTheFileQuoted) {
  test::FakeCommandRunner runner;
  std::unique_ptr<WallpaperBackend> plasma = ChooseWallpaperBackend("KDE", true, runner);
  ASSERT_NE(plasma, nullptr);
  EXPECT_EQ(plasma->Name(), "KDE Plasma");
  ASSERT_TRUE(plasma->Set("/home/me/\"odd\" name\\.bmp", runner));
  ASSERT_EQ(runner.commands.size(), 1u);
  const std::vector<std::string>& argv = runner.commands[0];
  ASSERT_EQ(argv.size(), 7u);
  EXPECT_EQ(argv[0], "dbus-send");
  EXPECT_EQ(argv[3], "--dest=org.kde.plasmashell");
  EXPECT_EQ(argv[4], "/PlasmaShell");
  EXPECT_EQ(argv[5], "org.kde.PlasmaShell.evaluateScript");
  EXPECT_EQ(argv[6].rfind("string:var all = desktops();", 0), 0u);
  // The quote and the backslash reach the script escaped in the URI.
  EXPECT_NE(argv[6].find("d.writeConfig(\"Image\", \"file:///home/me/%22odd%22%20name%5C.bmp\")"),
            std::string::npos);
}

TEST(WallpaperBackendTest, WPWritesTheFileThenCallsTheDesktopAndChangesNothingWithoutOne) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/";
  const std::string jpeg = dir.File("picture.jpg");
  test::TestJpeg shape;
  shape.width = 21;
  shape.height = 10;
  ASSERT_TRUE(test::WriteTestJpeg(jpeg, shape));

  test::FakeCommandRunner runner;
  PictureWallpaper none(folder, nullptr, runner);
  EXPECT_EQ(none.SetPicture(jpeg), PictureWallpaper::Result::kUnsupported);
  EXPECT_EQ(test::ReadFileBytes(none.FilePath()), "");
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_EQ(PictureWallpaper::Message(PictureWallpaper::Result::kUnsupported, jpeg),
            "このデスクトップの壁紙は設定できません。");

  PictureWallpaper feh(folder, std::make_unique<FehWallpaper>(), runner);
  EXPECT_EQ(feh.SetPicture(""), PictureWallpaper::Result::kNoPicture);
  EXPECT_EQ(feh.SetPicture(dir.File("missing.jpg")), PictureWallpaper::Result::kLoadFailed);
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_EQ(feh.SetPicture(jpeg), PictureWallpaper::Result::kSet);
  EXPECT_EQ(runner.commands, (Commands{{"feh", "--bg-fill", folder + "QLMWP.bmp"}}));
  EXPECT_EQ(test::ReadFileBytes(feh.FilePath()).size(), 14u + 40 + 64 * 10);
  runner.replies["feh"] = {2, "feh: cannot open display"};
  EXPECT_EQ(feh.SetPicture(jpeg), PictureWallpaper::Result::kCommandFailed);
}

}  // namespace
}  // namespace qlm

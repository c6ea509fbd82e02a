#include "app/gui/desktop/WallpaperBackends.h"

#include <cctype>
#include <vector>

#include "app/gui/desktop/CommandRunner.h"

namespace qlm {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

std::string FileUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::string GsettingsWallpaper::Name() const {
  switch (flavour_) {
    case Flavour::kCinnamon:
      return "Cinnamon";
    case Flavour::kMate:
      return "MATE";
    default:
      return "GNOME";
  }
}

bool GsettingsWallpaper::Set(const std::string& path, CommandRunner& runner) {
  switch (flavour_) {
    case Flavour::kCinnamon:
      return runner.Run({"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri",
                         FileUri(path)},
                        nullptr) == 0;
    case Flavour::kMate:
      return runner.Run({"gsettings", "set", "org.mate.background", "picture-filename", path},
                        nullptr) == 0;
    default:
      break;
  }
  const std::string uri = FileUri(path);
  if (runner.Run({"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri},
                 nullptr) != 0) {
    return false;
  }
  // The dark style's picture exists from GNOME 42 on; older versions refuse the key, which is
  // no failure.
  runner.Run({"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri},
             nullptr);
  return true;
}

bool XfceWallpaper::Set(const std::string& path, CommandRunner& runner) {
  std::string listing;
  if (runner.Run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, &listing) != 0) return false;
  std::vector<std::string> properties;
  size_t start = 0;
  while (start < listing.size()) {
    size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    std::string line = listing.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (EndsWith(line, "/last-image")) properties.push_back(line);
    start = end + 1;
  }
  if (properties.empty()) {
    return runner.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", kDefaultProperty, "-n", "-t",
                       "string", "-s", path},
                      nullptr) == 0;
  }
  bool all = true;
  for (const std::string& property : properties) {
    all = runner.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", path},
                     nullptr) == 0 &&
          all;
  }
  return all;
}

std::string PlasmaWallpaper::Script(const std::string& path) {
  std::string quoted;
  for (const char c : FileUri(path)) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  // The file keeps its name from picture to picture: the image is emptied first, so that
  // plasmashell sees a change and reads the file again.
  return "var all = desktops();\n"
         "for (var i = 0; i < all.length; i++) {\n"
         "  var d = all[i];\n"
         "  d.wallpaperPlugin = \"org.kde.image\";\n"
         "  d.currentConfigGroup = Array(\"Wallpaper\", \"org.kde.image\", \"General\");\n"
         "  d.writeConfig(\"Image\", \"\");\n"
         "  d.writeConfig(\"Image\", \"" +
         quoted +
         "\");\n"
         "}\n";
}

bool PlasmaWallpaper::Set(const std::string& path, CommandRunner& runner) {
  return runner.Run(
             {"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
              "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", "string:" + Script(path)},
             nullptr) == 0;
}

bool FehWallpaper::Set(const std::string& path, CommandRunner& runner) {
  return runner.Run({"feh", "--bg-fill", path}, nullptr) == 0;
}

std::unique_ptr<WallpaperBackend> ChooseWallpaperBackend(std::string_view current_desktop, bool x11,
                                                         CommandRunner& runner) {
  // The first name of the list that we know decides: "ubuntu:GNOME" is GNOME, "Budgie:GNOME"
  // Budgie (which keeps GNOME's background keys).
  size_t start = 0;
  while (start <= current_desktop.size()) {
    size_t end = current_desktop.find(':', start);
    if (end == std::string_view::npos) end = current_desktop.size();
    const std::string_view name = current_desktop.substr(start, end - start);
    using Flavour = GsettingsWallpaper::Flavour;
    for (const char* gnome : {"GNOME", "Unity", "Budgie", "GNOME-Classic", "GNOME-Flashback"}) {
      if (SameName(name, gnome)) return std::make_unique<GsettingsWallpaper>(Flavour::kGnome);
    }
    if (SameName(name, "X-Cinnamon") || SameName(name, "Cinnamon"))
      return std::make_unique<GsettingsWallpaper>(Flavour::kCinnamon);
    if (SameName(name, "MATE")) return std::make_unique<GsettingsWallpaper>(Flavour::kMate);
    if (SameName(name, "XFCE")) return std::make_unique<XfceWallpaper>();
    if (SameName(name, "KDE")) return std::make_unique<PlasmaWallpaper>();
    start = end + 1;
  }
  if (x11 && runner.Installed("feh")) return std::make_unique<FehWallpaper>();
  return nullptr;
}

}  // namespace qlm

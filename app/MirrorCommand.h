#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace qlm {

// QLM --mirror URL [--depth N] [--other-sites] [--into FOLDER]: a mirror without writing a
// project file first. It writes one for the URL into FOLDER (the current folder by default),
// named after the URL's host ("docs.example.prj"), with links made local (LocalizeLink=1), the
// depth as GraphMax (5 by default) and, with --other-sites, links to other hosts followed
// (PilotArea=2); then patrols it as --patrol does, with FOLDER as the mirror folder, so that
// the pages end up in FOLDER/HOST/HOST/ beside the project's queue files in FOLDER/HOST/.
// Running it again renews the mirror, or resumes an interrupted one.
class MirrorCommand {
 public:
  static constexpr int kDefaultDepth = 5;

  struct Options {
    std::string url;
    int depth = kDefaultDepth;
    bool other_sites = false;
    std::string into;  // empty: the current folder
    bool assume_yes = false;
  };

  // The project file's text for the options (no file system access); nothing when the URL cannot
  // be mirrored, with the reason in `why`.
  static std::optional<std::string> ProjectText(const Options& options, std::string* why);

  // Writes the project file and patrols it; the exit codes are PatrolCommand's (2 when the URL
  // or the folder cannot be used).
  static int Run(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err);
};

}  // namespace qlm

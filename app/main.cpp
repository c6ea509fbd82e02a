// QLM, the main program. The headless modes run here, and the program loads its windows (and Qt
// with them) only without one of them: a patrol from a terminal or a timer needs no display, and
// starts sooner and smaller without the libraries of one.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/ListCommand.h"
#include "app/MirrorCommand.h"
#include "app/PatrolCommand.h"
#include "app/TimerCommand.h"
#include "app/WindowsModule.h"
#include "platform/Folders.h"

namespace {

constexpr const char* kUsage =
    "usage: QLM [-s] [FILE.prj]\n"
    "       QLM --list [--yes] FILE.prj\n"
    "       QLM --patrol FILE.prj [--selected | --item \"FOLDER PATH\" [URL]] [--yes]\n"
    "       QLM --reset FILE.prj\n"
    "       QLM --mirror URL [--depth N] [--other-sites] [--into FOLDER] [--yes]\n"
    "       QLM --timers [--yes]\n"
    "  (no mode)          the main program: tray icon, project windows, slide window, picture\n"
    "                     show; FILE.prj opens that project and shows its window\n"
    "  -s                 as started by the screen saver QLMSS: the window stays hidden\n"
    "  --list FILE.prj    print the project's tree with each item's effective patrol options\n"
    "  --patrol FILE.prj  patrol the project: fetch, store and localise into its mirror folder;\n"
    "                     Ctrl-C stops (the next --patrol resumes), a second Ctrl-C ends at once\n"
    "  --selected         patrol only the items marked Selected\n"
    "  --item PATH [URL]  patrol one item (or, without URL, one folder) with what is below it;\n"
    "                     PATH is the folder path, the titles from the project down joined by /\n"
    "  --reset FILE.prj   forget an interrupted patrol: the next one walks the project anew\n"
    "  --mirror URL       write a project file for the URL into FOLDER (default: the current\n"
    "                     folder) with links made local, and patrol it into FOLDER: pages\n"
    "                     with their style sheets, scripts and pictures, N links deep (5)\n"
    "  --other-sites      with --mirror: follow links to other hosts too\n"
    "  --timers           run the patrol timers (QLM.tmf) without windows: each minute start and\n"
    "                     stop the patrols they name, one line per start, stop and end;\n"
    "                     Ctrl-C stops the running patrols (they resume later) and ends\n"
    "  --yes              answer yes to questions (converting queue files of an older version)\n";

enum class Mode { kNone, kList, kPatrol, kReset, kTimers, kMirror };

int Usage(const char* problem, const char* arg) {
  std::fprintf(stderr, "QLM: %s%s\n%s", problem, arg, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A patrol holds each page it reads or rewrites in one block as large as the page. The C
  // library would raise its threshold for giving such blocks their own mappings to the size of the
  // largest one freed (a site's largest page: megabytes), and then keep every later page's block
  // in its heaps, where freed room stays part of the process. A fixed threshold gives large blocks
  // back when they are freed: the real site's peak fell from 17-19 MB to about 15 MB.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  Mode mode = Mode::kNone;
  bool from_screen_saver = false;
  qlm::PatrolCommand::Options patrol;
  const char* window_project = nullptr;  // the project the main program opens
  qlm::MirrorCommand::Options mirror;
  bool mirror_options = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    Mode named = Mode::kNone;
    if (std::strcmp(arg, "--list") == 0) named = Mode::kList;
    if (std::strcmp(arg, "--patrol") == 0) named = Mode::kPatrol;
    if (std::strcmp(arg, "--reset") == 0) named = Mode::kReset;
    if (named != Mode::kNone) {
      if (!has_value) return Usage("a project file must follow ", arg);
      if (mode != Mode::kNone) return Usage("one mode at a time: ", arg);
      mode = named;
      patrol.project = argv[++i];
    } else if (std::strcmp(arg, "--mirror") == 0) {
      if (!has_value) return Usage("a URL must follow ", arg);
      if (mode != Mode::kNone) return Usage("one mode at a time: ", arg);
      mode = Mode::kMirror;
      mirror.url = argv[++i];
    } else if (std::strcmp(arg, "--depth") == 0) {
      if (!has_value) return Usage("a number must follow ", arg);
      char* end = nullptr;
      const long depth = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || depth < 0 || depth > 1000000) {
        return Usage("the depth must be a number of 0 or more: ", argv[i]);
      }
      mirror.depth = static_cast<int>(depth);
      mirror_options = true;
    } else if (std::strcmp(arg, "--other-sites") == 0) {
      mirror.other_sites = true;
      mirror_options = true;
    } else if (std::strcmp(arg, "--into") == 0) {
      if (!has_value) return Usage("a folder must follow ", arg);
      mirror.into = argv[++i];
      mirror_options = true;
    } else if (std::strcmp(arg, "--timers") == 0) {
      if (mode != Mode::kNone) return Usage("one mode at a time: ", arg);
      mode = Mode::kTimers;
    } else if (std::strcmp(arg, "-s") == 0 || std::strcmp(arg, "/s") == 0) {
      from_screen_saver = true;
    } else if (std::strcmp(arg, "--yes") == 0) {
      patrol.assume_yes = true;
    } else if (std::strcmp(arg, "--selected") == 0) {
      patrol.selected_only = true;
    } else if (std::strcmp(arg, "--item") == 0) {
      if (!has_value) return Usage("a folder path must follow ", arg);
      qlm::PatrolItemRef item;
      item.folder_path = argv[++i];
      if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) item.url = argv[++i];
      patrol.item = item;
    } else if (arg[0] != '-' && window_project == nullptr) {
      window_project = arg;
    } else {
      return Usage("unexpected argument ", arg);
    }
  }
  if (window_project && mode != Mode::kNone) return Usage("unexpected argument ", window_project);
  if ((patrol.selected_only || patrol.item) && mode != Mode::kPatrol) {
    return Usage("--selected and --item go with ", "--patrol");
  }
  if (patrol.selected_only && patrol.item) return Usage("--selected or --item, not both", "");
  if (mirror_options && mode != Mode::kMirror) {
    return Usage("--depth, --other-sites and --into go with ", "--mirror");
  }
  if (from_screen_saver && mode != Mode::kNone) return Usage("-s goes without ", "a mode");
  if (patrol.assume_yes && mode == Mode::kNone) return Usage("--yes goes with ", "a mode");
  switch (mode) {
    case Mode::kList:
      return qlm::ListCommand::Run(patrol.project, patrol.assume_yes, stdin, stdout, stderr);
    case Mode::kPatrol:
      return qlm::PatrolCommand::Patrol(patrol, stdin, stdout, stderr);
    case Mode::kReset:
      return qlm::PatrolCommand::Reset(patrol.project, patrol.assume_yes, stdin, stdout, stderr);
    case Mode::kTimers:
      return qlm::TimerCommand::Run(patrol.assume_yes, stdout, stderr);
    case Mode::kMirror:
      mirror.assume_yes = patrol.assume_yes;
      return qlm::MirrorCommand::Run(mirror, stdin, stdout, stderr);
    case Mode::kNone:
      break;
  }
#ifdef QLM_WITH_GUI
  return qlm::RunWindowsModule(qlm::ExecutableFolder(), argc, argv, from_screen_saver, stderr);
#else
  std::fprintf(stderr, "QLM: this build has no windows (Qt was not found); try --help\n");
  return 2;
#endif
}

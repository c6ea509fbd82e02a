// QLM, the main program. The headless modes run here before anything of the GUI starts, so that
// they work without a display.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/ListCommand.h"

namespace {

constexpr const char* kUsage =
    "usage: QLM --list [--yes] FILE.prj\n"
    "  --list FILE.prj   print the project's tree with each item's effective patrol options\n"
    "  --yes             answer yes to questions (converting queue files of an older version)\n";

}  // namespace

int main(int argc, char** argv) {
  bool list = false;
  bool assume_yes = false;
  std::string project;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--list") == 0 && i + 1 < argc) {
      list = true;
      project = argv[++i];
    } else if (std::strcmp(arg, "--yes") == 0) {
      assume_yes = true;
    } else {
      std::fprintf(stderr, "QLM: unexpected argument %s\n%s", arg, kUsage);
      return 2;
    }
  }
  if (list) return qlm::ListCommand::Run(project, assume_yes, stdin, stdout, stderr);
  std::fprintf(stderr, "QLM: the GUI is not built yet; try --help\n");
  return 2;
}

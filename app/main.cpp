// QLM, the main program. Headless modes run without a display; the GUI comes with the main frame.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("usage: QLM [--list FILE.prj]\n");
    return 0;
  }
  std::fprintf(stderr, "QLM: nothing to do yet (try --help)\n");
  return 2;
}

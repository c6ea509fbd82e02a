// Linked into the programs only in AddressSanitizer builds. The D-Bus library that Qt's desktop
// integration loads keeps one buffer until the process ends; LeakSanitizer would report it and end
// every Qt program with status 1, hiding the program's own result from the tests.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

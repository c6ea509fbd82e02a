#include "tests/support/TempHome.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qlm::test {

namespace {

std::string MakeTempFolder(const char* prefix, const char* base = std::getenv("TMPDIR")) {
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  return pattern;
}

}  // namespace

TempHome::TempHome() : root_(MakeTempFolder("qlm-home-")) {
  for (const auto& sub : {Config(), Data(), Runtime()}) {
    std::filesystem::create_directories(sub);
  }
  chmod(Runtime().c_str(), 0700);
}

TempHome::~TempHome() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void TempHome::Export() const {
  setenv("HOME", root_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
  setenv("XDG_DATA_HOME", Data().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", Runtime().c_str(), 1);
}

TempDir::TempDir() : path_(MakeTempFolder("qlm-test-")) {}

TempDir::TempDir(const std::string& base) : path_(MakeTempFolder("qlm-test-", base.c_str())) {}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace qlm::test

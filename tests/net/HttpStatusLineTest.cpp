#include <gtest/gtest.h>

#include "net/HttpStatusLine.h"

namespace qlm {
namespace {

TEST(HttpStatusLine, KeepsWhatParsedAndReportsWhetherTheWholeLineDid) {
  struct Case {
    const char* line;
    bool ok;
    int major, minor, code;
  } cases[] = {
      {"HTTP/1.0 200 OK\r", true, 1, 0, 200},
      {"  http/1.1 304 Not Modified", true, 1, 1, 304},
      {"HTTP/1.0 404\r", false, 1, 0, 404},  // no reason phrase: the CR stops the code
      {"HTTP/1.0 404", true, 1, 0, 404},
      {"HTTP/12.34 500 x", true, 12, 34, 500},
      {"HTTP/1.0 2x0 OK", false, 1, 0, 2},                // digits before the fault stay
      {"HTTP/1.0 1234567890 x", false, 1, 0, 123456789},  // never overflows
      {"HTTP/1.0", false, 1, 0, 0},                       // no code at all
  };
  for (const auto& c : cases) {
    HttpStatusLine f;
    EXPECT_EQ(ParseStatusLine(c.line, &f), c.ok) << c.line;
    EXPECT_EQ(f.version_major, c.major) << c.line;
    EXPECT_EQ(f.version_minor, c.minor) << c.line;
    EXPECT_EQ(f.status_code, c.code) << c.line;
  }
}

TEST(HttpStatusLine, ALineThatFailsBeforeTheCodeLeavesTheCodeAsItWas) {
  for (const char* line :
       {"", "HTTX/1.0 200 OK", "HTTP/1 200 OK", "HTTP/1.x 200", "<html>", "HTTP/1.0\r"}) {
    HttpStatusLine f;
    f.status_code = 777;
    EXPECT_FALSE(ParseStatusLine(line, &f)) << line;
    EXPECT_EQ(f.status_code, 777) << line;
  }
}

}  // namespace
}  // namespace qlm

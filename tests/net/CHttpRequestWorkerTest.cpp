// End to end: a request runs on the network worker thread, as the crawl engine runs it, and
// fetches from a scripted loopback server and from a real nginx, body streamed to a file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/CHttpRequest.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/WorkerFetch.h"

namespace qlm {
namespace {

class WorkerFetch : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fetcher_.Started()); }

  test::WorkerFetcher fetcher_;
  test::TempDir dir_;
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<char>(x >> 24);
  }
  return bytes;
}

const std::vector<int> kWithBody = {kProgressConnected, kProgressStatusLine, kProgressHeaders,
                                    kProgressBody, kProgressFinished};
const std::vector<int> kWithoutBody = {kProgressConnected, kProgressStatusLine, kProgressHeaders,
                                       kProgressFinished};

TEST_F(WorkerFetch, FetchesBodiesOfEverySizeFromALoopbackServer) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{50} * 1000 * 1000}) {
    SCOPED_TRACE(size);
    auto reply = std::make_shared<std::string>(
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
    const std::string body = Pattern(size);
    *reply += body;
    test::ScriptedServer server(test::ServerScript().ReadRequest().Send(reply));
    const std::string file = dir_.File("scripted" + std::to_string(size));
    test::WorkerFetchResult f = fetcher_.Fetch("127.0.0.1", server.Port(), "/file", file);
    ASSERT_TRUE(f.finished);
    EXPECT_EQ(f.result, kResultCompleted);
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.progress, size == 0 ? kWithoutBody : kWithBody);
    EXPECT_EQ(f.body_received, static_cast<int64_t>(size));
    EXPECT_TRUE(test::ReadFileBytes(file) == body);
  }
}

TEST_F(WorkerFetch, FetchesBodiesOfEverySizeFromNginx) {
  test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.Error();
  for (size_t size : {size_t{0}, size_t{1}, size_t{50} * 1000 * 1000}) {
    SCOPED_TRACE(size);
    const std::string body = Pattern(size);
    const std::string path = "/files/body" + std::to_string(size) + ".bin";
    ASSERT_TRUE(nginx.WriteFile(path, body));
    const std::string file = dir_.File("nginx" + std::to_string(size));
    test::WorkerFetchResult f = fetcher_.Fetch("127.0.0.1", nginx.Port(), path, file);
    ASSERT_TRUE(f.finished);
    EXPECT_EQ(f.result, kResultCompleted);
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.progress, size == 0 ? kWithoutBody : kWithBody);
    EXPECT_EQ(f.body_received, static_cast<int64_t>(size));
    EXPECT_EQ(f.sink_error, 0);
    EXPECT_TRUE(test::ReadFileBytes(file) == body);
  }
  // A missing file is a failed status, not a body.
  test::WorkerFetchResult missing =
      fetcher_.Fetch("127.0.0.1", nginx.Port(), "/nothing.html", dir_.File("404"));
  EXPECT_EQ(missing.result, kResultFailed);
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.progress,
            (std::vector<int>{kProgressConnected, kProgressStatusLine, kProgressFinished}));
}

}  // namespace
}  // namespace qlm

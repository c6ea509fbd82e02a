// Parse speed of reply header blocks: status line, framing, content length and the header
// parser, as a request does them for every reply. Reported as blocks per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "net/CHttpHeaders.h"
#include "net/CReceiveBuffer.h"
#include "net/HttpStatusLine.h"

namespace {

const std::string kTypicalReply =
    "HTTP/1.1 200 OK\r\n"
    "Server: nginx/1.22.1\r\n"
    "Date: Tue, 14 Nov 2023 22:13:20 GMT\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "Content-Length: 51234\r\n"
    "Last-Modified: Mon, 13 Nov 2023 08:00:00 GMT\r\n"
    "Connection: close\r\n"
    "ETag: \"6552d8c0-c822\"\r\n"
    "Cache-Control: max-age=600\r\n"
    "X-Frame-Options: SAMEORIGIN\r\n"
    "Set-Cookie: session=0123456789abcdef0123456789abcdef; Path=/; HttpOnly\r\n"
    "Accept-Ranges: bytes\r\n"
    "\r\n";

const std::string kRedirectReply =
    "HTTP/1.0 302 Found\r\n"
    "Location: http://www.example.com/dir/next.html\r\n"
    "Content-Type: text/html\r\n"
    "\r\n";

void ParseBlocks(benchmark::State& state, const std::string& reply) {
  qlm::CReceiveBuffer buffer(256 * 1024);
  qlm::CHttpHeaders headers;
  std::string line, block;
  for (auto _ : state) {
    buffer.Clear();
    std::memcpy(buffer.WritePos(), reply.data(), reply.size());
    buffer.Commit(reply.size());
    qlm::HttpStatusLine status;
    buffer.TakeLine(65536, &line);
    qlm::ParseStatusLine(line, &status);
    buffer.TakeHeaderBlock(65536, &block);
    int64_t length = qlm::CHttpHeaders::ScanContentLength(block);
    bool ok = headers.ParseReplyHeaders(block);
    benchmark::DoNotOptimize(length);
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(reply.size()));
  state.SetLabel("items/s = header blocks per second");
}

void BM_TypicalReplyHeaderBlock(benchmark::State& state) {
  ParseBlocks(state, kTypicalReply);
}
void BM_RedirectReplyHeaderBlock(benchmark::State& state) {
  ParseBlocks(state, kRedirectReply);
}

BENCHMARK(BM_TypicalReplyHeaderBlock);
BENCHMARK(BM_RedirectReplyHeaderBlock);

}  // namespace

BENCHMARK_MAIN();

// Throughput of one HTTP/1.0 transaction with a 50 MB body on loopback against nginx: our
// request on the network worker thread, body streamed to a file, against
// `curl --http1.0 -o file` on the same URL in the same run. Prints both speeds and their ratio
// (target: at least 0.7).
//   build/bench/bench_http_throughput [ROUNDS]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/NginxServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/WorkerFetch.h"

namespace {

constexpr size_t kBodyBytes = 50 * 1000 * 1000;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  qlm::test::NginxServer nginx;
  std::string body(kBodyBytes, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 2654435761u) >> 13);
  if (!nginx.WriteFile("/big.bin", body) || !nginx.Start()) {
    std::fprintf(stderr, "cannot start nginx: %s\n", nginx.Error().c_str());
    return 1;
  }
  qlm::test::WorkerFetcher fetcher;
  if (!fetcher.Started()) {
    std::fprintf(stderr, "cannot start the network worker thread\n");
    return 1;
  }
  qlm::test::TempDir dir;
  const std::string url = nginx.Url("/big.bin");
  std::vector<double> ours, curl;
  for (int round = 0; round < rounds; ++round) {
    const std::string our_file = dir.File("ours" + std::to_string(round));
    auto start = std::chrono::steady_clock::now();
    auto r = fetcher.Fetch("127.0.0.1", nginx.Port(), "/big.bin", our_file);
    ours.push_back(Seconds(start));
    if (!r.finished || r.result != 2 || r.body_received != static_cast<int64_t>(kBodyBytes)) {
      std::fprintf(stderr, "our fetch failed: result %d, %lld bytes\n", r.result,
                   static_cast<long long>(r.body_received));
      return 1;
    }
    unlink(our_file.c_str());

    const std::string curl_file = dir.File("curl" + std::to_string(round));
    const std::string command = "curl --http1.0 -s -o " + curl_file + " " + url;
    start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    curl.push_back(Seconds(start));
    if (status != 0) {
      std::fprintf(stderr, "curl failed (%d): is curl installed? (scripts/setup)\n", status);
      return 1;
    }
    unlink(curl_file.c_str());
  }
  const double mb = kBodyBytes / 1e6;
  const double our_speed = mb / Median(ours);
  const double curl_speed = mb / Median(curl);
  std::printf("one transaction of %.0f MB on loopback from nginx, median of %d rounds\n", mb,
              rounds);
  std::printf("  Quillmere CHttpRequest  %8.1f MB/s  (best %.1f)\n", our_speed,
              mb / *std::min_element(ours.begin(), ours.end()));
  std::printf("  curl --http1.0 -o file  %8.1f MB/s  (best %.1f)\n", curl_speed,
              mb / *std::min_element(curl.begin(), curl.end()));
  const double ratio = our_speed / curl_speed;
  std::printf("ratio %.2f of curl's speed (target 0.70): %s\n", ratio,
              ratio >= 0.7 ? "met" : "NOT met");
  return 0;
}

// Records per second through the persistent patrol queue: appends, pops from the front, and the
// steady state of a patrol (a record in, a record out, one held while it downloads).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "project/LinkRecord.h"
#include "project/PatrolQueue.h"

namespace {

std::string QueuePath() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/qlm-bench-" + std::to_string(getpid()) + ".uq";
}

// A record of the size a patrol makes: a folder path, two URLs and a referer.
qlm::LinkRecord Typical(int n) {
  qlm::LinkRecord r;
  r.graph_max = 5;
  r.depth = 2;
  r.folder_path = "project/folder/sub";
  r.item_url = "http://www.example.com/start/index.html";
  r.referer = "http://www.example.com/start/page" + std::to_string(n / 10) + ".html";
  r.url = "http://www.example.com/start/images/picture" + std::to_string(n) + ".jpg";
  return r;
}

void BM_Append(benchmark::State& state) {
  const std::string path = QueuePath();
  std::remove(path.c_str());
  qlm::PatrolQueue queue(qlm::LinkRecord::kVersion);
  if (!queue.Open(path)) state.SkipWithError("cannot open the queue file");
  int n = 0;
  for (auto _ : state) {
    if (!queue.Append(Typical(n++))) state.SkipWithError("append failed");
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
  queue.Close();
  std::remove(path.c_str());
}
BENCHMARK(BM_Append);

void BM_PopFront(benchmark::State& state) {
  const std::string path = QueuePath();
  std::remove(path.c_str());
  qlm::PatrolQueue queue(qlm::LinkRecord::kVersion);
  if (!queue.Open(path)) state.SkipWithError("cannot open the queue file");
  const int batch = 10000;
  int popped = 0;
  qlm::LinkRecord record;
  for (auto _ : state) {
    if (queue.IsEmpty()) {
      state.PauseTiming();
      for (int i = 0; i < batch; ++i) queue.Append(Typical(i));
      state.ResumeTiming();
    }
    if (!queue.PopFront(record)) state.SkipWithError("pop failed");
    ++popped;
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(popped), benchmark::Counter::kIsRate);
  queue.Close();
  std::remove(path.c_str());
}
BENCHMARK(BM_PopFront);

// A patrol's step: a found link is appended, the next record is taken into the held chain while
// it downloads, then released.
void BM_PatrolStep(benchmark::State& state) {
  const std::string path = QueuePath();
  std::remove(path.c_str());
  qlm::PatrolQueue queue(qlm::LinkRecord::kVersion);
  if (!queue.Open(path)) state.SkipWithError("cannot open the queue file");
  for (int i = 0; i < 1000; ++i) queue.Append(Typical(i));
  int n = 0;
  std::string data;
  qlm::PatrolQueue::NodeId held = 0;
  for (auto _ : state) {
    if (!queue.Append(Typical(n++)) || !queue.HoldFront(data, held) ||
        !queue.Remove(held, qlm::PatrolQueue::Chain::kHeld)) {
      state.SkipWithError("queue step failed");
    }
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
  queue.Close();
  std::remove(path.c_str());
}
BENCHMARK(BM_PatrolStep);

}  // namespace

BENCHMARK_MAIN();

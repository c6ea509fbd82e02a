// Decoding a 12-megapixel JPEG into the packed bitmap that the picture channel carries, against
// libjpeg-turbo's own djpeg writing a BMP from the same file, in the same run.
//
//   build/bench/bench_JpegDecode [--benchmark_min_time=2]
//
// The last line gives the ratio of the best times; the aim is at most 1.3.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture/JpegLoader.h"
#include "tests/picture/JpegTestImage.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string g_picture;       // the generated JPEG
double g_best_load = 1e30;   // seconds, best decode-and-pack
double g_best_djpeg = 1e30;  // seconds, best djpeg run
bool g_djpeg_failed = false;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

void BM_LoadAndPack(benchmark::State& state) {
  qlm::JpegLoader loader;
  size_t bytes = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::optional<qlm::PackedBitmap> bitmap = loader.Load(g_picture, 0, 1, 1);
    if (!bitmap) {
      state.SkipWithError(loader.LastMessage().c_str());
      return;
    }
    bytes = bitmap->Size();
    benchmark::DoNotOptimize(bitmap->Data());
    g_best_load = std::min(g_best_load, Seconds(start));
  }
  state.counters["bitmap_MiB"] = static_cast<double>(bytes) / (1 << 20);
}

// djpeg -bmp keeps the whole image to write it bottom-up, as the packed bitmap is laid out.
void BM_Djpeg(benchmark::State& state) {
  const char* argv[] = {"djpeg", "-bmp", "-outfile", "/dev/null", g_picture.c_str(), nullptr};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      g_djpeg_failed = true;
      state.SkipWithError("djpeg did not run; scripts/setup installs libjpeg-turbo-progs");
      return;
    }
    const double took = Seconds(start);
    state.SetIterationTime(took);
    g_best_djpeg = std::min(g_best_djpeg, took);
  }
}

void BM_ReadHeader(benchmark::State& state) {
  qlm::JpegLoader loader;
  int width = 0, height = 0;
  for (auto _ : state) benchmark::DoNotOptimize(loader.ReadHeader(g_picture, &width, &height));
}

BENCHMARK(BM_LoadAndPack)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_ReadHeader)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char folder[] = "/tmp/qlm-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  g_picture = std::string(folder) + "/12mp.jpg";
  // A camera-like file: 4000 x 3000, 4:2:0 chroma, quality 90, with a texture so that the
  // entropy decoder has real work.
  const qlm::test::TestJpeg shape{
      .width = 4000, .height = 3000, .quality = 90, .subsample = true, .noise = 12};
  if (!qlm::test::WriteTestJpeg(g_picture, shape)) {
    std::fprintf(stderr, "cannot write %s\n", g_picture.c_str());
    return 1;
  }
  std::printf("picture: %s, %ju bytes\n", g_picture.c_str(),
              static_cast<uintmax_t>(std::filesystem::file_size(g_picture)));
  std::fflush(stdout);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(folder);

  if (g_best_load < 1e30 && g_best_djpeg < 1e30 && !g_djpeg_failed) {
    std::printf("decode-and-pack %.1f ms, djpeg %.1f ms (best runs): ratio %.2f (target <= 1.3)\n",
                g_best_load * 1e3, g_best_djpeg * 1e3, g_best_load / g_best_djpeg);
  }
  return 0;
}

// The picture block for a 12-megapixel picture: creating and filling it on the main program's
// side, and opening and reading it on a display's side, in the same run.
//
//   build/bench/bench_PictureBlock
//
// Fill: a fresh block of the exact size with the decoded bitmap copied in (the wallpaper path),
// against a plain copy of the same bytes into ordinary memory, the floor for any fill. Decode into
// the block: the picture thread's own path, against decoding into ordinary memory and copying.
// Map: a display opens the block, parses it and reads every row once. The last lines give the
// ratios of the best times.
#include "picture/PictureBlock.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/JpegLoader.h"
#include "picture/ReceivedPicture.h"
#include "tests/picture/JpegTestImage.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_picture;
qlm::PackedBitmap g_bitmap;  // the picture decoded once
const qlm::PictureHeader kHeader{0x00202020, 3, 5, "", "/home/me/Pictures/12mp.jpg", "", ""};
double g_best_fill = 1e30;
double g_best_copy = 1e30;
double g_best_decode_into = 1e30;
double g_best_decode_copy = 1e30;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

void BM_CreateAndFillBlock(benchmark::State& state) {
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    qlm::PictureBlock block;
    if (!block.Create(qlm::kPictureBlockName, kHeader, g_bitmap.Size())) {
      state.SkipWithError("the block cannot be created");
      return;
    }
    std::memcpy(block.BitmapArea(), g_bitmap.Data(), g_bitmap.Size());
    benchmark::ClobberMemory();
    g_best_fill = std::min(g_best_fill, Seconds(start));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bitmap.Size()));
}

void BM_CopyIntoFreshMemory(benchmark::State& state) {
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    qlm::PackedBitmap copy;
    copy.Allocate(g_bitmap.Size());
    std::memcpy(copy.Data(), g_bitmap.Data(), g_bitmap.Size());
    benchmark::DoNotOptimize(copy.Data());
    g_best_copy = std::min(g_best_copy, Seconds(start));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bitmap.Size()));
}

void BM_DecodeIntoBlock(benchmark::State& state) {
  qlm::JpegLoader loader;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    qlm::PictureBlock block;
    if (!loader.Start(g_picture, 0, 1, 0) ||
        !block.Create(qlm::kPictureBlockName, kHeader, loader.PackedSize()) ||
        !loader.DecodeInto(block.BitmapArea(), block.BitmapBytes())) {
      state.SkipWithError("decoding into the block failed");
      return;
    }
    g_best_decode_into = std::min(g_best_decode_into, Seconds(start));
  }
}

void BM_DecodeThenCopyIntoBlock(benchmark::State& state) {
  qlm::JpegLoader loader;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::optional<qlm::PackedBitmap> bitmap = loader.Load(g_picture, 0, 1, 0);
    qlm::PictureBlock block;
    if (!bitmap || !block.Create(qlm::kPictureBlockName, kHeader, bitmap->Size())) {
      state.SkipWithError("decoding failed");
      return;
    }
    std::memcpy(block.BitmapArea(), bitmap->Data(), bitmap->Size());
    g_best_decode_copy = std::min(g_best_decode_copy, Seconds(start));
  }
}

void BM_DisplayOpensAndReadsBlock(benchmark::State& state) {
  qlm::PictureBlock block;
  if (!block.Create(qlm::kPictureBlockName, kHeader, g_bitmap.Size())) {
    state.SkipWithError("the block cannot be created");
    return;
  }
  std::memcpy(block.BitmapArea(), g_bitmap.Data(), g_bitmap.Size());
  for (auto _ : state) {
    qlm::ReceivedPicture picture;
    if (!picture.Open()) {
      state.SkipWithError("the block cannot be opened");
      return;
    }
    const qlm::DibView& view = picture.Bitmap();
    std::uint64_t sum = 0;
    for (int y = 0; y < view.Height(); ++y) {
      const std::uint8_t* row = view.Row(y);
      for (size_t x = 0; x < view.RowStride(); x += 64) sum += row[x];  // every cache line
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bitmap.Size()));
}

BENCHMARK(BM_CreateAndFillBlock)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_CopyIntoFreshMemory)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_DecodeIntoBlock)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecodeThenCopyIntoBlock)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DisplayOpensAndReadsBlock)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char folder[] = "/tmp/qlm-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  // The blocks belong to a private runtime folder, so the benchmark never meets a running show.
  const std::string runtime = std::string(folder) + "/runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  g_picture = std::string(folder) + "/12mp.jpg";
  const qlm::test::TestJpeg shape{
      .width = 4000, .height = 3000, .quality = 90, .subsample = true, .noise = 12};
  qlm::JpegLoader loader;
  std::optional<qlm::PackedBitmap> bitmap;
  if (!qlm::test::WriteTestJpeg(g_picture, shape) || !(bitmap = loader.Load(g_picture, 0, 1, 0))) {
    std::fprintf(stderr, "cannot make the picture %s\n", g_picture.c_str());
    return 1;
  }
  g_bitmap = std::move(*bitmap);
  std::printf("picture: 4000 x 3000, bitmap %.1f MiB\n",
              static_cast<double>(g_bitmap.Size()) / (1 << 20));
  std::fflush(stdout);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(folder);

  if (g_best_fill < 1e30 && g_best_copy < 1e30) {
    std::printf("create and fill a block %.1f ms, copy into fresh memory %.1f ms: ratio %.2f\n",
                g_best_fill * 1e3, g_best_copy * 1e3, g_best_fill / g_best_copy);
  }
  if (g_best_decode_into < 1e30 && g_best_decode_copy < 1e30) {
    std::printf("decode into the block %.1f ms, decode then copy %.1f ms: ratio %.2f\n",
                g_best_decode_into * 1e3, g_best_decode_copy * 1e3,
                g_best_decode_into / g_best_decode_copy);
  }
  return 0;
}

// One transition step on screen-sized 1920 x 1080 buffers: the lines of the step copied from
// NextBuffer to ShownBuffer and handed to the window as repaint requests, per effect; then whole
// transitions at the default 5 ms delay against the time their steps x delay promise.
//
//   build/bench/bench_TransitionStep
//
// The table at the end gives each effect's cost per step as a share of the 5 ms delay (the aim
// is far below 1) and the ratio of a paced transition's real time to steps x delay (the aim is
// between 1.00 and 1.05).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "picture/StepClock.h"
#include "picture/TransitionSteps.h"
#include "picture/display/DisplayBuffers.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/RevealTransition.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kDelayMs = 5;  // the default step delay

std::map<int, double> g_step_us;     // effect -> microseconds per step
std::map<int, double> g_pace_ratio;  // effect -> real time / (steps x delay)
double g_sleep_ratio = 0;            // 300 bare sleeps of the delay / (300 x delay)

qlm::DisplayBuffers& Buffers() {
  static qlm::DisplayBuffers buffers(QSize(kWidth, kHeight));
  static const bool filled = [] {
    QImage& next = buffers.NextBuffer();
    for (int y = 0; y < kHeight; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(next.scanLine(y));
      for (int x = 0; x < kWidth; ++x) row[x] = 0xFF000000u | (x * 131u + y * 7u);
    }
    return true;
  }();
  (void)filled;
  return buffers;
}

// The window the steps are shown in. It is never mapped, so the repaint requests cost what they
// cost the reader thread (gathering and queueing) without a screen behind them.
qlm::DisplayWidget& Widget() {
  static qlm::DisplayWidget widget(Buffers());
  return widget;
}

// The steps of one effect over the whole screen, cycled: each iteration is one step.
void BM_Step(benchmark::State& state) {
  const int effect = static_cast<int>(state.range(0));
  const qlm::TransitionSteps steps(effect, kWidth, kHeight);
  qlm::DisplayBuffers& buffers = Buffers();
  qlm::DisplayWidget& widget = Widget();
  int index = 0;
  for (auto _ : state) {
    QRect changed[2];
    int count = 0;
    buffers.CopyStep(steps.At(index), QSize(kWidth, kHeight), changed, &count);
    for (int i = 0; i < count; ++i) widget.RequestRepaint(changed[i]);
    if (++index == steps.Count()) index = 0;
    // The user-interface thread takes the gathered requests every few steps.
    if ((index & 15) == 0) QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  state.SetLabel(qlm::TransitionEffectName(effect));
}

// A whole paced transition; the area is cut so that each run makes 300 steps (1.5 s).
void BM_PacedTransition(benchmark::State& state) {
  const int effect = static_cast<int>(state.range(0));
  const bool rows = effect % 2 == 1;
  const qlm::TransitionSteps probe(effect, 600, 600);
  const int lines = 600 * 300 / probe.Count();
  const QSize area = rows ? QSize(kWidth, lines) : QSize(lines, kHeight);
  qlm::SystemStepClock clock;
  std::atomic<bool> abort{false};
  qlm::DisplayWidget& widget = Widget();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const qlm::TransitionOutcome outcome =
        qlm::RevealTransition(Buffers(), area, effect, kDelayMs, clock, abort,
                              [&](const QRect& rect) { widget.RequestRepaint(rect); });
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    QCoreApplication::processEvents();
    state.SetIterationTime(took);
    g_pace_ratio[effect] = took / (outcome.steps_done * kDelayMs / 1000.0);
    state.counters["steps"] = outcome.steps_done;
  }
  state.SetLabel(qlm::TransitionEffectName(effect));
}

// The same number of bare 5 ms sleeps: what the system's own wake-up latency adds, to read the
// paced ratios against.
void BM_BareSleeps(benchmark::State& state) {
  qlm::SystemStepClock clock;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; ++i) clock.SleepMs(kDelayMs);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(took);
    g_sleep_ratio = took / (300 * kDelayMs / 1000.0);
  }
}

void StepArgs(benchmark::internal::Benchmark* b) {
  for (int effect = qlm::kCrossH; effect <= qlm::kWiperV; ++effect) b->Arg(effect);
}

BENCHMARK(BM_Step)->Apply(StepArgs);
BENCHMARK(BM_PacedTransition)
    ->Arg(qlm::kRasterH)
    ->Arg(qlm::kCrossV)
    ->Arg(qlm::kRasterOpenH)
    ->Arg(qlm::kWiperV)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSleeps)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Collects the per-step times from the reports, to print them next to the delay.
class StepReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_name.function_name != "BM_Step" || run.iterations == 0) continue;
      const int effect = std::atoi(run.run_name.args.c_str());
      g_step_us[effect] = run.GetAdjustedRealTime() * 1e-3;  // ns -> us
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  StepReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-13s %12s %14s\n", "effect", "us per step", "share of 5 ms");
  for (const auto& [effect, us] : g_step_us) {
    std::printf("%-13s %12.2f %14.4f\n", qlm::TransitionEffectName(effect), us,
                us / (kDelayMs * 1000.0));
  }
  std::printf("\n%-13s %26s\n", "effect", "real / (steps x 5 ms)");
  for (const auto& [effect, ratio] : g_pace_ratio) {
    std::printf("%-13s %26.4f\n", qlm::TransitionEffectName(effect), ratio);
  }
  std::printf("%-13s %26.4f\n", "bare sleeps", g_sleep_ratio);
  return 0;
}

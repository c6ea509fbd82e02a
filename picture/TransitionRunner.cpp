#include "picture/TransitionRunner.h"

#include <cstdint>

namespace qlm {

namespace {

// Removes the lines that lie outside 0 .. extent-1, keeping the order of the others.
TransitionStep InsideArea(TransitionStep step, int extent) {
  int kept = 0;
  for (int i = 0; i < step.count; ++i) {
    if (step.lines[i] >= 0 && step.lines[i] < extent) step.lines[kept++] = step.lines[i];
  }
  step.count = kept;
  return step;
}

}  // namespace

TransitionOutcome RunTransition(int effect, int width, int height, int delay_ms, StepClock& clock,
                                const std::atomic<bool>& abort, const TransitionCopy& copy) {
  TransitionOutcome outcome;
  if (effect == kRandom) effect = ResolveTransitionEffect(effect, clock.NowMs());
  const TransitionSteps steps(effect, width, height);
  outcome.effect = steps.Effect();

  for (int i = 0; i < steps.Count(); ++i) {
    if (abort.load(std::memory_order_acquire)) {
      outcome.aborted = true;
      return outcome;
    }
    const TransitionStep step = steps.At(i);
    if (step.kind == TransitionStep::kWholeArea) {
      copy(step);
      ++outcome.steps_done;
      continue;  // the whole picture at once, however long the delay
    }
    const uint32_t t0 = clock.NowMs();
    const TransitionStep inside = InsideArea(step, steps.Extent());
    if (inside.count > 0) copy(inside);
    const uint32_t t1 = clock.NowMs();
    ++outcome.steps_done;
    const int64_t remaining = int64_t{delay_ms} - static_cast<int64_t>(t1 - t0);
    if (remaining > 0) clock.SleepMs(static_cast<uint32_t>(remaining));
  }
  return outcome;
}

}  // namespace qlm

#pragma once

#include <atomic>
#include <functional>

#include "picture/StepClock.h"
#include "picture/TransitionSteps.h"

namespace qlm {

// What a run did: the effect that ran (Random resolved), how many steps were made, and whether
// the abort flag ended it before the last one.
struct TransitionOutcome {
  int effect = kNoEffect;
  int steps_done = 0;
  bool aborted = false;
};

// Copies the lines of one step from the next picture to the shown one (and on to the screen).
// It receives only lines inside the area: a line just past the area is dropped from the step
// before the call, and a step left with no line is not passed on, though it still takes its time.
using TransitionCopy = std::function<void(const TransitionStep&)>;

// Reveals a picture over a width x height area with `effect`, on the caller's thread. Random is
// drawn from `clock`. Before every step `abort` is read, and a set flag ends the run at once;
// what was copied stays. Each step after NoEffect's single one lasts at least `delay_ms`: the
// clock is read before and after the copies and only the remainder is slept; a slow step is not
// made up later, and a delay of 0 or less never sleeps.
TransitionOutcome RunTransition(int effect, int width, int height, int delay_ms, StepClock& clock,
                                const std::atomic<bool>& abort, const TransitionCopy& copy);

}  // namespace qlm

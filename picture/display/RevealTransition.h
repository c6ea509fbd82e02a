#pragma once

#include <QRect>
#include <QSize>
#include <atomic>
#include <functional>

#include "picture/StepClock.h"
#include "picture/TransitionRunner.h"

namespace qlm {

class DisplayBuffers;

// Reveals the picture composed in NextBuffer over the top-left `area` with `effect`, one step of
// lines at a time: each step copies its lines into ShownBuffer and then hands every changed
// rectangle to `repaint`, which has the window show exactly those lines. Runs on the calling
// (reader) thread; `abort` is read before every step and ends the reveal there.
TransitionOutcome RevealTransition(DisplayBuffers& buffers, QSize area, int effect, int delay_ms,
                                   StepClock& clock, const std::atomic<bool>& abort,
                                   const std::function<void(const QRect&)>& repaint);

}  // namespace qlm

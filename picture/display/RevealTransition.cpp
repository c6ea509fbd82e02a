#include "picture/display/RevealTransition.h"

#include "picture/display/DisplayBuffers.h"

namespace qlm {

TransitionOutcome RevealTransition(DisplayBuffers& buffers, QSize area, int effect, int delay_ms,
                                   StepClock& clock, const std::atomic<bool>& abort,
                                   const std::function<void(const QRect&)>& repaint) {
  // Lines beyond the buffers cannot be shown; the steps are laid out over what can.
  const QSize shown = area.boundedTo(buffers.Size()).expandedTo(QSize(0, 0));
  return RunTransition(effect, shown.width(), shown.height(), delay_ms, clock, abort,
                       [&](const TransitionStep& step) {
                         QRect changed[2];
                         int count = 0;
                         buffers.CopyStep(step, shown, changed, &count);
                         for (int i = 0; i < count; ++i) repaint(changed[i]);
                       });
}

}  // namespace qlm

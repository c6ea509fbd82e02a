#pragma once

namespace qlm {

// Gives the calling thread a lower scheduling priority (a higher nice value) than the threads it
// serves. For helpers that work ahead of or behind one busy thread (making spare files and sockets,
// closing connections): at the same priority, the scheduler wakes them on the busy thread's
// processor and lets them take it over, and the busy thread waits for work that could have waited.
// At the lower one they run on the time the others leave, which on a machine with a processor to
// spare is soon. Failure (a system that refuses) leaves the priority as it was.
void LowerThreadPriority();

}  // namespace qlm

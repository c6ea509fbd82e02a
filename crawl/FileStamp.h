#pragma once

#include "crawl/MirrorFiles.h"

namespace qlm {

// A time that divides file writes into before and after: every file written before the call has a
// last-write time no later than the result, every file written after the call returns a later one.
//
// The patrol asks "was this copy written during this patrol (or this phase)?" by comparing a file's
// last-write time with such a time. The kernel stamps files from a clock that may run up to one
// tick (a few milliseconds) behind the precise clock, so the precise time read at the start is not
// enough on its own: a file written in the same tick could be stamped before it. The call waits
// until the stamping clock has passed the time it returns (at most one tick).
FileTime FileStampNow();

}  // namespace qlm

#include "net/WSStartup.h"

namespace qlm {

namespace {
WSStartupRecord record;
}  // namespace

void WSStartup() {
  record.error = 0;
  record.started = true;
}

int WSCleanup() {
  record.started = false;
  return 0;
}

const WSStartupRecord& WSStartupState() {
  return record;
}

}  // namespace qlm

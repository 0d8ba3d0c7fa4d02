#pragma once

#include <signal.h>

namespace lk58::ctl {

// The interrupt signals (SIGINT, SIGTERM, SIGHUP), added to `set`: a worker
// starts with them held, so that one arriving before its handler is in
// place waits for it.
void AddInterruptSignals(sigset_t& set);

} // namespace lk58::ctl

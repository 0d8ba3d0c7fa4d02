#pragma once

#include <signal.h>
#include <sys/types.h>

namespace lk58::ctl {

// Ctrl+C (SIGINT), SIGTERM and a hang-up (SIGHUP: the terminal closed, the
// ssh connection dropped) do not end the program: they ask every port's
// work to stop after its current write, so that no text is left half
// written and the report says exactly what each converter holds. Workers
// that are registered get the request passed on (a terminal already sends
// it to them; a kill aimed at this process alone does not).
void InstallInterruptHandler();
bool Interrupted();

// The signals above, added to `set`: a worker starts with them held, so
// that one arriving before its handler is in place waits for it.
void AddInterruptSignals(sigset_t& set);

// A write to a pipe whose reader went away (`tq36ctl ... | head`) fails
// with EPIPE instead of killing the process in the middle of a write to a
// converter.
void IgnoreBrokenPipe();

// Up to kMaxWorkers child processes can be registered at a time.
inline constexpr int kMaxWorkers = 256;
void RegisterWorker(pid_t pid);
void UnregisterWorker(pid_t pid);

} // namespace lk58::ctl

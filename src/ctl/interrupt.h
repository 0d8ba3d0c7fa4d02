#pragma once

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

// Up to kMaxWorkers child processes can be registered at a time.
inline constexpr int kMaxWorkers = 256;
void RegisterWorker(pid_t pid);
void UnregisterWorker(pid_t pid);

} // namespace lk58::ctl

#include "ctl/startup.h"

#include "ctl/interrupt_posix.h"

#include <csignal>

namespace lk58::ctl {

// A terminal's encoding is the locale's, UTF-8 on any current system.
void PrepareOutput() {}

void ReleaseInterrupts()
{
    sigset_t held;
    sigemptyset(&held);
    AddInterruptSignals(held);
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

void KeepWorkingWithoutReader()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace lk58::ctl

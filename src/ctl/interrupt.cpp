#include "ctl/interrupt.h"
#include "ctl/interrupt_posix.h"

#include <atomic>
#include <csignal>

namespace lk58::ctl {

namespace {

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> interrupted{false};
std::atomic<pid_t> workers[kMaxWorkers];

void OnInterrupt(int signal)
{
    interrupted.store(true);
    // Only async-signal-safe calls here.
    for (auto& w : workers)
        if (const pid_t pid = w.load(); pid > 0)
            ::kill(pid, signal);
}

} // namespace

void InstallInterruptHandler()
{
    struct sigaction action{};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kInterruptSignals)
        sigaction(signal, &action, nullptr);
}

void AddInterruptSignals(sigset_t& set)
{
    for (const int signal : kInterruptSignals)
        sigaddset(&set, signal);
}

bool Interrupted()
{
    return interrupted.load();
}

void RegisterWorker(pid_t pid)
{
    for (auto& w : workers) {
        pid_t empty = 0;
        if (w.compare_exchange_strong(empty, pid))
            return;
    }
}

void UnregisterWorker(pid_t pid)
{
    for (auto& w : workers) {
        pid_t expected = pid;
        if (w.compare_exchange_strong(expected, 0))
            return;
    }
}

} // namespace lk58::ctl

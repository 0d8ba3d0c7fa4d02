#include "ctl/interrupt.h"

#include <atomic>

#include <windows.h>

namespace lk58::ctl {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    interrupted.store(true);
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return TRUE; // handled: the work stops after the write under way
    default:
        // The console is closing, or the user logs off: Windows ends the
        // process once this returns, or after its grace period of a few
        // seconds. Not returning lets the write under way finish in that
        // time; the process ends as usual when its work is done.
        ::Sleep(INFINITE);
        return TRUE;
    }
}

} // namespace

// Workers share the console, so Ctrl+C and closing the console reach each of
// them from Windows itself; there is nothing to pass on.
void InstallInterruptHandler()
{
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted()
{
    return interrupted.load();
}

void RegisterWorker(pid_t) {}

void UnregisterWorker(pid_t) {}

} // namespace lk58::ctl

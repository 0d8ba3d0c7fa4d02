#include "serial/comthread.h"

#include "core/apperror.h"
#include "serial/comport.h"
#include "core/synchronize.h"

#include <future>

namespace lk58 {

namespace {
std::atomic<int> runningThreads{0};
thread_local TComThread* currentThread = nullptr;
}

TComThread* TComThread::Current()
{
    return currentThread;
}

TComThread::TComThread(TCustomComPort& port, std::unique_ptr<platform::TEventWaiter> waiter,
                       bool synchronizeEvents, TThreadPriority priority)
    : port_(&port)
    , waiter_(std::move(waiter))
    , synchronizeEvents_(synchronizeEvents)
    , priority_(ThreadPriorityValue(priority))
{
}

void TComThread::Run()
{
    runningThreads.fetch_add(1);
    try {
        std::thread([self = shared_from_this()] { self->Execute(); }).detach();
    } catch (...) {
        runningThreads.fetch_sub(1);
        throw;
    }
}

int TComThread::Running()
{
    return runningThreads.load();
}

void TComThread::Terminate()
{
    {
        std::lock_guard lock(cycleLock_);
        terminated_.store(true);
    }
    waiter_->Wake();
}

void TComThread::AwaitCycleEnd()
{
    if (synchronizeEvents_ || IsCurrent() || closingForIt_)
        return;
    AwaitOnUiThread([this] {
        std::lock_guard lock(cycleLock_);
        return !inCycle_;
    });
}

void TComThread::CloseOnUiThread()
{
    Synchronize([self = shared_from_this()] {
        if (self->terminated_.load())
            return;
        self->closingForIt_ = true;
        try {
            self->port_->Close();
        } catch (...) {
            self->closingForIt_ = false;
            throw;
        }
        self->closingForIt_ = false;
    });
}

void TComThread::SetPriority(TThreadPriority priority)
{
    priority_.store(ThreadPriorityValue(priority));
    if (const long tid = osThreadId_.load())
        platform::SetThreadPriority(tid, priority_.load());
}

void TComThread::Execute()
{
    id_.store(std::this_thread::get_id());
    currentThread = this;
    osThreadId_.store(platform::CurrentThreadId());
    platform::SetThreadPriority(osThreadId_.load(), priority_.load());
    try {
        while (!terminated_.load() && WaitForEvents()) {
        }
    } catch (...) {
        // The user-interface thread went away with a call in flight.
    }
    runningThreads.fetch_sub(1);
}

// One cycle: false when the thread must end.
bool TComThread::WaitForEvents()
{
    std::uint32_t wakes = 0;
    if (!waiter_->Wait(wakes)) {
        if (terminated_.load())
            return false;
        ReportFailure(platform::LastError());
        return false;
    }
    if (wakes != 0 && !terminated_.load())
        Dispatch(wakes);
    return true;
}

void TComThread::Dispatch(std::uint32_t wakes)
{
    if (synchronizeEvents_) {
        OnUiThread(&TComThread::DispatchHere, wakes);
        return;
    }
    {
        std::lock_guard lock(cycleLock_);
        if (terminated_.load())
            return;
        inCycle_ = true;
    }
    try {
        DispatchHere(wakes);
    } catch (...) {
        EndCycle();
        throw;
    }
    EndCycle();
}

void TComThread::EndCycle()
{
    {
        std::lock_guard lock(cycleLock_);
        inCycle_ = false;
    }
    WakeUiWait();
}

// The wait failed: OnError sees it on the user-interface thread; a device
// that vanished is closed there as well.
void TComThread::ReportFailure(int code)
{
    platform::SetLastError(0);
    try {
        OnUiThread(&TComThread::RaiseHere, static_cast<std::uint32_t>(code));
    } catch (const std::future_error&) {
        throw;
    } catch (...) {
        // The error came back from OnError; it ends this thread.
    }
    if (platform::IsVanishedError(code))
        OnUiThread(&TComThread::CloseHere, 0);
}

void TComThread::OnUiThread(void (TComThread::*call)(std::uint32_t), std::uint32_t arg)
{
    Synchronize([self = shared_from_this(), call, arg] {
        if (!self->terminated_.load())
            ((*self).*call)(arg);
    });
}

void TComThread::DispatchHere(std::uint32_t wakes)
{
    port_->HandleWakes(wakes, *this);
}

void TComThread::RaiseHere(std::uint32_t code)
{
    port_->RaiseThreadError(static_cast<int>(code));
}

// A close hook that raises is shown in the error box like any handler's.
void TComThread::CloseHere(std::uint32_t)
{
    Guarded([this] { port_->Close(); });
}

} // namespace lk58

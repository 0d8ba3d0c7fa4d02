#pragma once

#include "serial/comtypes.h"
#include "serial/serialdevice.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace lk58 {

class TCustomComPort;

// The event thread of an open port: waits for line events without polling
// and hands each batch to the user-interface thread. The port never joins
// it: stopping sets the terminate flag and wakes the wait, and the thread
// ends on its own. The thread keeps itself (and its wait) alive, and it
// touches the port only after checking that it has not been stopped, so a
// closed or destroyed port never sees an event. Without synchronized events
// the handlers run on this thread; closing and destroying the port then
// wait until the cycle under way has ended (AwaitCycleEnd).
class TComThread : public std::enable_shared_from_this<TComThread> {
public:
    TComThread(TCustomComPort& port, std::unique_ptr<platform::TEventWaiter> waiter,
               bool synchronizeEvents, TThreadPriority priority);

    // Starts the operating-system thread; the caller has stored this
    // object first. Throws std::system_error when no thread can be made.
    void Run();
    // From the user-interface thread: the thread ends without another call
    // to the port.
    void Terminate();
    bool Terminated() const { return terminated_.load(); }
    bool IsCurrent() const { return std::this_thread::get_id() == id_.load(); }
    void SetPriority(TThreadPriority priority);
    // From the user-interface thread, after Terminate: returns when no
    // handler of this thread runs any more, running the calls that it hands
    // over meanwhile. At once on the thread itself and while the close it
    // handed over runs: it waits for that close.
    void AwaitCycleEnd();
    // The event thread running the calling code, if any.
    static TComThread* Current();
    bool Serves(const TCustomComPort& port) const { return port_ == &port; }
    // From this thread: closes the port on the user-interface thread,
    // unless the port has stopped the thread first.
    void CloseOnUiThread();

    // Number of event threads whose loop has not ended yet, in the process.
    static int Running();

private:
    void Execute();
    bool WaitForEvents();
    void Dispatch(std::uint32_t wakes);
    void EndCycle();
    void ReportFailure(int code);
    void OnUiThread(void (TComThread::*call)(std::uint32_t), std::uint32_t arg);
    void DispatchHere(std::uint32_t wakes);
    void RaiseHere(std::uint32_t code);
    void CloseHere(std::uint32_t);

    TCustomComPort* const port_;
    const std::unique_ptr<platform::TEventWaiter> waiter_;
    const bool synchronizeEvents_;
    std::atomic<bool> terminated_{false};
    std::mutex cycleLock_;        // terminated_ and inCycle_ change together
    bool inCycle_ = false;        // handlers run on this thread now
    bool closingForIt_ = false;   // user-interface thread only
    std::atomic<std::thread::id> id_;
    std::atomic<long> osThreadId_{0};
    std::atomic<int> priority_;
};

} // namespace lk58

#pragma once

#include "serial/comtypes.h"
#include "serial/serialdevice.h"

#include <atomic>
#include <memory>
#include <thread>

namespace lk58 {

class TCustomComPort;

// The event thread of an open port: waits for line events without polling
// and hands each batch to the user-interface thread. The port never joins
// it: stopping sets the terminate flag and wakes the wait, and the thread
// ends on its own. The thread keeps itself (and its wait) alive, and it
// touches the port only on the user-interface thread after checking that it
// has not been stopped, so a closed or destroyed port never sees an event.
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

    // Number of event threads whose loop has not ended yet, in the process.
    static int Running();

private:
    void Execute();
    bool WaitForEvents();
    void Dispatch(std::uint32_t wakes);
    void ReportFailure(int code);
    void OnUiThread(void (TComThread::*call)(std::uint32_t), std::uint32_t arg);
    void DispatchHere(std::uint32_t wakes);
    void RaiseHere(std::uint32_t code);
    void CloseHere(std::uint32_t);

    TCustomComPort* const port_;
    const std::unique_ptr<platform::TEventWaiter> waiter_;
    const bool synchronizeEvents_;
    std::atomic<bool> terminated_{false};
    std::atomic<std::thread::id> id_;
    std::atomic<long> osThreadId_{0};
    std::atomic<int> priority_;
};

} // namespace lk58

#include "serial/comport.h"

#include "core/apperror.h"
#include "serial/comthread.h"
#include "serial/serialdevice.h"

#include <span>
#include <system_error>

namespace lk58 {

// Every event handler with its bit of the driver's event mask, in the order
// a cycle calls them: the one place that pairs them. OnLineError, of its own
// type, stands in the kEvErr row without a member: the cycle calls the line
// error check, which calls it.
std::span<const TCustomComPort::THandlerRow> TCustomComPort::Handlers()
{
    static constexpr THandlerRow rows[] = {
        {kEvBreak, &TCustomComPort::onBreak_},
        {kEvCts, &TCustomComPort::onCTSChange_},
        {kEvDsr, &TCustomComPort::onDSRChange_},
        {kEvErr, nullptr},
        {kEvEvent1, &TCustomComPort::onEvent1_},
        {kEvEvent2, &TCustomComPort::onEvent2_},
        {kEvPErr, &TCustomComPort::onPrinterError_},
        {kEvRing, &TCustomComPort::onRing_},
        {kEvRlsd, &TCustomComPort::onRLSDChange_},
        {kEvRx80Full, &TCustomComPort::onRx80PercFull_},
        {kEvRxChar, &TCustomComPort::onRxChar_},
        {kEvRxFlag, &TCustomComPort::onRxFlag_},
        {kEvTxEmpty, &TCustomComPort::onTxEmpty_}};
    return rows;
}

bool TCustomComPort::Assigned(const THandlerRow& row) const
{
    return row.notify ? static_cast<bool>(this->*row.notify) : static_cast<bool>(onLineError_);
}

std::uint32_t TCustomComPort::HandlerEventMask() const
{
    std::uint32_t mask = 0;
    for (const THandlerRow& row : Handlers())
        if (Assigned(row))
            mask |= row.bit;
    return mask;
}

void TCustomComPort::UpdateEventMask()
{
    if (!Active())
        return;
    const std::uint32_t mask = HandlerEventMask();
    if (mask == 0)
        StopEventThread();
    CheckResult(Device().SetCommMask(mask));
    driverMask_ = mask;
    if (mask != 0)
        StartEventThread();
}

void TCustomComPort::StartEventThread()
{
    if (eventThread_)
        return;
    std::unique_ptr<platform::TEventWaiter> waiter = Device().CreateEventWaiter();
    if (!waiter) {
        platform::SetLastError(0);
        RaiseComError(0, kMsgNoThread);
    }
    // Stored before it runs: the thread may dispatch at once.
    const auto thread = std::make_shared<TComThread>(*this, std::move(waiter), synchronizeEvents_, threadPriority_);
    eventThread_ = thread;
    if (!synchronizeEvents_) {
        std::erase_if(handlerThreads_, [](const std::weak_ptr<TComThread>& t) { return t.expired(); });
        handlerThreads_.push_back(thread);
    }
    try {
        thread->Run();
    } catch (const std::system_error&) {
        eventThread_.reset();
        RaiseComError(0, kMsgNoThread);
    }
}

void TCustomComPort::StopEventThread()
{
    if (!eventThread_)
        return;
    const std::shared_ptr<TComThread> thread = std::move(eventThread_);
    thread->Terminate();
    thread->AwaitCycleEnd(); // handlers on the event thread are done with the port
    if (Active())
        Device().SetCommMask(0);
}

// A thread stopped by the close its own handler handed over may still run
// that handler: the port's memory must outlive it.
void TCustomComPort::AwaitHandlerThreads()
{
    for (const std::weak_ptr<TComThread>& weak : handlerThreads_)
        if (const std::shared_ptr<TComThread> thread = weak.lock())
            thread->AwaitCycleEnd();
    handlerThreads_.clear();
}

void TCustomComPort::HandleWakes(std::uint32_t wakes, const TComThread& caller)
{
    Guarded([&] { DispatchEvents(Device().CollectEvents(wakes, driverMask_), caller); });
}

void TCustomComPort::DispatchEvents(std::uint32_t occurred, const TComThread& caller)
{
    // A handler that raises ends the cycle; the error goes to the error box.
    // A handler that closes the port (or removes the last handler) stops
    // the calling thread, which ends the cycle too.
    Guarded([&] {
        for (const THandlerRow& row : Handlers()) {
            if (caller.Terminated() || !(occurred & row.bit) || !Assigned(row))
                continue;
            if (!row.notify) {
                CheckLineErrors();
                continue;
            }
            const TNotifyEvent handler = this->*row.notify; // may be reassigned inside
            handler(Sender());
        }
    });
}

void TCustomComPort::RaiseThreadError(int code)
{
    RaiseComError(code, platform::SystemMessage(code));
}

} // namespace lk58

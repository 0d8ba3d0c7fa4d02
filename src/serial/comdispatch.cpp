#include "serial/comport.h"

#include "core/apperror.h"
#include "serial/comthread.h"
#include "serial/serialdevice.h"

#include <system_error>

namespace lk58 {

namespace {

// The notify handlers in dispatch order with their event bits; the line
// error check (kEvErr) sits between OnDSRChange and OnEvent1.
struct TNotifyRow {
    std::uint32_t bit;
    TNotifyEvent TCustomComPort::*handler;
};

} // namespace

std::uint32_t TCustomComPort::HandlerEventMask() const
{
    const std::pair<bool, std::uint32_t> rows[] = {
        {bool(OnBreak_), kEvBreak}, {bool(OnCTSChange_), kEvCts},
        {bool(OnDSRChange_), kEvDsr}, {bool(OnLineError_), kEvErr},
        {bool(OnEvent1_), kEvEvent1}, {bool(OnEvent2_), kEvEvent2},
        {bool(OnPrinterError_), kEvPErr}, {bool(OnRing_), kEvRing},
        {bool(OnRLSDChange_), kEvRlsd}, {bool(OnRx80PercFull_), kEvRx80Full},
        {bool(OnRxChar_), kEvRxChar}, {bool(OnRxFlag_), kEvRxFlag},
        {bool(OnTxEmpty_), kEvTxEmpty}};
    std::uint32_t mask = 0;
    for (const auto& [assigned, bit] : rows)
        if (assigned)
            mask |= bit;
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
    static constexpr TNotifyRow before[] = {
        {kEvBreak, &TCustomComPort::OnBreak_},
        {kEvCts, &TCustomComPort::OnCTSChange_},
        {kEvDsr, &TCustomComPort::OnDSRChange_}};
    static constexpr TNotifyRow after[] = {
        {kEvEvent1, &TCustomComPort::OnEvent1_},
        {kEvEvent2, &TCustomComPort::OnEvent2_},
        {kEvPErr, &TCustomComPort::OnPrinterError_},
        {kEvRing, &TCustomComPort::OnRing_},
        {kEvRlsd, &TCustomComPort::OnRLSDChange_},
        {kEvRx80Full, &TCustomComPort::OnRx80PercFull_},
        {kEvRxChar, &TCustomComPort::OnRxChar_},
        {kEvRxFlag, &TCustomComPort::OnRxFlag_},
        {kEvTxEmpty, &TCustomComPort::OnTxEmpty_}};
    // A handler that raises ends the cycle; the error goes to the error box.
    // A handler that closes the port (or removes the last handler) stops
    // the calling thread, which ends the cycle too.
    const auto stillOurs = [&] { return !caller.Terminated(); };
    const auto fire = [&](const TNotifyRow& row) {
        if (stillOurs() && (occurred & row.bit) && this->*row.handler) {
            const TNotifyEvent handler = this->*row.handler; // may be reassigned inside
            handler(Sender());
        }
    };
    Guarded([&] {
        for (const TNotifyRow& row : before)
            fire(row);
        if (stillOurs() && (occurred & kEvErr) && OnLineError_)
            CheckLineErrors();
        for (const TNotifyRow& row : after)
            fire(row);
    });
}

void TCustomComPort::RaiseThreadError(int code)
{
    RaiseComError(code, platform::SystemMessage(code));
}

} // namespace lk58

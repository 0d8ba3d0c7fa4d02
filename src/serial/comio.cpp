#include "serial/comport.h"

#include "serial/serialdevice.h"

namespace lk58 {

namespace {

// Calls a read or write hook through a copy: the hook may assign another.
void FireHook(const TReadWriteEvent& hook, TComPort& sender, const void* buffer,
              std::int32_t length, bool wait)
{
    if (const TReadWriteEvent call = hook)
        call(sender, buffer, length, wait);
}

} // namespace

void TCustomComPort::Read(void* buffer, std::int32_t length, bool waitOnCompletion)
{
    RequireOpen();
    FireHook(beforeRead_, Sender(), buffer, length, waitOnCompletion);
    WaitReadDone();
    readRequested_ = static_cast<std::uint32_t>(length);
    if (length != 0) {
        CheckResult(Device().StartRead(buffer, readRequested_));
        if (waitOnCompletion)
            WaitReadDone();
    }
    FireHook(afterRead_, Sender(), buffer, length, waitOnCompletion);
}

void TCustomComPort::Write(const void* buffer, std::int32_t length, bool waitOnCompletion)
{
    RequireOpen();
    FireHook(beforeWrite_, Sender(), buffer, length, waitOnCompletion);
    WaitWriteDone();
    writeRequested_ = static_cast<std::uint32_t>(length);
    if (length != 0) {
        CheckResult(Device().StartWrite(buffer, writeRequested_));
        if (waitOnCompletion)
            WaitWriteDone();
    }
    FireHook(afterWrite_, Sender(), buffer, length, waitOnCompletion);
}

bool TCustomComPort::ReadPending() const
{
    return device_ && device_->ReadPending();
}

bool TCustomComPort::WritePending() const
{
    return device_ && device_->WritePending();
}

void TCustomComPort::WaitReadDone()
{
    if (ReadPending()) {
        std::uint32_t transferred = 0;
        CheckResult(Device().FinishRead(transferred));
        if (transferred != readRequested_)
            RaiseComError(0, kMsgTimeout);
    }
    CheckLineErrors();
}

void TCustomComPort::WaitWriteDone()
{
    if (WritePending()) {
        std::uint32_t transferred = 0;
        CheckResult(Device().FinishWrite(transferred));
        if (transferred != writeRequested_)
            RaiseComError(0, kMsgTimeout);
    }
    CheckLineErrors();
}

void TCustomComPort::ReadAvailable(Bytes& bytes)
{
    WaitReadDone();
    bytes.resize(InputCount());
    Read(bytes.data(), static_cast<std::int32_t>(bytes.size()), true);
}

void TCustomComPort::BeginWrite(const Bytes& bytes)
{
    Write(bytes.data(), static_cast<std::int32_t>(bytes.size()), false);
}

std::uint32_t TCustomComPort::InputCount()
{
    std::uint32_t errors = 0;
    std::uint32_t inQueue = 0;
    CheckResult(Device().ClearCommError(errors, &inQueue));
    if (errors != 0)
        if (const TLineErrorEvent handler = onLineError_)
            handler(Sender(), LineErrorsFromFlags(errors));
    return inQueue;
}

void TCustomComPort::CheckLineErrors()
{
    RequireOpen();
    std::uint32_t errors = 0;
    CheckResult(Device().ClearCommError(errors, nullptr));
    if (errors != 0)
        if (const TLineErrorEvent handler = onLineError_)
            handler(Sender(), LineErrorsFromFlags(errors));
}

void TCustomComPort::Purge(std::uint32_t flags)
{
    if (!Active())
        return;
    CheckResult(Device().Purge(flags));
}

void TCustomComPort::AbortAndClearInput() { Purge(kPurgeRxAbort | kPurgeRxClear); }
void TCustomComPort::AbortAndClearOutput() { Purge(kPurgeTxAbort | kPurgeTxClear); }
void TCustomComPort::ClearInput() { Purge(kPurgeRxClear); }
void TCustomComPort::ClearOutput() { Purge(kPurgeTxClear); }

TModemStatus TCustomComPort::ModemStatus()
{
    RequireOpen();
    std::uint32_t status = 0;
    CheckResult(Device().GetModemStatus(status));
    TModemStatus result;
    if (status & kMsCtsOn)
        result.Include(msCTS);
    if (status & kMsDsrOn)
        result.Include(msDSR);
    if (status & kMsRingOn)
        result.Include(msRing);
    if (status & kMsRlsdOn)
        result.Include(msRLSD);
    return result;
}

} // namespace lk58

#pragma once

#include "serial/comport.h"
#include "serial/serialdevice.h"

#include <QString>

#include <atomic>
#include <cerrno>
#include <memory>
#include <utility>

// Runs f and gives the code and message of the EComError it raises (code
// -1 when none).
template <class F>
std::pair<int, QString> ComError(F f)
{
    try {
        f();
    } catch (const lk58::EComError& e) {
        return {e.ErrorCode(), QString::fromStdString(e.what())};
    }
    return {-1, QString()};
}

// What a test makes the port's device report besides the real pty: line
// errors, modem lines and extra events, and how often the event wait ended.
struct TInjection {
    std::atomic<std::uint32_t> lineErrors{0};  // reported once by the next error query
    std::atomic<std::uint32_t> modemStatus{0};
    std::atomic<std::uint32_t> extraEvents{0}; // added to the next received-data cycle
    std::atomic<int> waits{0};
    std::atomic<int> waitFailure{0}; // an error code the next wake-up fails with
    // Writes of the line state, queue sizes, time-outs and event mask.
    std::atomic<int> states{0}, sizes{0}, timeouts{0}, masks{0};
};

class TCountingWaiter : public lk58::platform::TEventWaiter {
public:
    TCountingWaiter(std::unique_ptr<lk58::platform::TEventWaiter> real, std::shared_ptr<TInjection> injection)
        : real_(std::move(real)), injection_(std::move(injection))
    {
    }
    bool Wait(std::uint32_t& wakes) override
    {
        const bool ok = real_->Wait(wakes);
        injection_->waits.fetch_add(1);
        if (const int code = injection_->waitFailure.exchange(0)) {
            errno = code;
            return false;
        }
        return ok;
    }
    void Wake() override { real_->Wake(); }

private:
    std::unique_ptr<lk58::platform::TEventWaiter> real_;
    std::shared_ptr<TInjection> injection_;
};

// The real platform device with a test's injections on top.
class TInjectingDevice : public lk58::platform::TSerialDevice {
public:
    explicit TInjectingDevice(std::shared_ptr<TInjection> injection)
        : real_(lk58::platform::CreateSerialDevice()), injection_(std::move(injection))
    {
    }
    bool Open(const std::string& name) override { return real_->Open(name); }
    void Close() override { real_->Close(); }
    bool IsOpen() const override { return real_->IsOpen(); }
    bool SetupComm(std::int32_t in, std::int32_t out) override
    {
        ++injection_->sizes;
        return real_->SetupComm(in, out);
    }
    bool GetCommState(lk58::TDcb& dcb) override { return real_->GetCommState(dcb); }
    bool SetCommState(const lk58::TDcb& dcb) override
    {
        ++injection_->states;
        return real_->SetCommState(dcb);
    }
    bool GetCommTimeouts(lk58::TCommTimeouts& t) override { return real_->GetCommTimeouts(t); }
    bool SetCommTimeouts(const lk58::TCommTimeouts& t) override
    {
        ++injection_->timeouts;
        return real_->SetCommTimeouts(t);
    }
    bool SetCommMask(std::uint32_t mask) override
    {
        ++injection_->masks;
        return real_->SetCommMask(mask);
    }
    bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) override
    {
        if (!real_->ClearCommError(errors, inQueue))
            return false;
        errors |= injection_->lineErrors.exchange(0);
        return true;
    }
    bool Purge(std::uint32_t flags) override { return real_->Purge(flags); }
    bool GetModemStatus(std::uint32_t& status) override
    {
        if (!real_->GetModemStatus(status))
            return false;
        status |= injection_->modemStatus.load();
        return true;
    }
    bool StartRead(void* b, std::uint32_t n) override { return real_->StartRead(b, n); }
    bool ReadPending() const override { return real_->ReadPending(); }
    bool FinishRead(std::uint32_t& n) override { return real_->FinishRead(n); }
    bool StartWrite(const void* b, std::uint32_t n) override { return real_->StartWrite(b, n); }
    bool WritePending() const override { return real_->WritePending(); }
    bool FinishWrite(std::uint32_t& n) override { return real_->FinishWrite(n); }
    std::unique_ptr<lk58::platform::TEventWaiter> CreateEventWaiter() override
    {
        auto real = real_->CreateEventWaiter();
        if (!real)
            return nullptr;
        return std::make_unique<TCountingWaiter>(std::move(real), injection_);
    }
    std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) override
    {
        std::uint32_t events = real_->CollectEvents(wakes, mask);
        if (wakes & lk58::platform::kWakeRx)
            events |= injection_->extraEvents.exchange(0) & mask;
        return events;
    }

private:
    std::unique_ptr<lk58::platform::TSerialDevice> real_;
    std::shared_ptr<TInjection> injection_;
};

// A port whose device takes a test's injections.
class TTestPort : public lk58::TComPort {
public:
    std::shared_ptr<TInjection> injection = std::make_shared<TInjection>();

protected:
    std::unique_ptr<lk58::platform::TSerialDevice> CreateDevice() override
    {
        return std::make_unique<TInjectingDevice>(injection);
    }
};

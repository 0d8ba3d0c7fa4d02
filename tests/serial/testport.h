#pragma once

#include "serial/comport.h"
#include "serial/serialdevice.h"
#include "serial/serialdevice_posix.h"

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
    std::atomic<bool> noEventWait{false}; // the event wait cannot be made

    // A driver that a pseudo-terminal cannot play (a UART's or a USB
    // adapter's): where a part is switched on, its requests are answered
    // here instead of by the pty.
    std::atomic<bool> serialSettings{false}; // TIOCGSERIAL, TIOCSSERIAL
    std::atomic<int> serialFlags{0};
    std::atomic<bool> rs485{false};          // TIOCGRS485, TIOCSRS485
    std::atomic<std::uint32_t> rs485Flags{0};
    std::atomic<int> transmitter{-1};        // TIOCSERGETLSR: -1 none, 0 sending, 1 empty
    std::atomic<int> drains{0};              // tcdrain calls

    int Ioctl(int fd, unsigned long request, void* arg)
    {
        switch (request) {
        case TIOCGSERIAL:
        case TIOCSSERIAL:
            if (!serialSettings)
                break;
            if (request == TIOCGSERIAL)
                static_cast<serial_struct*>(arg)->flags = serialFlags;
            else
                serialFlags = static_cast<serial_struct*>(arg)->flags;
            return 0;
        case TIOCGRS485:
        case TIOCSRS485:
            if (!rs485)
                break;
            if (request == TIOCGRS485)
                static_cast<serial_rs485*>(arg)->flags = rs485Flags;
            else
                rs485Flags = static_cast<serial_rs485*>(arg)->flags;
            return 0;
        case TIOCSERGETLSR:
            if (transmitter < 0)
                break;
            *static_cast<unsigned int*>(arg) = transmitter > 0 ? TIOCSER_TEMT : 0;
            return 0;
        }
        return ::ioctl(fd, request, arg);
    }
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
        : real_(lk58::platform::posix::CreatePosixDevice(DriverOf(injection))), injection_(std::move(injection))
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
    std::string RefusedSetting() const override { return real_->RefusedSetting(); }
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
        if (injection_->noEventWait) {
            errno = EMFILE;
            return nullptr;
        }
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
    static lk58::platform::posix::TDriverCalls DriverOf(const std::shared_ptr<TInjection>& injection)
    {
        lk58::platform::posix::TDriverCalls calls;
        calls.ioctl = [injection](int fd, unsigned long request, void* arg) { return injection->Ioctl(fd, request, arg); };
        calls.drain = [injection](int fd) {
            ++injection->drains;
            return ::tcdrain(fd);
        };
        return calls;
    }

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

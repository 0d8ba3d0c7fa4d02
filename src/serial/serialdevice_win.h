#pragma once

// The Win32 device of the serial platform layer, shared by its two source
// files (opening, line state and control in serialdevice_win.cpp,
// transfers and the event wait in serialio_win.cpp).

#include "serial/serialdevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace lk58::platform::win {

// Owns an event (or any handle that 0 marks absent).
class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE h) : h_(h) {}
    THandle(THandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    THandle& operator=(THandle&& other) noexcept
    {
        Reset(std::exchange(other.h_, nullptr));
        return *this;
    }
    ~THandle() { Reset(); }
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HANDLE h = nullptr)
    {
        if (h_) {
            const DWORD saved = ::GetLastError(); // closing must not change the error being reported
            ::CloseHandle(h_);
            ::SetLastError(saved);
        }
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// The device handle as the port and its event wait share it. The wait runs
// on the event thread and must never use the handle once the port closed
// it: Windows hands the same value to the next handle opened. Everything
// the wait does with the handle happens under the lock, and closing takes
// the lock too.
struct TSharedPort {
    std::mutex lock;
    HANDLE handle = INVALID_HANDLE_VALUE; // written under the lock, on the user-interface thread only
    // Line error flags that the wait fetched (and so cleared) while it
    // counted the input queue; the next error query reports them.
    std::atomic<DWORD> strayErrors{0};
    // Counts each read or purge that takes bytes out of the input queue.
    std::atomic<unsigned> inputTaken{0};
    // Signalled with each of those while a wait is held back by bytes that
    // nobody reads (heldBack), so that it looks again at once.
    THandle inputTakenEvent;
    std::atomic<bool> heldBack{false};
};

// The \\.\ form of a port name: the plain name "COM10" and above is no
// device to CreateFile. A name already in a device namespace stays as it is.
std::string DevicePath(const std::string& name);

// A transfer's overlapped record and its manual-reset event, which the
// driver signals when a transfer it left running ends. Only such a
// transfer is asked about: one that completed at once, failed to start or
// was finished is known to be done, without a call to the system (a round
// trip to the server under Wine, several times a byte).
struct TTransfer {
    OVERLAPPED overlapped{};
    THandle event;
    mutable bool running = false; // left running by the driver, and not seen done since
    bool Pending() const
    {
        if (running && event && ::WaitForSingleObject(event.Get(), 0) == WAIT_TIMEOUT)
            return true;
        running = false;
        return false;
    }
};

class TWinDevice : public TSerialDevice {
public:
    TWinDevice();
    ~TWinDevice() override;
    bool Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return Handle() != INVALID_HANDLE_VALUE; }
    bool SetupComm(std::int32_t inputSize, std::int32_t outputSize) override;
    bool GetCommState(TDcb& dcb) override;
    bool SetCommState(const TDcb& dcb) override;
    std::string RefusedSetting() const override { return refused_; }
    bool GetCommTimeouts(TCommTimeouts& timeouts) override;
    bool SetCommTimeouts(const TCommTimeouts& timeouts) override;
    bool SetCommMask(std::uint32_t mask) override;
    bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) override;
    bool Purge(std::uint32_t flags) override;
    bool GetModemStatus(std::uint32_t& status) override;
    bool StartRead(void* buffer, std::uint32_t length) override;
    bool ReadPending() const override { return read_.Pending(); }
    bool FinishRead(std::uint32_t& transferred) override;
    bool StartWrite(const void* buffer, std::uint32_t length) override;
    bool WritePending() const override { return write_.Pending(); }
    bool FinishWrite(std::uint32_t& transferred) override;
    std::unique_ptr<TEventWaiter> CreateEventWaiter() override;
    std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) override { return wakes & mask; }

private:
    HANDLE Handle() const { return shared_->handle; }
    bool Ready() const;
    bool Start(TTransfer& transfer, bool reading, void* buffer, std::uint32_t length);
    bool Finish(TTransfer& transfer, std::uint32_t& transferred);
    // Ends an outstanding transfer that a purge or close aborted.
    void Settle(TTransfer& transfer);
    void InputTaken();

    std::shared_ptr<TSharedPort> shared_ = std::make_shared<TSharedPort>();
    std::string refused_; // the setting SetCommState could not apply
    TTransfer read_;
    TTransfer write_;
    std::vector<std::uint8_t> writeBuffer_; // a copy: the caller may reuse its own
};

} // namespace lk58::platform::win

#pragma once

// The POSIX device of the serial platform layer, shared by its two source
// files (line state and control here and in serialdevice_posix.cpp,
// transfers and the event wait in serialio_posix.cpp).

#include "serial/serialdevice.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <linux/serial.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace lk58::platform::posix {

// Owns a file descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    TFd(TFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TFd& operator=(TFd&& other) noexcept
    {
        Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~TFd() { Reset(); }
    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0) {
            const int saved = errno; // closing must not change the error being reported
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

template <class F>
inline int RetryEintr(F call)
{
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc;
}

// A pseudo-terminal has no modem lines and no error counters.
inline bool Unsupported(int code)
{
    return code == ENOTTY || code == EINVAL;
}

using Clock = std::chrono::steady_clock;

// MAXDWORD in a time-out field.
constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFF;

// Milliseconds left until deadline for poll(); -1 without a deadline.
int PollTimeout(std::optional<Clock::time_point> deadline);

// The driver requests of a device: modem lines, counters, queue counts, the
// serial and RS-485 settings (ioctl), and the wait until the output has left
// the port (tcdrain). A test stands in for a driver that a pseudo-terminal
// cannot play, such as a USB adapter's.
struct TDriverCalls {
    std::function<int(int fd, unsigned long request, void* arg)> ioctl = [](int fd, unsigned long request, void* arg) {
        return ::ioctl(fd, request, arg);
    };
    std::function<int(int fd)> drain = [](int fd) { return ::tcdrain(fd); };
};

std::unique_ptr<TSerialDevice> CreatePosixDevice(TDriverCalls calls);

class TPosixDevice : public TSerialDevice {
public:
    explicit TPosixDevice(TDriverCalls calls = {}) : calls_(std::move(calls)) {}
    bool Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return fd_.Get() >= 0; }
    bool SetupComm(std::int32_t inputSize, std::int32_t outputSize) override;
    bool GetCommState(TDcb& dcb) override;
    bool SetCommState(const TDcb& dcb) override;
    std::string RefusedSetting() const override;
    bool GetCommTimeouts(TCommTimeouts& timeouts) override;
    bool SetCommTimeouts(const TCommTimeouts& timeouts) override;
    bool SetCommMask(std::uint32_t mask) override;
    bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) override;
    bool Purge(std::uint32_t flags) override;
    bool GetModemStatus(std::uint32_t& status) override;
    bool StartRead(void* buffer, std::uint32_t length) override;
    bool ReadPending() const override { return readActive_ && readDone_ < readLength_; }
    bool FinishRead(std::uint32_t& transferred) override;
    bool StartWrite(const void* buffer, std::uint32_t length) override;
    bool WritePending() const override;
    bool FinishWrite(std::uint32_t& transferred) override;
    std::unique_ptr<TEventWaiter> CreateEventWaiter() override;
    std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) override;

private:
    bool Ready() const;
    bool Ioctl(unsigned long request, void* arg) const;
    bool Refuse(const char* setting, int code);
    bool CheckLineState(const TDcb& dcb);
    bool SetRtsToggle(bool on);
    void SetLowLatency();
    void RestoreDriverModes();
    bool TransmitterEmpty() const;
    bool ReadCounters(serial_icounter_struct& counters) const;
    bool MakeRaw();
    bool SetModemLine(int line, bool on);
    bool ReadSome();
    bool ReadEndsNow() const;
    bool WatchDevice(int op) const;
    bool WriteSome();
    std::optional<Clock::time_point> WriteDeadline() const;

    TDriverCalls calls_;
    TFd fd_;
    std::string refused_;      // the setting SetCommState could not apply
    std::optional<serial_rs485> savedRs485_;  // the driver's RS-485 mode before RTS toggle
    bool lowLatencySet_ = false; // this device turned the driver's low-latency mode on
    TDcb dcb_;                 // the last state written: keeps what termios cannot hold
    TCommTimeouts timeouts_;
    std::int32_t inputSize_ = 4096;
    serial_icounter_struct errorCounters_{}; // as last reported by ClearCommError
    serial_icounter_struct eventCounters_{}; // as last reported by CollectEvents
    std::shared_ptr<std::atomic<std::uint32_t>> mask_ = std::make_shared<std::atomic<std::uint32_t>>(0);
    std::shared_ptr<TFd> epoll_; // the event wait of the running event thread

    bool readActive_ = false;
    std::uint8_t* readBuffer_ = nullptr;
    std::uint32_t readLength_ = 0;
    std::uint32_t readDone_ = 0;
    bool writeActive_ = false;
    std::vector<std::uint8_t> writeBuffer_; // a copy: the caller may reuse its own
    std::uint32_t writeDone_ = 0;
};

} // namespace lk58::platform::posix

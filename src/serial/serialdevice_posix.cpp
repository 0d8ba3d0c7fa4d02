#include "serial/serialdevice.h"
#include "serial/termios2_linux.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace lk58::platform {

const int kErrorIoPending = EINPROGRESS;

int LastError() { return errno; }
void SetLastError(int code) { errno = code; }

std::string SystemMessage(int code)
{
    char buffer[256];
    std::string text = strerror_r(code, buffer, sizeof buffer);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    return text;
}

bool IsVanishedError(int code)
{
    return code == EIO || code == ENXIO || code == ENODEV;
}

namespace {

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
int RetryEintr(F call)
{
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc;
}

// A pseudo-terminal has no modem lines and no error counters.
bool Unsupported(int code)
{
    return code == ENOTTY || code == EINVAL;
}

constexpr std::array<std::pair<std::uint32_t, speed_t>, 31> kStandardRates = {{
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000}, {0, B0}}};

std::optional<speed_t> StandardSpeed(std::uint32_t rate)
{
    for (const auto& [bps, code] : kStandardRates)
        if (bps == rate && rate != 0)
            return code;
    return std::nullopt;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline for poll(); -1 without a deadline.
int PollTimeout(std::optional<Clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

class TEpollWaiter : public TEventWaiter {
public:
    TEpollWaiter(TFd epoll, TFd wake, std::shared_ptr<const std::atomic<std::uint32_t>> mask)
        : epoll_(std::move(epoll)), wake_(std::move(wake)), mask_(std::move(mask))
    {
    }

    bool Wait(std::uint32_t& wakes) override
    {
        epoll_event events[4];
        const int n = RetryEintr([&] { return epoll_wait(epoll_.Get(), events, 4, -1); });
        if (n < 0)
            return false;
        std::uint32_t raw = 0;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u32 == 0) {
                std::uint64_t count;
                [[maybe_unused]] auto rc = ::read(wake_.Get(), &count, sizeof count);
                continue;
            }
            if (events[i].events & (EPOLLHUP | EPOLLERR)) {
                errno = EIO;
                return false;
            }
            if (events[i].events & EPOLLIN)
                raw |= kWakeRx;
            if (events[i].events & EPOLLOUT)
                raw |= kWakeTx;
        }
        wakes = Filter(raw);
        return true;
    }

    void Wake() override
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto rc = ::write(wake_.Get(), &one, sizeof one);
    }

private:
    // Only wake-ups that some handler wants cost a hand-over.
    std::uint32_t Filter(std::uint32_t raw) const
    {
        const std::uint32_t mask = mask_->load();
        std::uint32_t wakes = 0;
        if ((raw & kWakeRx) && (mask & ~kEvTxEmpty))
            wakes |= kWakeRx;
        if ((raw & kWakeTx) && (mask & kEvTxEmpty))
            wakes |= kWakeTx;
        return wakes;
    }

    TFd epoll_;
    TFd wake_;
    std::shared_ptr<const std::atomic<std::uint32_t>> mask_;
};

class TPosixDevice : public TSerialDevice {
public:
    bool Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return fd_.Get() >= 0; }
    bool SetupComm(std::int32_t inputSize, std::int32_t outputSize) override;
    bool GetCommState(TDcb& dcb) override;
    bool SetCommState(const TDcb& dcb) override;
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
    bool ReadCounters(serial_icounter_struct& counters) const;
    bool MakeRaw();
    bool SetModemLine(int line, bool on);
    bool ReadSome();
    bool WriteSome();
    std::optional<Clock::time_point> ReadDeadline() const;
    std::optional<Clock::time_point> WriteDeadline() const;

    TFd fd_;
    TDcb dcb_;                 // the last state written: keeps what termios cannot hold
    TCommTimeouts timeouts_;
    std::int32_t inputSize_ = 4096;
    serial_icounter_struct errorCounters_{}; // as last reported by ClearCommError
    serial_icounter_struct eventCounters_{}; // as last reported by CollectEvents
    std::shared_ptr<std::atomic<std::uint32_t>> mask_ = std::make_shared<std::atomic<std::uint32_t>>(0);

    bool readActive_ = false;
    std::uint8_t* readBuffer_ = nullptr;
    std::uint32_t readLength_ = 0;
    std::uint32_t readDone_ = 0;
    bool writeActive_ = false;
    std::vector<std::uint8_t> writeBuffer_; // a copy: the caller may reuse its own
    std::uint32_t writeDone_ = 0;
};

bool TPosixDevice::Ready() const
{
    if (fd_.Get() >= 0)
        return true;
    errno = EBADF;
    return false;
}

bool TPosixDevice::Ioctl(unsigned long request, void* arg) const
{
    return RetryEintr([&] { return ioctl(fd_.Get(), request, arg); }) == 0;
}

bool TPosixDevice::Open(const std::string& name)
{
    Close();
    TFd fd(RetryEintr([&] { return ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (fd.Get() < 0)
        return false;
    // flock holds against every second opener, root included; TIOCEXCL
    // also stops programs that do not take the lock (except root's).
    if (RetryEintr([&] { return flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK)
            errno = EBUSY;
        return false;
    }
    termios t{};
    if (tcgetattr(fd.Get(), &t) != 0 || ioctl(fd.Get(), TIOCEXCL) != 0)
        return false;
    fd_ = std::move(fd);
    dcb_ = TDcb{};
    dcb_.Flags = kDcbBinary | kDtrControlEnable | kRtsControlEnable;
    ReadCounters(errorCounters_);
    eventCounters_ = errorCounters_;
    if (!MakeRaw()) {
        Close();
        return false;
    }
    return true;
}

void TPosixDevice::Close()
{
    if (fd_.Get() >= 0)
        ioctl(fd_.Get(), TIOCNXCL);
    fd_.Reset();
    readActive_ = writeActive_ = false;
    writeBuffer_.clear();
    mask_->store(0);
}

// Raw bytes: a read returns as soon as one byte is there (VMIN 1), an empty
// read gives EAGAIN, and a read of 0 bytes means the line hung up.
bool TPosixDevice::MakeRaw()
{
    termios t{};
    if (tcgetattr(fd_.Get(), &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd_.Get(), TCSANOW, &t) == 0;
}

bool TPosixDevice::SetupComm(std::int32_t inputSize, std::int32_t outputSize)
{
    if (!Ready())
        return false;
    if (inputSize < 0 || outputSize < 0) {
        errno = EINVAL;
        return false;
    }
    inputSize_ = inputSize; // the kernel's queues have fixed sizes
    return true;
}

bool TPosixDevice::GetCommState(TDcb& dcb)
{
    termios t{};
    if (!Ready() || tcgetattr(fd_.Get(), &t) != 0)
        return false;
    std::uint32_t rate = 0;
    if (!GetLineRate(fd_.Get(), rate))
        return false;
    const std::uint32_t length = dcb.DCBlength;
    dcb = dcb_;
    dcb.DCBlength = length;
    dcb.BaudRate = rate;
    constexpr std::array<std::pair<tcflag_t, std::uint8_t>, 4> sizes = {{{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}}};
    for (const auto& [bits, size] : sizes)
        if ((t.c_cflag & CSIZE) == bits)
            dcb.ByteSize = size;
    if (!(t.c_cflag & PARENB))
        dcb.Parity = kNoParity;
    else if (t.c_cflag & CMSPAR)
        dcb.Parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
    else
        dcb.Parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
    dcb.StopBits = !(t.c_cflag & CSTOPB) ? kOneStopBit : dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
    const auto flag = [&](std::uint32_t bit, bool on) { dcb.Flags = on ? dcb.Flags | bit : dcb.Flags & ~bit; };
    flag(kDcbBinary, true);
    flag(kDcbParity, t.c_iflag & INPCK);
    flag(kDcbOutxCtsFlow, t.c_cflag & CRTSCTS);
    flag(kDcbOutX, t.c_iflag & IXON);
    flag(kDcbInX, t.c_iflag & IXOFF);
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    int lines = 0;
    if (Ioctl(TIOCMGET, &lines)) {
        if ((dcb.Flags & kDcbDtrControlMask) != kDtrControlHandshake)
            dcb.Flags = (dcb.Flags & ~kDcbDtrControlMask) | ((lines & TIOCM_DTR) ? kDtrControlEnable : kDtrControlDisable);
        if ((dcb.Flags & kDcbRtsControlMask) != kRtsControlHandshake && (dcb.Flags & kDcbRtsControlMask) != kRtsControlToggle)
            dcb.Flags = (dcb.Flags & ~kDcbRtsControlMask) | ((lines & TIOCM_RTS) ? kRtsControlEnable : kRtsControlDisable);
    } else if (!Unsupported(errno)) {
        return false;
    }
    return true;
}

bool TPosixDevice::SetCommState(const TDcb& dcb)
{
    termios t{};
    if (!Ready() || tcgetattr(fd_.Get(), &t) != 0)
        return false;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity || dcb.StopBits > kTwoStopBits) {
        errno = EINVAL;
        return false;
    }
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | sizes[dcb.ByteSize - 5];
    constexpr tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    t.c_cflag |= parities[dcb.Parity];
    if (dcb.StopBits != kOneStopBit)
        t.c_cflag |= CSTOPB;
    const std::uint32_t rts = dcb.Flags & kDcbRtsControlMask;
    if ((dcb.Flags & kDcbOutxCtsFlow) || rts == kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(INPCK | IXON | IXOFF);
    t.c_iflag |= ((dcb.Flags & kDcbParity) ? INPCK : 0) | ((dcb.Flags & kDcbOutX) ? IXON : 0) |
                 ((dcb.Flags & kDcbInX) ? IXOFF : 0);
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    const std::optional<speed_t> speed = StandardSpeed(dcb.BaudRate);
    if (speed && (cfsetispeed(&t, *speed) != 0 || cfsetospeed(&t, *speed) != 0))
        return false;
    if (tcsetattr(fd_.Get(), TCSANOW, &t) != 0)
        return false;
    if (!speed && dcb.BaudRate != 0 && !SetLineRate(fd_.Get(), dcb.BaudRate))
        return false;
    const std::uint32_t dtr = dcb.Flags & kDcbDtrControlMask;
    if (!SetModemLine(TIOCM_DTR, dtr != kDtrControlDisable) || !SetModemLine(TIOCM_RTS, rts != kRtsControlDisable))
        return false;
    dcb_ = dcb;
    return true;
}

bool TPosixDevice::SetModemLine(int line, bool on)
{
    if (Ioctl(on ? TIOCMBIS : TIOCMBIC, &line))
        return true;
    return Unsupported(errno);
}

bool TPosixDevice::GetCommTimeouts(TCommTimeouts& timeouts)
{
    if (!Ready())
        return false;
    timeouts = timeouts_;
    return true;
}

bool TPosixDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    if (!Ready())
        return false;
    timeouts_ = timeouts;
    return true;
}

bool TPosixDevice::SetCommMask(std::uint32_t mask)
{
    if (!Ready())
        return false;
    mask_->store(mask);
    return true;
}

bool TPosixDevice::ReadCounters(serial_icounter_struct& counters) const
{
    if (Ioctl(TIOCGICOUNT, &counters))
        return true;
    if (!Unsupported(errno))
        return false;
    counters = serial_icounter_struct{};
    return true;
}

bool TPosixDevice::ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue)
{
    serial_icounter_struct now{};
    if (!Ready() || !ReadCounters(now))
        return false;
    const serial_icounter_struct& was = errorCounters_;
    errors = (now.frame != was.frame ? kCeFrame : 0) | (now.overrun != was.overrun ? kCeOverrun : 0) |
             (now.parity != was.parity ? kCeRxParity : 0) | (now.brk != was.brk ? kCeBreak : 0) |
             (now.buf_overrun != was.buf_overrun ? kCeRxOver : 0);
    errorCounters_ = now;
    int count = 0;
    if (inQueue) {
        if (!Ioctl(FIONREAD, &count))
            return false;
        *inQueue = static_cast<std::uint32_t>(count);
    }
    return true;
}

bool TPosixDevice::Purge(std::uint32_t flags)
{
    if (!Ready())
        return false;
    if (flags & kPurgeRxAbort)
        readActive_ = false;
    if (flags & kPurgeTxAbort) {
        writeActive_ = false;
        writeBuffer_.clear();
    }
    if ((flags & kPurgeRxClear) && tcflush(fd_.Get(), TCIFLUSH) != 0)
        return false;
    return !(flags & kPurgeTxClear) || tcflush(fd_.Get(), TCOFLUSH) == 0;
}

bool TPosixDevice::GetModemStatus(std::uint32_t& status)
{
    int lines = 0;
    status = 0;
    if (!Ready())
        return false;
    if (!Ioctl(TIOCMGET, &lines))
        return Unsupported(errno);
    status = ((lines & TIOCM_CTS) ? kMsCtsOn : 0) | ((lines & TIOCM_DSR) ? kMsDsrOn : 0) |
             ((lines & TIOCM_RNG) ? kMsRingOn : 0) | ((lines & TIOCM_CAR) ? kMsRlsdOn : 0);
    return true;
}

// Reads what the input queue holds into the outstanding read; false on a
// failure (a line that hung up reads 0 bytes and fails with EIO).
bool TPosixDevice::ReadSome()
{
    while (readDone_ < readLength_) {
        const ssize_t n = ::read(fd_.Get(), readBuffer_ + readDone_, readLength_ - readDone_);
        if (n > 0) {
            readDone_ += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN;
    }
    return true;
}

bool TPosixDevice::StartRead(void* buffer, std::uint32_t length)
{
    if (!Ready())
        return false;
    readBuffer_ = static_cast<std::uint8_t*>(buffer);
    readLength_ = length;
    readDone_ = 0;
    readActive_ = true;
    if (ReadSome())
        return true;
    readActive_ = false;
    return false;
}

std::optional<Clock::time_point> TPosixDevice::ReadDeadline() const
{
    const std::uint64_t total = std::uint64_t(timeouts_.ReadTotalTimeoutMultiplier) * readLength_ +
                                timeouts_.ReadTotalTimeoutConstant;
    if (total == 0)
        return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(total);
}

// Windows read time-outs: an interval of MAXDWORD with no totals returns at
// once; with a MAXDWORD multiplier it returns on the first byte or after
// the constant; otherwise the totals bound the read and the interval the
// gap between two bytes.
bool TPosixDevice::FinishRead(std::uint32_t& transferred)
{
    if (!Ready())
        return false;
    constexpr std::uint32_t kMax = 0xFFFFFFFF;
    const TCommTimeouts& t = timeouts_;
    const bool atOnce = t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool firstByte = t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == kMax;
    std::optional<Clock::time_point> total = firstByte
        ? std::optional(Clock::now() + std::chrono::milliseconds(t.ReadTotalTimeoutConstant))
        : ReadDeadline();
    const bool gaps = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMax;
    for (;;) {
        const std::uint32_t before = readDone_;
        if (!ReadSome()) {
            readActive_ = false;
            return false;
        }
        if (readDone_ == readLength_ || atOnce || (firstByte && readDone_ > 0))
            break;
        std::optional<Clock::time_point> deadline = total;
        if (gaps && readDone_ > 0 && readDone_ != before) {
            const auto gapEnd = Clock::now() + std::chrono::milliseconds(t.ReadIntervalTimeout);
            deadline = deadline ? std::min(*deadline, gapEnd) : gapEnd;
            total = deadline;
        }
        pollfd p{fd_.Get(), POLLIN, 0};
        const int rc = RetryEintr([&] { return poll(&p, 1, PollTimeout(deadline)); });
        if (rc < 0) {
            readActive_ = false;
            return false;
        }
        if (rc == 0)
            break;
    }
    transferred = readDone_;
    readActive_ = false;
    return true;
}

bool TPosixDevice::WriteSome()
{
    while (writeDone_ < writeBuffer_.size()) {
        const ssize_t n = ::write(fd_.Get(), writeBuffer_.data() + writeDone_, writeBuffer_.size() - writeDone_);
        if (n >= 0) {
            writeDone_ += static_cast<std::uint32_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN;
    }
    return true;
}

bool TPosixDevice::StartWrite(const void* buffer, std::uint32_t length)
{
    if (!Ready())
        return false;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    writeBuffer_.assign(bytes, bytes + length);
    writeDone_ = 0;
    writeActive_ = true;
    if (WriteSome())
        return true;
    writeActive_ = false;
    return false;
}

bool TPosixDevice::WritePending() const
{
    if (!writeActive_)
        return false;
    int queued = 0;
    return writeDone_ < writeBuffer_.size() || !Ioctl(TIOCOUTQ, &queued) || queued > 0;
}

std::optional<Clock::time_point> TPosixDevice::WriteDeadline() const
{
    const std::uint64_t total = std::uint64_t(timeouts_.WriteTotalTimeoutMultiplier) * writeBuffer_.size() +
                                timeouts_.WriteTotalTimeoutConstant;
    if (total == 0)
        return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(total);
}

// Without write time-outs a write ends when its bytes are out on the line.
bool TPosixDevice::FinishWrite(std::uint32_t& transferred)
{
    if (!Ready())
        return false;
    const std::optional<Clock::time_point> deadline = WriteDeadline();
    bool ok = true;
    while (ok && writeDone_ < writeBuffer_.size()) {
        pollfd p{fd_.Get(), POLLOUT, 0};
        const int rc = RetryEintr([&] { return poll(&p, 1, PollTimeout(deadline)); });
        if (rc == 0)
            break;
        ok = rc > 0 && WriteSome();
    }
    if (ok && !deadline && writeDone_ == writeBuffer_.size())
        ok = RetryEintr([&] { return tcdrain(fd_.Get()); }) == 0;
    transferred = writeDone_;
    writeActive_ = false;
    writeBuffer_.clear();
    return ok;
}

std::unique_ptr<TEventWaiter> TPosixDevice::CreateEventWaiter()
{
    if (!Ready())
        return nullptr;
    TFd epoll(epoll_create1(EPOLL_CLOEXEC));
    TFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (epoll.Get() < 0 || wake.Get() < 0)
        return nullptr;
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = 0;
    if (epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, wake.Get(), &e) != 0)
        return nullptr;
    // Edge-triggered: each arrival wakes once, bytes left unread do not.
    e.events = EPOLLIN | EPOLLOUT | EPOLLET;
    e.data.u32 = 1;
    if (epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, fd_.Get(), &e) != 0)
        return nullptr;
    return std::make_unique<TEpollWaiter>(std::move(epoll), std::move(wake), mask_);
}

std::uint32_t TPosixDevice::CollectEvents(std::uint32_t wakes, std::uint32_t mask)
{
    if (fd_.Get() < 0)
        return 0;
    std::uint32_t occurred = 0;
    if (wakes & kWakeRx) {
        occurred |= kEvRxChar;
        serial_icounter_struct now{};
        if (ReadCounters(now)) {
            const serial_icounter_struct& was = eventCounters_;
            if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
                now.buf_overrun != was.buf_overrun || now.brk != was.brk)
                occurred |= kEvErr;
            occurred |= (now.brk != was.brk ? kEvBreak : 0) | (now.cts != was.cts ? kEvCts : 0) |
                        (now.dsr != was.dsr ? kEvDsr : 0) | (now.rng != was.rng ? kEvRing : 0) |
                        (now.dcd != was.dcd ? kEvRlsd : 0);
            eventCounters_ = now;
        }
        int queued = 0;
        if (Ioctl(FIONREAD, &queued) && std::int64_t(queued) * 5 >= std::int64_t(inputSize_) * 4)
            occurred |= kEvRx80Full;
    }
    int queued = 0;
    if ((wakes & kWakeTx) && Ioctl(TIOCOUTQ, &queued) && queued == 0)
        occurred |= kEvTxEmpty;
    return occurred & mask;
}

} // namespace

std::unique_ptr<TSerialDevice> CreateSerialDevice()
{
    return std::make_unique<TPosixDevice>();
}

long CurrentThreadId()
{
    return static_cast<long>(gettid());
}

void SetThreadPriority(long threadId, int windowsPriority)
{
    int nice = 0;
    switch (windowsPriority) {
    case -15: nice = 19; break;
    case -2: nice = 10; break;
    case -1: nice = 5; break;
    case 1: nice = -5; break;
    case 2: nice = -10; break;
    case 15: nice = -20; break;
    default: nice = 0;
    }
    const int saved = errno;
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice);
    errno = saved;
}

std::int32_t GetPriorityClass()
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    errno = 0;
    if (nice >= 10)
        return 0x40;
    if (nice <= -15)
        return 0x100;
    if (nice <= -5)
        return 0x80;
    return 0x20;
}

void SetPriorityClass(std::int32_t windowsClass)
{
    int nice = 0;
    switch (windowsClass) {
    case 0x40: nice = 19; break;
    case 0x80: nice = -10; break;
    case 0x100: nice = -20; break;
    default: nice = 0;
    }
    const int saved = errno;
    setpriority(PRIO_PROCESS, 0, nice);
    errno = saved;
}

} // namespace lk58::platform

#include "serial/readtimeouts.h"
#include "serial/serialdevice_posix.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace lk58::platform::posix {

int PollTimeout(std::optional<Clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

namespace {

class TEpollWaiter : public TEventWaiter {
public:
    TEpollWaiter(std::shared_ptr<TFd> epoll, TFd wake, std::shared_ptr<const std::atomic<std::uint32_t>> mask)
        : epoll_(std::move(epoll)), wake_(std::move(wake)), mask_(std::move(mask))
    {
    }

    bool Wait(std::uint32_t& wakes) override
    {
        epoll_event events[4];
        const int n = RetryEintr([&] { return epoll_wait(epoll_->Get(), events, 4, -1); });
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

    std::shared_ptr<TFd> epoll_; // shared with the device, which changes what it watches
    TFd wake_;
    std::shared_ptr<const std::atomic<std::uint32_t>> mask_;
};

} // namespace

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
    const bool ok = ReadSome();
    // A read that the time-outs end at once is complete, not outstanding.
    readActive_ = ok && !ReadEndsNow();
    return ok;
}

bool TPosixDevice::ReadEndsNow() const
{
    return platform::ReadEndsNow(timeouts_, readDone_, readLength_);
}

bool TPosixDevice::FinishRead(std::uint32_t& transferred)
{
    if (!Ready())
        return false;
    const TCommTimeouts& t = timeouts_;
    TReadDeadline end(t, ReadTotalEnd(t, readLength_));
    for (;;) {
        const std::uint32_t before = readDone_;
        if (!ReadSome()) {
            readActive_ = false;
            return false;
        }
        if (ReadEndsNow())
            break;
        const std::optional<Clock::time_point> deadline = end.After(before, readDone_);
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

// The output queue's count leaves out the UART's FIFO and a USB adapter's
// transfers in flight, so an empty queue alone does not mean the bytes have
// left. Only a driver that reports its transmitter empty says so; otherwise
// the write stays outstanding until FinishWrite has drained it.
bool TPosixDevice::WritePending() const
{
    if (!writeActive_)
        return false;
    int queued = 0;
    if (writeDone_ < writeBuffer_.size() || !Ioctl(TIOCOUTQ, &queued) || queued > 0)
        return true;
    return !TransmitterEmpty();
}

bool TPosixDevice::TransmitterEmpty() const
{
    const int saved = errno;
    unsigned int lsr = 0;
    const bool empty = Ioctl(TIOCSERGETLSR, &lsr) && (lsr & TIOCSER_TEMT);
    errno = saved;
    return empty;
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
        ok = RetryEintr([&] { return calls_.drain(fd_.Get()); }) == 0;
    transferred = writeDone_;
    writeActive_ = false;
    writeBuffer_.clear();
    return ok;
}

// Edge-triggered: each arrival wakes once, bytes left unread do not. The
// output side is watched only for an output-empty handler, so that writes
// cost no wake-ups otherwise.
bool TPosixDevice::WatchDevice(int op) const
{
    epoll_event e{};
    e.events = EPOLLIN | EPOLLET | ((mask_->load() & kEvTxEmpty) ? std::uint32_t(EPOLLOUT) : 0u);
    e.data.u32 = 1;
    return epoll_ctl(epoll_->Get(), op, fd_.Get(), &e) == 0;
}

std::unique_ptr<TEventWaiter> TPosixDevice::CreateEventWaiter()
{
    if (!Ready())
        return nullptr;
    auto epoll = std::make_shared<TFd>(epoll_create1(EPOLL_CLOEXEC));
    TFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (epoll->Get() < 0 || wake.Get() < 0)
        return nullptr;
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = 0;
    if (epoll_ctl(epoll->Get(), EPOLL_CTL_ADD, wake.Get(), &e) != 0)
        return nullptr;
    epoll_ = epoll;
    if (!WatchDevice(EPOLL_CTL_ADD)) {
        epoll_.reset();
        return nullptr;
    }
    return std::make_unique<TEpollWaiter>(std::move(epoll), std::move(wake), mask_);
}

bool TPosixDevice::SetCommMask(std::uint32_t mask)
{
    if (!Ready())
        return false;
    const bool output = (mask_->exchange(mask) ^ mask) & kEvTxEmpty;
    return !output || !epoll_ || WatchDevice(EPOLL_CTL_MOD);
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

} // namespace lk58::platform::posix

// The converter's line on a descriptor: a pseudo-terminal's master or a
// serial device, watched with poll beside an eventfd that Wake signals.
#include "sim/line.h"
#include "sim/uniquefd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

namespace lk58::sim {

namespace {
timespec Remaining(Clock::time_point deadline)
{
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Waits until `fd` shows one of `events` (also an error or hang-up), `wake`
// is readable, or the deadline passes (none: for ever).
WaitResult WaitFor(int fd, short events, int wake, std::optional<Clock::time_point> deadline)
{
    for (;;) {
        pollfd fds[2] = {{wake, POLLIN, 0}, {fd, events, 0}};
        const nfds_t count = fd >= 0 ? 2 : 1;
        timespec left{};
        if (deadline)
            left = Remaining(*deadline);
        const int r = ::ppoll(fds, count, deadline ? &left : nullptr, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Woken; // a broken wait must not turn into a spin
        }
        if (fds[0].revents)
            return WaitResult::Woken;
        if (r > 0)
            return WaitResult::Ready;
        if (!deadline || Clock::now() >= *deadline)
            return WaitResult::TimedOut;
    }
}

class FdLine : public ServedLine {
public:
    explicit FdLine(int fd) : fd_(fd), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (!wake_.Valid())
            throw std::system_error(errno, std::generic_category(), "eventfd");
    }

    void Prepare() override
    {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0)
            throw std::system_error(errno, std::generic_category(), "fcntl");
    }

    WaitResult WaitInput(std::optional<Clock::time_point> deadline) override
    {
        return WaitFor(fd_, POLLIN, wake_.Get(), deadline);
    }

    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t size) override
    {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (n <= 0)
            return std::nullopt;
        return static_cast<std::size_t>(n);
    }

    bool SleepUntil(Clock::time_point deadline) override
    {
        return WaitFor(-1, 0, wake_.Get(), deadline) != WaitResult::Woken;
    }

    PutResult Put(const std::uint8_t* data, std::size_t size) override
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const auto r = WaitFor(fd_, POLLOUT, wake_.Get(), Clock::now() + std::chrono::seconds(1));
                if (r == WaitResult::Woken)
                    return PutResult::Woken;
                if (r == WaitResult::Ready)
                    continue;
            }
            return PutResult::Dropped; // EIO of a hung-up line, or nobody reading for a second
        }
        return PutResult::Sent;
    }

    void Wake() override
    {
        const std::uint64_t one = 1;
        while (::write(wake_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void Rearm() override
    {
        std::uint64_t drained;
        while (::read(wake_.Get(), &drained, sizeof drained) < 0 && errno == EINTR) {
        }
    }

private:
    const int fd_;
    UniqueFd wake_;
};
} // namespace

std::unique_ptr<ServedLine> MakeFdLine(int fd)
{
    return std::make_unique<FdLine>(fd);
}

} // namespace lk58::sim

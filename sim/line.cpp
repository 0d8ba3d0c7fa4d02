#include "sim/line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace lk58::sim {

namespace {
timespec Remaining(Clock::time_point deadline)
{
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}
} // namespace

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

bool SleepUntil(int wake, Clock::time_point deadline)
{
    return WaitFor(-1, 0, wake, deadline) != WaitResult::Woken;
}

namespace {
enum class WriteResult { Sent, Dropped, Woken };

WriteResult WriteAll(int fd, int wake, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto r = WaitFor(fd, POLLOUT, wake, Clock::now() + std::chrono::seconds(1));
            if (r == WaitResult::Woken)
                return WriteResult::Woken;
            if (r == WaitResult::Ready)
                continue;
        }
        return WriteResult::Dropped; // EIO of a hung-up line, or nobody reading for a second
    }
    return WriteResult::Sent;
}
} // namespace

bool SendBytes(int fd, int wake, const std::uint8_t* data, std::size_t size, bool pacing)
{
    if (!pacing)
        return WriteAll(fd, wake, data, size) != WriteResult::Woken;
    const auto start = Clock::now();
    std::size_t sent = 0;
    while (sent < size) {
        if (!SleepUntil(wake, start + kByteTime * (sent + 1)))
            return false;
        // Send every byte whose time has come: a late wake-up catches up.
        const auto due = static_cast<std::size_t>((Clock::now() - start) / kByteTime);
        const std::size_t upto = std::clamp(due, sent + 1, size);
        const WriteResult r = WriteAll(fd, wake, data + sent, upto - sent);
        if (r != WriteResult::Sent)
            return r != WriteResult::Woken;
        sent = upto;
    }
    return true;
}

} // namespace lk58::sim

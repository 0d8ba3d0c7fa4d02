#include "rawclient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace lk58::test {

using Clock = std::chrono::steady_clock;

RawClient::RawClient(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (!fd_.Valid())
        throw std::runtime_error(path + ": " + std::strerror(errno));
    termios t{};
    ::tcgetattr(fd_.Get(), &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_.Get(), TCSANOW, &t);
    ::tcflush(fd_.Get(), TCIOFLUSH);
}

void RawClient::Write(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

Bytes RawClient::Read(std::size_t count, std::chrono::milliseconds limit)
{
    Bytes out;
    const auto deadline = Clock::now() + limit;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0)
            break;
        pollfd p{fd_.Get(), POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        std::uint8_t buf[256];
        const ssize_t n = ::read(fd_.Get(), buf, std::min(sizeof buf, count - out.size()));
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            break;
    }
    return out;
}

Bytes RawClient::ReadUntilQuiet(std::chrono::milliseconds quiet)
{
    Bytes out;
    for (;;) {
        const Bytes more = Read(4096, quiet);
        if (more.empty())
            return out;
        out.insert(out.end(), more.begin(), more.end());
    }
}

} // namespace lk58::test

#include "ptypair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

std::uint32_t PtyRate(int fd); // ptyrate.cpp: termios2 clashes with termios.h

TPtyPair::TPtyPair()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal name");
    slavePath_ = name;
    // The device side stays raw: it must pass every byte untouched.
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
}

TPtyPair::~TPtyPair()
{
    CloseMaster();
}

void TPtyPair::Write(const lk58::Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

lk58::Bytes TPtyPair::Read(std::size_t count, int timeoutMs)
{
    lk58::Bytes out;
    while (out.size() < count) {
        pollfd p{master_, POLLIN, 0};
        const int rc = poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            break;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

// On a pty pair the master's mode calls act on the slave's settings.
void TPtyPair::SlaveTermios(termios& t) const
{
    tcgetattr(master_, &t);
}

std::uint32_t TPtyPair::SlaveRate() const
{
    return PtyRate(master_);
}

void TPtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

#include "sim/ports.h"
#include "sim/simulator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace lk58 {

namespace {
[[noreturn]] void ThrowErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

int Open(const char* path, int flags)
{
    int fd;
    do
        fd = ::open(path, flags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

void SetNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        ThrowErrno("fcntl");
}
} // namespace

namespace sim {

void ConfigureRawLine(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) < 0)
        ThrowErrno("tcgetattr");
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, B4800) < 0 || ::cfsetospeed(&t, B4800) < 0)
        ThrowErrno("cfsetspeed");
    int r;
    do
        r = ::tcsetattr(fd, TCSANOW, &t);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        ThrowErrno("tcsetattr");
}

UniqueFd OpenSerialDevice(const std::string& path)
{
    UniqueFd fd(Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
        ThrowErrno(path);
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) < 0) {
        // Another program holds the port: say so as the port itself would.
        if (errno == EWOULDBLOCK)
            errno = EBUSY;
        ThrowErrno(path);
    }
    try {
        ConfigureRawLine(fd.Get());
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), path);
    }
    return fd;
}

} // namespace sim

PtyPair OpenPtyPair()
{
    PtyPair pair;
    pair.master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!pair.master.Valid())
        ThrowErrno("posix_openpt");
    if (::fcntl(pair.master.Get(), F_SETFD, FD_CLOEXEC) < 0)
        ThrowErrno("fcntl");
    SetNonBlocking(pair.master.Get());
    if (::grantpt(pair.master.Get()) < 0 || ::unlockpt(pair.master.Get()) < 0)
        ThrowErrno("unlockpt");
    char name[128];
    if (const int err = ::ptsname_r(pair.master.Get(), name, sizeof name))
        throw std::system_error(err, std::generic_category(), "ptsname_r");
    pair.slavePath = name;
    pair.holder = UniqueFd(Open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pair.holder.Valid())
        ThrowErrno(pair.slavePath);
    sim::ConfigureRawLine(pair.holder.Get());
    return pair;
}

} // namespace lk58

#include "serial/termios2_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace lk58::platform {

namespace {

bool Ioctl(int fd, unsigned long request, termios2* t)
{
    int rc;
    do {
        rc = ioctl(fd, request, t);
    } while (rc < 0 && errno == EINTR);
    return rc == 0;
}

} // namespace

bool GetLineRate(int fd, std::uint32_t& rate)
{
    termios2 t{};
    if (!Ioctl(fd, TCGETS2, &t))
        return false;
    rate = t.c_ospeed;
    return true;
}

bool SetLineRate(int fd, std::uint32_t rate)
{
    termios2 t{};
    if (!Ioctl(fd, TCGETS2, &t))
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return Ioctl(fd, TCSETS2, &t);
}

} // namespace lk58::platform

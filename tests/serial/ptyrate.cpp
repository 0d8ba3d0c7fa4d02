#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

std::uint32_t PtyRate(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}

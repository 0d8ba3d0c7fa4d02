/*
 * Test-only: gives pseudo-terminals the modem lines they lack, so that
 * Wine's serial layer drives a pty as it drives a real port. Wine's event
 * wait and its line control ask for the modem lines; on a pty, whose driver
 * refuses them, the wait for received data ends at once with "aborted".
 * Loaded with LD_PRELOAD into Wine: TIOCMGET, TIOCMSET, TIOCMBIS and
 * TIOCMBIC on a terminal that refuses them are answered from a record of
 * the lines per descriptor, which starts with DTR and RTS up (as an open
 * raises them). Everything else goes to the C library.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#define MAX_FDS 4096
#define KNOWN 0x40000000 /* the record of this descriptor is in use */

static int lines[MAX_FDS];

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*close_fn)(int);

static ioctl_fn real_ioctl(void)
{
    static ioctl_fn fn;
    if (!fn)
        fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return fn;
}

static int is_modem_request(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

static int emulate(int fd, unsigned long request, int *arg)
{
    int now = __atomic_load_n(&lines[fd], __ATOMIC_SEQ_CST);
    if (!(now & KNOWN))
        now = KNOWN | TIOCM_DTR | TIOCM_RTS;
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
    case TIOCMGET:
        *arg = now & ~KNOWN;
        return 0;
    case TIOCMSET:
        now = KNOWN | *arg;
        break;
    case TIOCMBIS:
        now |= *arg;
        break;
    case TIOCMBIC:
        now = (now & ~*arg) | KNOWN;
        break;
    }
    __atomic_store_n(&lines[fd], now, __ATOMIC_SEQ_CST);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    const int rc = real_ioctl()(fd, request, arg);
    if (rc == 0 || !is_modem_request(request) || fd < 0 || fd >= MAX_FDS)
        return rc;
    const int saved = errno;
    if ((saved != ENOTTY && saved != EINVAL) || !isatty(fd)) {
        errno = saved;
        return rc;
    }
    return emulate(fd, request, (int *)arg);
}

/* A descriptor number used again is a new line. */
int close(int fd)
{
    static close_fn fn;
    if (!fn)
        fn = (close_fn)dlsym(RTLD_NEXT, "close");
    if (fd >= 0 && fd < MAX_FDS)
        __atomic_store_n(&lines[fd], 0, __ATOMIC_SEQ_CST);
    return fn(fd);
}

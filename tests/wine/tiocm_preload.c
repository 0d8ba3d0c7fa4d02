/*
 * Test-only: gives pseudo-terminals the modem lines and counters they lack,
 * so that Wine's serial layer (whose event wait and line control ask for
 * them) drives a pty as it drives a real port. Loaded with LD_PRELOAD into
 * Wine; on a terminal whose driver refuses them:
 * - TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC are answered from a
 *   per-descriptor record of the lines, which starts with DTR and RTS up
 *   (as an open raises them);
 * - TIOCGICOUNT reports the bytes received so far (those read, flushed or
 *   still queued) and no line errors. Without a receive counter Wine's
 *   event wait reports received data again while older bytes stay unread,
 *   which a real port's driver never does.
 * Everything else goes to the C library.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

#define MAX_FDS 4096
#define KNOWN 0x40000000 /* the record of this descriptor is in use */

static int lines[MAX_FDS];
static long long consumed[MAX_FDS]; /* bytes read or flushed on the descriptor */

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*close_fn)(int);
typedef ssize_t (*read_fn)(int, void *, size_t);
typedef int (*tcflush_fn)(int, int);

static ioctl_fn real_ioctl(void)
{
    static ioctl_fn fn;
    if (!fn)
        fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return fn;
}

static int tracked(int fd)
{
    return fd >= 0 && fd < MAX_FDS;
}

static int queued(int fd)
{
    int n = 0;
    return real_ioctl()(fd, FIONREAD, &n) == 0 ? n : 0;
}

static int counters(int fd, struct serial_icounter_struct *c)
{
    if (!c) {
        errno = EFAULT;
        return -1;
    }
    memset(c, 0, sizeof *c);
    c->rx = (int)(__atomic_load_n(&consumed[fd], __ATOMIC_SEQ_CST) + queued(fd));
    return 0;
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
        break;
    case TIOCMSET:
        now = KNOWN | *arg;
        break;
    case TIOCMBIS:
        now |= *arg;
        break;
    case TIOCMBIC:
        now &= ~*arg;
        now |= KNOWN;
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
    if (rc == 0 || !tracked(fd) || (!is_modem_request(request) && request != TIOCGICOUNT))
        return rc;
    const int saved = errno;
    if ((saved != ENOTTY && saved != EINVAL) || !isatty(fd)) {
        errno = saved;
        return rc;
    }
    if (request == TIOCGICOUNT)
        return counters(fd, (struct serial_icounter_struct *)arg);
    return emulate(fd, request, (int *)arg);
}

ssize_t read(int fd, void *buffer, size_t count)
{
    static read_fn fn;
    if (!fn)
        fn = (read_fn)dlsym(RTLD_NEXT, "read");
    const ssize_t n = fn(fd, buffer, count);
    if (n > 0 && tracked(fd))
        __atomic_add_fetch(&consumed[fd], n, __ATOMIC_SEQ_CST);
    return n;
}

/* Flushed input counts as received: the counter never goes back. */
int tcflush(int fd, int selector)
{
    static tcflush_fn fn;
    if (!fn)
        fn = (tcflush_fn)dlsym(RTLD_NEXT, "tcflush");
    if (tracked(fd) && (selector == TCIFLUSH || selector == TCIOFLUSH)) {
        const int saved = errno;
        __atomic_add_fetch(&consumed[fd], queued(fd), __ATOMIC_SEQ_CST);
        errno = saved;
    }
    return fn(fd, selector);
}

int close(int fd)
{
    static close_fn fn;
    if (!fn)
        fn = (close_fn)dlsym(RTLD_NEXT, "close");
    if (tracked(fd)) {
        __atomic_store_n(&lines[fd], 0, __ATOMIC_SEQ_CST);
        __atomic_store_n(&consumed[fd], 0, __ATOMIC_SEQ_CST);
    }
    return fn(fd);
}

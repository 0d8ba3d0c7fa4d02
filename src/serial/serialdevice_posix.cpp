#include "serial/serialdevice_posix.h"
#include "serial/deviceaccess.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>

namespace lk58::platform {

const int kErrorIoPending = EINPROGRESS;
const int kErrorBusy = EBUSY;
const int kErrorNoDevice = ENOENT;
const int kErrorVanished = EIO;

int LastError() { return errno; }
void SetLastError(int code) { errno = code; }

std::string SystemMessage(int code)
{
    char buffer[256];
    std::string text = strerror_r(code, buffer, sizeof buffer);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    return text;
}

bool IsVanishedError(int code)
{
    return code == EIO || code == ENXIO || code == ENODEV;
}

bool IsBusyError(int code)
{
    return code == EBUSY || code == EWOULDBLOCK;
}

namespace posix {

bool TPosixDevice::Ready() const
{
    if (fd_.Get() >= 0)
        return true;
    errno = EBADF;
    return false;
}

bool TPosixDevice::Ioctl(unsigned long request, void* arg) const
{
    return RetryEintr([&] { return calls_.ioctl(fd_.Get(), request, arg); }) == 0;
}

// Drivers that hold received bytes until a latency timer fires (FTDI's is
// 16 ms) hand them over at once in low-latency mode, so a reply is not late.
// A device without the setting (a pseudo-terminal) is used as it is, and so
// is one that refuses it: the port works, only later.
void TPosixDevice::SetLowLatency()
{
    serial_struct s{};
    if (!Ioctl(TIOCGSERIAL, &s) || (s.flags & ASYNC_LOW_LATENCY))
        return;
    s.flags |= ASYNC_LOW_LATENCY;
    lowLatencySet_ = Ioctl(TIOCSSERIAL, &s);
}

// Leaves the driver's modes as the port found them; a device that has gone
// away keeps nothing to restore.
void TPosixDevice::RestoreDriverModes()
{
    const int saved = errno;
    if (lowLatencySet_) {
        serial_struct s{};
        if (Ioctl(TIOCGSERIAL, &s)) {
            s.flags &= ~ASYNC_LOW_LATENCY;
            Ioctl(TIOCSSERIAL, &s);
        }
        lowLatencySet_ = false;
    }
    if (savedRs485_) {
        Ioctl(TIOCSRS485, &*savedRs485_);
        savedRs485_.reset();
    }
    errno = saved;
}

bool TPosixDevice::Open(const std::string& name)
{
    Close();
    // A program that marks its port with a lock file only (minicom, many
    // loggers) takes neither flock nor TIOCEXCL: its live lock is "busy"
    // before the port is opened, since opening already changes its lines.
    if (LivePortLock(name)) {
        errno = EBUSY;
        return false;
    }
    TFd fd(RetryEintr([&] { return ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (fd.Get() < 0)
        return false;
    // flock holds against every second opener, root included; TIOCEXCL
    // also stops programs that do not take the lock (except root's). A
    // program that uses none of these three is not seen.
    if (RetryEintr([&] { return flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK)
            errno = EBUSY;
        return false;
    }
    termios t{};
    if (tcgetattr(fd.Get(), &t) != 0 || ioctl(fd.Get(), TIOCEXCL) != 0)
        return false;
    fd_ = std::move(fd);
    dcb_ = TDcb{};
    dcb_.Flags = kDcbBinary | kDtrControlEnable | kRtsControlEnable;
    ReadCounters(errorCounters_);
    eventCounters_ = errorCounters_;
    if (!MakeRaw()) {
        Close();
        return false;
    }
    SetLowLatency();
    return true;
}

void TPosixDevice::Close()
{
    if (fd_.Get() >= 0) {
        RestoreDriverModes();
        ioctl(fd_.Get(), TIOCNXCL);
    }
    fd_.Reset();
    refused_.clear();
    readActive_ = writeActive_ = false;
    writeBuffer_.clear();
    mask_->store(0);
    epoll_.reset();
}

bool TPosixDevice::SetupComm(std::int32_t inputSize, std::int32_t outputSize)
{
    if (!Ready())
        return false;
    if (inputSize < 0 || outputSize < 0) {
        errno = EINVAL;
        return false;
    }
    inputSize_ = inputSize; // the kernel's queues have fixed sizes
    return true;
}

bool TPosixDevice::ReadCounters(serial_icounter_struct& counters) const
{
    if (Ioctl(TIOCGICOUNT, &counters))
        return true;
    if (!Unsupported(errno))
        return false;
    counters = serial_icounter_struct{};
    return true;
}

bool TPosixDevice::ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue)
{
    serial_icounter_struct now{};
    if (!Ready() || !ReadCounters(now))
        return false;
    const serial_icounter_struct& was = errorCounters_;
    errors = (now.frame != was.frame ? kCeFrame : 0) | (now.overrun != was.overrun ? kCeOverrun : 0) |
             (now.parity != was.parity ? kCeRxParity : 0) | (now.brk != was.brk ? kCeBreak : 0) |
             (now.buf_overrun != was.buf_overrun ? kCeRxOver : 0);
    errorCounters_ = now;
    int count = 0;
    if (inQueue) {
        if (!Ioctl(FIONREAD, &count))
            return false;
        *inQueue = static_cast<std::uint32_t>(count);
    }
    return true;
}

bool TPosixDevice::Purge(std::uint32_t flags)
{
    if (!Ready())
        return false;
    if (flags & kPurgeRxAbort)
        readActive_ = false;
    if (flags & kPurgeTxAbort) {
        writeActive_ = false;
        writeBuffer_.clear();
    }
    if ((flags & kPurgeRxClear) && tcflush(fd_.Get(), TCIFLUSH) != 0)
        return false;
    return !(flags & kPurgeTxClear) || tcflush(fd_.Get(), TCOFLUSH) == 0;
}

bool TPosixDevice::GetModemStatus(std::uint32_t& status)
{
    int lines = 0;
    status = 0;
    if (!Ready())
        return false;
    if (!Ioctl(TIOCMGET, &lines))
        return Unsupported(errno);
    status = ((lines & TIOCM_CTS) ? kMsCtsOn : 0) | ((lines & TIOCM_DSR) ? kMsDsrOn : 0) |
             ((lines & TIOCM_RNG) ? kMsRingOn : 0) | ((lines & TIOCM_CAR) ? kMsRlsdOn : 0);
    return true;
}

} // namespace posix

std::unique_ptr<TSerialDevice> CreatePlatformDevice()
{
    return std::make_unique<posix::TPosixDevice>();
}

std::unique_ptr<TSerialDevice> posix::CreatePosixDevice(TDriverCalls calls)
{
    return std::make_unique<TPosixDevice>(std::move(calls));
}

long CurrentThreadId()
{
    return static_cast<long>(gettid());
}

void SetThreadPriority(long threadId, int windowsPriority)
{
    int nice = 0;
    switch (windowsPriority) {
    case -15: nice = 19; break;
    case -2: nice = 10; break;
    case -1: nice = 5; break;
    case 1: nice = -5; break;
    case 2: nice = -10; break;
    case 15: nice = -20; break;
    default: nice = 0;
    }
    const int saved = errno;
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice);
    errno = saved;
}

namespace {

int NiceOfClass(std::int32_t windowsClass)
{
    switch (windowsClass) {
    case 0x40: return 19;
    case 0x80: return -10;
    case 0x100: return -20;
    default: return 0;
    }
}

// Linux keeps a priority per thread: the process is its threads.
std::vector<pid_t> ProcessThreads()
{
    std::vector<pid_t> threads;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec))
        threads.push_back(static_cast<pid_t>(std::atoi(it->path().filename().c_str())));
    if (threads.empty())
        threads.push_back(gettid());
    return threads;
}

bool NiceOf(pid_t thread, int& nice)
{
    errno = 0;
    nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    return errno == 0;
}

// Whether a thread of this process may go from nice to back to nice from
// (lower nice needs CAP_SYS_NICE or RLIMIT_NICE). Tried on a thread of its
// own, so that the kernel's own rules decide and no real thread changes.
bool CanReturn(int to, int from)
{
    int code = 0;
    std::thread([&] {
        const auto self = static_cast<id_t>(gettid());
        if (setpriority(PRIO_PROCESS, self, to) != 0 || setpriority(PRIO_PROCESS, self, from) != 0)
            code = errno;
    }).join();
    errno = code;
    return code == 0;
}

class TLinuxPriorityChange : public TPriorityChange {
public:
    TLinuxPriorityChange(std::vector<std::pair<pid_t, int>> saved, int born)
        : saved_(std::move(saved)), born_(born)
    {
    }
    // A thread started while the change held took it from its parent: it
    // gets what the opening thread had.
    ~TLinuxPriorityChange() override
    {
        const int saved = errno;
        for (const pid_t thread : ProcessThreads()) {
            int nice = born_;
            for (const auto& [id, was] : saved_)
                if (id == thread)
                    nice = was;
            setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice);
        }
        errno = saved;
    }

private:
    std::vector<std::pair<pid_t, int>> saved_;
    int born_;
};

} // namespace

std::unique_ptr<TPriorityChange> ChangeProcessPriority(std::int32_t windowsClass)
{
    const int target = NiceOfClass(windowsClass);
    std::vector<std::pair<pid_t, int>> saved;
    int highest = target; // the lowest nice to return to
    for (const pid_t thread : ProcessThreads()) {
        int nice = 0;
        if (NiceOf(thread, nice)) {
            saved.emplace_back(thread, nice);
            highest = std::min(highest, nice);
        }
    }
    int born = 0;
    if (!NiceOf(gettid(), born))
        born = target;
    if (highest < target && !CanReturn(target, highest))
        return nullptr;
    const int savedErrno = errno;
    for (const auto& [thread, nice] : saved)
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread), target); // refused: left as it was
    errno = savedErrno;
    return std::make_unique<TLinuxPriorityChange>(std::move(saved), born);
}

} // namespace lk58::platform

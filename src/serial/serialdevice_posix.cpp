#include "serial/serialdevice_posix.h"
#include "serial/deviceaccess.h"
#include "serial/termios2_linux.h"

#include <array>
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

namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 31> kStandardRates = {{
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000}, {0, B0}}};

std::optional<speed_t> StandardSpeed(std::uint32_t rate)
{
    for (const auto& [bps, code] : kStandardRates)
        if (bps == rate && rate != 0)
            return code;
    return std::nullopt;
}

} // namespace

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

// Raw bytes: a read returns as soon as one byte is there (VMIN 1), an empty
// read gives EAGAIN, and a read of 0 bytes means the line hung up. Raw
// clears output XON/XOFF; input XON/XOFF goes too, so that what an earlier
// user left never decides the flow control of a port that keeps it default.
bool TPosixDevice::MakeRaw()
{
    termios t{};
    if (tcgetattr(fd_.Get(), &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_iflag &= ~IXOFF;
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd_.Get(), TCSANOW, &t) == 0;
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

bool TPosixDevice::GetCommState(TDcb& dcb)
{
    termios t{};
    if (!Ready() || tcgetattr(fd_.Get(), &t) != 0)
        return false;
    std::uint32_t rate = 0;
    if (!GetLineRate(fd_.Get(), rate))
        return false;
    const std::uint32_t length = dcb.DCBlength;
    dcb = dcb_;
    dcb.DCBlength = length;
    dcb.BaudRate = rate;
    constexpr std::array<std::pair<tcflag_t, std::uint8_t>, 4> sizes = {{{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}}};
    for (const auto& [bits, size] : sizes)
        if ((t.c_cflag & CSIZE) == bits)
            dcb.ByteSize = size;
    if (!(t.c_cflag & PARENB))
        dcb.Parity = kNoParity;
    else if (t.c_cflag & CMSPAR)
        dcb.Parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
    else
        dcb.Parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
    dcb.StopBits = !(t.c_cflag & CSTOPB) ? kOneStopBit : dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
    const auto flag = [&](std::uint32_t bit, bool on) { dcb.Flags = on ? dcb.Flags | bit : dcb.Flags & ~bit; };
    flag(kDcbBinary, true);
    flag(kDcbParity, t.c_iflag & INPCK);
    flag(kDcbOutxCtsFlow, t.c_cflag & CRTSCTS);
    flag(kDcbOutX, t.c_iflag & IXON);
    flag(kDcbInX, t.c_iflag & IXOFF);
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    int lines = 0;
    if (Ioctl(TIOCMGET, &lines)) {
        if ((dcb.Flags & kDcbDtrControlMask) != kDtrControlHandshake)
            dcb.Flags = (dcb.Flags & ~kDcbDtrControlMask) | ((lines & TIOCM_DTR) ? kDtrControlEnable : kDtrControlDisable);
        if ((dcb.Flags & kDcbRtsControlMask) != kRtsControlHandshake && (dcb.Flags & kDcbRtsControlMask) != kRtsControlToggle)
            dcb.Flags = (dcb.Flags & ~kDcbRtsControlMask) | ((lines & TIOCM_RTS) ? kRtsControlEnable : kRtsControlDisable);
    } else if (!Unsupported(errno)) {
        return false;
    }
    return true;
}

bool TPosixDevice::Refuse(const char* setting, int code)
{
    refused_ = setting;
    errno = code;
    return false;
}

// What the record asks that termios and the tty driver cannot do: DTR
// handshaking, DSR flow and sensitivity, replacing bytes with errors,
// dropping null bytes, aborting transfers on errors, 4 data bits, and input
// XON/XOFF that stops sending after XOFF or sends it at given limits (Linux
// keeps sending, at its own limits). RTS toggle is the driver's RS-485 mode.
bool TPosixDevice::CheckLineState(const TDcb& dcb)
{
    constexpr std::pair<std::uint32_t, const char*> options[] = {
        {kDcbOutxDsrFlow, "opOutputDSRFlow"}, {kDcbDsrSensitivity, "opDSRSensitivity"},
        {kDcbErrorChar, "opUseErrorChar"}, {kDcbNull, "opDiscardNullBytes"},
        {kDcbAbortOnError, "opAbortOnError"}};
    if ((dcb.Flags & kDcbDtrControlMask) == kDtrControlHandshake)
        return Refuse("FlowControl.DTR dcHandshake", EOPNOTSUPP);
    for (const auto& [bit, name] : options)
        if (dcb.Flags & bit)
            return Refuse(name, EOPNOTSUPP);
    if (dcb.ByteSize == 4)
        return Refuse("DataBits db4", EOPNOTSUPP);
    if ((dcb.Flags & kDcbInX) && !(dcb.Flags & kDcbTXContinueOnXoff))
        return Refuse("FlowControl.XOnXOff input without opTXContinueOnXOff", EOPNOTSUPP);
    if ((dcb.Flags & kDcbInX) && dcb.XonLim != 0)
        return Refuse("FlowControl.XOnLimit", EOPNOTSUPP);
    if ((dcb.Flags & kDcbInX) && dcb.XoffLim != 0)
        return Refuse("FlowControl.XOffLimit", EOPNOTSUPP);
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity || dcb.StopBits > kTwoStopBits) {
        errno = EINVAL;
        return false;
    }
    return true;
}

// RTS raised only while sending: the driver's RS-485 mode. The mode the
// driver had is kept to be put back when the toggle ends or the port closes.
bool TPosixDevice::SetRtsToggle(bool on)
{
    if (!on) {
        if (savedRs485_ && !Ioctl(TIOCSRS485, &*savedRs485_))
            return false;
        savedRs485_.reset();
        return true;
    }
    serial_rs485 rs{};
    if (!Ioctl(TIOCGRS485, &rs))
        return Refuse("FlowControl.RTS rcToggle", errno);
    const serial_rs485 before = rs;
    rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs.flags &= ~SER_RS485_RTS_AFTER_SEND;
    if (!Ioctl(TIOCSRS485, &rs))
        return Refuse("FlowControl.RTS rcToggle", errno);
    if (!savedRs485_)
        savedRs485_ = before;
    return true;
}

bool TPosixDevice::SetCommState(const TDcb& dcb)
{
    termios t{};
    refused_.clear();
    if (!Ready() || tcgetattr(fd_.Get(), &t) != 0)
        return false;
    if (!CheckLineState(dcb) || !SetRtsToggle((dcb.Flags & kDcbRtsControlMask) == kRtsControlToggle))
        return false;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | sizes[dcb.ByteSize - 5];
    constexpr tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    t.c_cflag |= parities[dcb.Parity];
    if (dcb.StopBits != kOneStopBit)
        t.c_cflag |= CSTOPB;
    const std::uint32_t rts = dcb.Flags & kDcbRtsControlMask;
    if ((dcb.Flags & kDcbOutxCtsFlow) || rts == kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(INPCK | IXON | IXOFF);
    t.c_iflag |= ((dcb.Flags & kDcbParity) ? INPCK : 0) | ((dcb.Flags & kDcbOutX) ? IXON : 0) |
                 ((dcb.Flags & kDcbInX) ? IXOFF : 0);
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    const std::optional<speed_t> speed = StandardSpeed(dcb.BaudRate);
    if (speed && (cfsetispeed(&t, *speed) != 0 || cfsetospeed(&t, *speed) != 0))
        return false;
    if (tcsetattr(fd_.Get(), TCSANOW, &t) != 0)
        return false;
    if (!speed && dcb.BaudRate != 0 && !SetLineRate(fd_.Get(), dcb.BaudRate))
        return false;
    const std::uint32_t dtr = dcb.Flags & kDcbDtrControlMask;
    if (!SetModemLine(TIOCM_DTR, dtr != kDtrControlDisable))
        return false;
    if (rts != kRtsControlToggle && !SetModemLine(TIOCM_RTS, rts != kRtsControlDisable))
        return false;
    dcb_ = dcb;
    return true;
}

std::string TPosixDevice::RefusedSetting() const
{
    return refused_;
}

bool TPosixDevice::SetModemLine(int line, bool on)
{
    if (Ioctl(on ? TIOCMBIS : TIOCMBIC, &line))
        return true;
    return Unsupported(errno);
}

bool TPosixDevice::GetCommTimeouts(TCommTimeouts& timeouts)
{
    if (!Ready())
        return false;
    timeouts = timeouts_;
    return true;
}

bool TPosixDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    if (!Ready())
        return false;
    timeouts_ = timeouts;
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

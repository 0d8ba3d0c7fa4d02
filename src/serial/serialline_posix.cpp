#include "serial/serialdevice_posix.h"
#include "serial/termios2_linux.h"

#include <array>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>

// The line's settings on termios and the tty driver: the record's speed,
// framing, flow control and modem lines, what the driver cannot do refused
// by name, and the read time-outs the port keeps for itself.
namespace lk58::platform::posix {
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

} // namespace lk58::platform::posix

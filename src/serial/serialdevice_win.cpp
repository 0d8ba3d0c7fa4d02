#include "serial/serialdevice_win.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace lk58::platform {

const int kErrorIoPending = ERROR_IO_PENDING;
const int kErrorBusy = ERROR_ACCESS_DENIED;
const int kErrorNoDevice = ERROR_FILE_NOT_FOUND;
const int kErrorVanished = ERROR_DEVICE_NOT_CONNECTED;

int LastError() { return static_cast<int>(::GetLastError()); }
void SetLastError(int code) { ::SetLastError(static_cast<DWORD>(code)); }

std::string SystemMessage(int code)
{
    const DWORD saved = ::GetLastError();
    char buffer[256] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    ::SetLastError(saved);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    if (text.empty())
        text = "Unknown error " + std::to_string(code);
    return text;
}

// Access denied is what Windows reports for a port whose USB adapter was
// pulled; "not ready" is Wine's for a line that hung up; the others are
// what USB serial drivers give once their device is gone.
bool IsVanishedError(int code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

// Windows gives a COM port to one program at a time and tells a second
// opener "access denied" (a sharing violation for a port opened as a file).
bool IsBusyError(int code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

namespace win {

// The record is handed to the driver as it is.
static_assert(sizeof(DCB) == sizeof(TDcb));
static_assert(offsetof(DCB, BaudRate) == offsetof(TDcb, BaudRate));
static_assert(offsetof(DCB, wReserved) == offsetof(TDcb, wReserved));
static_assert(offsetof(DCB, XonLim) == offsetof(TDcb, XonLim));
static_assert(offsetof(DCB, ByteSize) == offsetof(TDcb, ByteSize));
static_assert(offsetof(DCB, XonChar) == offsetof(TDcb, XonChar));
static_assert(offsetof(DCB, EvtChar) == offsetof(TDcb, EvtChar));
static_assert(offsetof(DCB, wReserved1) == offsetof(TDcb, wReserved1));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(TCommTimeouts));

namespace {

// How long a purge or close waits for the driver to end a transfer it
// aborted; the driver normally does so at once.
constexpr DWORD kAbortWaitMs = 2000;

// The first setting of want that the driver did not keep, named as the
// port names it; nullptr when it kept them all. Characters and limits count
// only where they act: the XON/XOFF characters with XON/XOFF, the limits
// with input XON/XOFF, the error character with its option.
const char* UnkeptSetting(const TDcb& want, const TDcb& got)
{
    if (got.BaudRate != want.BaudRate)
        return "BaudRate";
    if (got.ByteSize != want.ByteSize)
        return "DataBits";
    if (got.Parity != want.Parity)
        return "Parity";
    if (got.StopBits != want.StopBits)
        return "StopBits";
    const auto differs = [&](std::uint32_t mask) { return (got.Flags & mask) != (want.Flags & mask); };
    constexpr std::pair<std::uint32_t, const char*> fields[] = {
        {kDcbDtrControlMask, "FlowControl.DTR"}, {kDcbRtsControlMask, "FlowControl.RTS"},
        {kDcbOutX | kDcbInX, "FlowControl.XOnXOff"}, {kDcbParity, "opCheckParity"},
        {kDcbOutxCtsFlow, "opOutputCTSFlow"}, {kDcbOutxDsrFlow, "opOutputDSRFlow"},
        {kDcbDsrSensitivity, "opDSRSensitivity"}, {kDcbTXContinueOnXoff, "opTXContinueOnXOff"},
        {kDcbErrorChar, "opUseErrorChar"}, {kDcbNull, "opDiscardNullBytes"},
        {kDcbAbortOnError, "opAbortOnError"}};
    for (const auto& [mask, name] : fields)
        if (differs(mask))
            return name;
    if ((want.Flags & (kDcbOutX | kDcbInX)) && got.XonChar != want.XonChar)
        return "Characters.XOn";
    if ((want.Flags & (kDcbOutX | kDcbInX)) && got.XoffChar != want.XoffChar)
        return "Characters.XOff";
    if ((want.Flags & kDcbInX) && got.XonLim != want.XonLim)
        return "FlowControl.XOnLimit";
    if ((want.Flags & kDcbInX) && got.XoffLim != want.XoffLim)
        return "FlowControl.XOffLimit";
    if ((want.Flags & kDcbErrorChar) && got.ErrorChar != want.ErrorChar)
        return "Characters.Error";
    return nullptr;
}

} // namespace

std::string DevicePath(const std::string& name)
{
    if (name.rfind("\\\\", 0) == 0)
        return name;
    return "\\\\.\\" + name;
}

TWinDevice::TWinDevice() = default;

TWinDevice::~TWinDevice()
{
    Close();
}

bool TWinDevice::Ready() const
{
    if (IsOpen())
        return true;
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

bool TWinDevice::Open(const std::string& name)
{
    Close();
    THandle readEvent(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
    THandle writeEvent(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
    THandle takenEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!readEvent || !writeEvent || !takenEvent)
        return false;
    // Exclusive: no sharing, so that a port another program holds fails.
    const HANDLE h = ::CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // A file or a pipe opens too, and would fail later with whatever its
    // driver says of a line call. (A port's driver may call its device of
    // no known type rather than a character device: only these are refused.)
    if (const DWORD type = ::GetFileType(h); type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    // The driver keeps a port's line state from one program to the next:
    // XON/XOFF left on by an earlier one would swallow the 0x11 and 0x13
    // bytes of binary frames. As on Linux, a port opens without it, and a
    // port that wants it sets it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(h, &dcb) && (dcb.fOutX || dcb.fInX)) {
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        ::SetCommState(h, &dcb);
    }
    read_.event = std::move(readEvent);
    write_.event = std::move(writeEvent);
    shared_->inputTakenEvent = std::move(takenEvent);
    std::lock_guard lock(shared_->lock);
    shared_->handle = h;
    return true;
}

void TWinDevice::Close()
{
    const DWORD saved = ::GetLastError();
    {
        std::lock_guard lock(shared_->lock);
        if (const HANDLE h = shared_->handle; h != INVALID_HANDLE_VALUE) {
            ::SetCommMask(h, 0);      // a pending event wait ends at once
            ::CancelIoEx(h, nullptr); // and so does every transfer, before its record goes
            Settle(read_);
            Settle(write_);
            ::CloseHandle(h);
            shared_->handle = INVALID_HANDLE_VALUE;
        }
    }
    // An event wait still ending keeps the record it knew, with no handle:
    // it can never reach the next port opened.
    shared_ = std::make_shared<TSharedPort>();
    read_.event.Reset();
    write_.event.Reset();
    writeBuffer_.clear();
    refused_.clear();
    ::SetLastError(saved);
}

void TWinDevice::Settle(TTransfer& transfer)
{
    if (!transfer.Pending())
        return;
    const DWORD saved = ::GetLastError();
    ::CancelIoEx(Handle(), &transfer.overlapped);
    ::WaitForSingleObject(transfer.event.Get(), kAbortWaitMs);
    ::SetLastError(saved);
}

void TWinDevice::InputTaken()
{
    shared_->inputTaken.fetch_add(1);
    // Counted before the wait's state is looked at, as the wait notes its
    // state before it counts again: one of the two sees the other.
    if (shared_->heldBack.load())
        ::SetEvent(shared_->inputTakenEvent.Get());
}

bool TWinDevice::SetupComm(std::int32_t inputSize, std::int32_t outputSize)
{
    if (!Ready())
        return false;
    if (inputSize < 0 || outputSize < 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return ::SetupComm(Handle(), static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize));
}

bool TWinDevice::GetCommState(TDcb& dcb)
{
    DCB d{};
    d.DCBlength = sizeof d;
    if (!Ready() || !::GetCommState(Handle(), &d))
        return false;
    std::memcpy(static_cast<void*>(&dcb), &d, sizeof d);
    return true;
}

// A driver may accept a state and keep less of it (Wine drops DSR flow,
// parity on a pseudo-terminal, rates it cannot set), so the state is read
// back: a setting the driver did not keep is refused by name and the line
// is left as it was, never believed to run as set.
bool TWinDevice::SetCommState(const TDcb& dcb)
{
    refused_.clear();
    TDcb before;
    if (!GetCommState(before))
        return false;
    DCB d{};
    std::memcpy(&d, &dcb, sizeof d);
    d.DCBlength = sizeof d;
    if (!::SetCommState(Handle(), &d))
        return false;
    TDcb after;
    if (!GetCommState(after))
        return false;
    if (const char* unkept = UnkeptSetting(dcb, after)) {
        std::memcpy(&d, &before, sizeof d);
        d.DCBlength = sizeof d;
        ::SetCommState(Handle(), &d);
        refused_ = unkept;
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    return true;
}

bool TWinDevice::GetCommTimeouts(TCommTimeouts& timeouts)
{
    COMMTIMEOUTS t{};
    if (!Ready() || !::GetCommTimeouts(Handle(), &t))
        return false;
    std::memcpy(static_cast<void*>(&timeouts), &t, sizeof t);
    return true;
}

bool TWinDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    COMMTIMEOUTS t{};
    std::memcpy(&t, &timeouts, sizeof t);
    return Ready() && ::SetCommTimeouts(Handle(), &t);
}

bool TWinDevice::SetCommMask(std::uint32_t mask)
{
    return Ready() && ::SetCommMask(Handle(), mask);
}

bool TWinDevice::ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue)
{
    DWORD flags = 0;
    COMSTAT status{};
    if (!Ready() || !::ClearCommError(Handle(), &flags, &status))
        return false;
    errors = flags | shared_->strayErrors.exchange(0);
    if (inQueue)
        *inQueue = status.cbInQue;
    return true;
}

// The abort flags end an outstanding transfer; should the driver leave
// one running, it is cancelled, so that its record and buffer are free
// when the purge returns.
bool TWinDevice::Purge(std::uint32_t flags)
{
    if (!Ready() || !::PurgeComm(Handle(), flags))
        return false;
    if (flags & kPurgeRxAbort)
        Settle(read_);
    if (flags & kPurgeTxAbort)
        Settle(write_);
    if (flags & kPurgeRxClear)
        InputTaken();
    return true;
}

// Wine has no modem status for a pseudo-terminal (nor do some virtual
// ports): that reads as no modem lines, as on Linux.
bool TWinDevice::GetModemStatus(std::uint32_t& status)
{
    status = 0;
    DWORD lines = 0;
    if (!Ready())
        return false;
    if (!::GetCommModemStatus(Handle(), &lines))
        return ::GetLastError() == ERROR_NOT_SUPPORTED;
    status = lines;
    return true;
}

} // namespace win

std::unique_ptr<TSerialDevice> CreatePlatformDevice()
{
    return std::make_unique<win::TWinDevice>();
}

long CurrentThreadId()
{
    return static_cast<long>(::GetCurrentThreadId());
}

void SetThreadPriority(long threadId, int windowsPriority)
{
    const DWORD saved = ::GetLastError();
    if (const HANDLE thread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId))) {
        ::SetThreadPriority(thread, windowsPriority);
        ::CloseHandle(thread);
    }
    ::SetLastError(saved);
}

namespace {

class TWinPriorityChange : public TPriorityChange {
public:
    explicit TWinPriorityChange(DWORD saved) : saved_(saved) {}
    ~TWinPriorityChange() override
    {
        const DWORD error = ::GetLastError();
        ::SetPriorityClass(::GetCurrentProcess(), saved_);
        ::SetLastError(error);
    }

private:
    DWORD saved_;
};

} // namespace

// Windows keeps one class for the whole process, which can always be put
// back; only a class that cannot be read first is not changed.
std::unique_ptr<TPriorityChange> ChangeProcessPriority(std::int32_t windowsClass)
{
    const DWORD saved = ::GetPriorityClass(::GetCurrentProcess());
    if (saved == 0)
        return nullptr;
    const DWORD error = ::GetLastError();
    ::SetPriorityClass(::GetCurrentProcess(), static_cast<DWORD>(windowsClass)); // refused: left as it was
    ::SetLastError(error);
    return std::make_unique<TWinPriorityChange>(saved);
}

} // namespace lk58::platform

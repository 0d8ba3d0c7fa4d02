#pragma once

#include "serial/comtypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The platform layer of the serial port: a handful of operations with the
// semantics of the Windows communications calls. Each operation that can
// fail returns false and leaves the platform error code for LastError().
namespace lk58::platform {

// The code of an operation that has not finished yet; never an error.
extern const int kErrorIoPending;
// The platform's codes for a port that another program holds, a port that
// does not exist, and a device that went away under an open port; for
// devices that are not the machine's own.
extern const int kErrorBusy;
extern const int kErrorNoDevice;
extern const int kErrorVanished;

int LastError();
void SetLastError(int code);
// The system's text for an error code, without trailing full stops or blanks.
std::string SystemMessage(int code);

// True for the codes of a device that is gone (the other end of a
// pseudo-terminal closed, a USB adapter pulled).
bool IsVanishedError(int code);
// True for the codes with which Open refuses a port that another program
// (or this one) holds.
bool IsBusyError(int code);

// What woke an event wait.
constexpr std::uint32_t kWakeRx = 0x1; // new bytes arrived
constexpr std::uint32_t kWakeTx = 0x2; // the output queue has room again

// The blocking wait for line events of one open device, and its wake-up.
// Wait runs on the event thread; Wake and Stop may be called from any thread.
class TEventWaiter {
public:
    virtual ~TEventWaiter() = default;
    // Blocks until the device reports something or Wake is called (then
    // wakes is 0). Never spins: bytes left unread do not end a later wait.
    // A device that vanished fails with a code of IsVanishedError.
    virtual bool Wait(std::uint32_t& wakes) = 0;
    virtual void Wake() = 0;
};

class TSerialDevice {
public:
    virtual ~TSerialDevice() = default;

    // Opens the device for exclusive use; a port that another program (or
    // this one) holds fails with the platform's "busy" code.
    virtual bool Open(const std::string& name) = 0;
    // Releases the device; raises nothing.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual bool SetupComm(std::int32_t inputSize, std::int32_t outputSize) = 0;
    virtual bool GetCommState(TDcb& dcb) = 0;
    // Applies a line state record, or changes nothing and fails when the
    // device cannot do what the record asks; RefusedSetting then names the
    // port's setting that asked for it (empty after any other failure).
    virtual bool SetCommState(const TDcb& dcb) = 0;
    virtual std::string RefusedSetting() const = 0;
    virtual bool GetCommTimeouts(TCommTimeouts& timeouts) = 0;
    virtual bool SetCommTimeouts(const TCommTimeouts& timeouts) = 0;
    virtual bool SetCommMask(std::uint32_t mask) = 0;
    // Fetches and clears the line error flags; inQueue (when given) receives
    // the number of bytes waiting in the input queue.
    virtual bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) = 0;
    virtual bool Purge(std::uint32_t flags) = 0;
    virtual bool GetModemStatus(std::uint32_t& status) = 0;

    // Overlapped transfers: Start begins a transfer and returns at once;
    // Pending tells whether it is still outstanding (a write is, until its
    // bytes have left the port or it has been finished); Finish blocks until
    // it has ended (within the time-outs; a write without time-outs ends when
    // its bytes have left the port) and gives the bytes transferred. The
    // buffer of a read stays the caller's until the read has finished.
    virtual bool StartRead(void* buffer, std::uint32_t length) = 0;
    virtual bool ReadPending() const = 0;
    virtual bool FinishRead(std::uint32_t& transferred) = 0;
    virtual bool StartWrite(const void* buffer, std::uint32_t length) = 0;
    virtual bool WritePending() const = 0;
    virtual bool FinishWrite(std::uint32_t& transferred) = 0;

    // A wait for this device's line events, for the event thread.
    virtual std::unique_ptr<TEventWaiter> CreateEventWaiter() = 0;
    // Turns the wake-ups of one cycle into event bits of the mask, reading
    // whatever the device reports about errors, breaks and queues.
    virtual std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) = 0;
};

// A device for any port name: the kind registered for the name's prefix,
// else the machine's own serial device.
std::unique_ptr<TSerialDevice> CreateSerialDevice();
// The machine's own serial device, one file per platform.
std::unique_ptr<TSerialDevice> CreatePlatformDevice();

// A kind of device that is not the machine's, such as a line inside the
// process, named by a prefix ("sim:"). Registered from above this layer,
// at start-up; registering a prefix again replaces its factory.
using TDeviceFactory = std::function<std::unique_ptr<TSerialDevice>()>;
void RegisterDeviceKind(const std::string& prefix, TDeviceFactory factory);
// True for a name that a registered kind serves.
bool IsRegisteredKind(const std::string& name);

// The calling thread's id for SetThreadPriority.
long CurrentThreadId();
// Applies a Windows thread priority value to a thread; failures are ignored.
void SetThreadPriority(long threadId, int windowsPriority);
// A change of the whole process's priority; destroying it puts every
// thread back exactly where it was.
class TPriorityChange {
public:
    virtual ~TPriorityChange() = default;
};
// Puts every thread of the process on the priority of a Windows priority
// class. A priority the process may not take is left as it is, as before.
// Gives nullptr, with LastError set and nothing changed, when the process
// could not get its priority back afterwards.
std::unique_ptr<TPriorityChange> ChangeProcessPriority(std::int32_t windowsClass);

// Appends the full paths of the machine's serial devices, in natural name
// order; adds nothing when the list cannot be read.
void ListSerialDevices(std::vector<std::string>& names);
// The same from a directory laid out as /sys/class/tty.
void ListSerialDevicesIn(const std::string& ttyClassDir, std::vector<std::string>& names);
// Name order with digit runs compared as numbers (ttyS2 before ttyS10).
bool NaturalNameLess(const std::string& a, const std::string& b);

} // namespace lk58::platform

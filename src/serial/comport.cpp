#include "serial/comport.h"

#include "core/apperror.h"
#include "serial/comthread.h"
#include "serial/serialdevice.h"
#include "core/synchronize.h"

namespace lk58 {

const char* const kMsgClosedPort = "Can't perform this operation on a closed port";
const char* const kMsgOpenPort = "Can't perform this operation on an open port";
const char* const kMsgNoThread = "Can't create thread";
const char* const kMsgTimeout = "Timeout";

TCustomComPort::TCustomComPort(QObject* owner)
    : QObject(owner)
    , flowControl_(std::make_unique<TFlowControl>(*this))
    , characters_(std::make_unique<TCharacters>(*this))
    , bufferSizes_(std::make_unique<TBufferSizes>(*this))
    , timeouts_(std::make_unique<TTimeouts>(*this))
{
}

TCustomComPort::~TCustomComPort()
{
    // Closing calls hooks, which may throw; a destructor must not.
    Guarded([this] { Close(); });
    CloseDevice();
    AwaitHandlerThreads();
    timeouts_.reset();
    bufferSizes_.reset();
    characters_.reset();
    flowControl_.reset();
}

// Calls a hook through a copy: the hook may assign another one.
void TCustomComPort::Fire(const TOpenCloseEvent& hook)
{
    const TOpenCloseEvent call = hook;
    call(Sender());
}

// Handlers receive the port as a TComPort; only TComPort is ever built.
TComPort& TCustomComPort::Sender()
{
    return static_cast<TComPort&>(*this);
}

std::unique_ptr<platform::TSerialDevice> TCustomComPort::CreateDevice()
{
    return platform::CreateSerialDevice();
}

platform::TSerialDevice& TCustomComPort::Device()
{
    if (!device_)
        device_ = CreateDevice();
    return *device_;
}

void TCustomComPort::SetDeviceName(const std::string& name)
{
    if (name == deviceName_)
        return;
    RequireClosed();
    deviceName_ = name;
}

void TCustomComPort::SetBaudRate(TBaudRate rate)
{
    if (rate == baudRate_)
        return;
    baudRate_ = rate;
    ApplySettings();
}

std::int32_t TCustomComPort::CustomBaudRate() const
{
    return baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
}

// Only a port already on this custom rate is left alone: after a switch to
// a table rate, writing the old custom value again must take effect.
void TCustomComPort::SetCustomBaudRate(std::int32_t rate)
{
    if (rate == customBaudRate_ && baudRate_ == brCustom)
        return;
    customBaudRate_ = rate;
    baudRate_ = brCustom;
    ApplySettings();
}

void TCustomComPort::SetDataBits(TDataBits bits)
{
    if (bits == dataBits_)
        return;
    dataBits_ = bits;
    ApplySettings();
}

void TCustomComPort::SetParity(TParity parity)
{
    if (parity == parity_)
        return;
    parity_ = parity;
    ApplySettings();
}

void TCustomComPort::SetStopBits(TStopBits bits)
{
    if (bits == stopBits_)
        return;
    stopBits_ = bits;
    ApplySettings();
}

void TCustomComPort::SetOptions(TOptions options)
{
    if (options == options_)
        return;
    options_ = options;
    ApplySettings();
}

void TCustomComPort::SetPriorityClass(TPriorityClass priority)
{
    if (priority == priorityClass_)
        return;
    RequireClosed();
    priorityClass_ = priority;
}

void TCustomComPort::SetThreadPriority(TThreadPriority priority)
{
    if (priority == threadPriority_)
        return;
    threadPriority_ = priority;
    if (eventThread_)
        eventThread_->SetPriority(priority);
}

void TCustomComPort::SetSynchronizeEvents(bool synchronize)
{
    if (synchronize == synchronizeEvents_)
        return;
    RequireClosed();
    synchronizeEvents_ = synchronize;
}

bool TCustomComPort::Active() const
{
    return device_ && device_->IsOpen();
}

void TCustomComPort::SetActive(bool active)
{
    if (active != Active() && !loading_) {
        if (active)
            Open();
        else
            Close();
    }
    activeRequested_ = active;
}

void TCustomComPort::Loaded()
{
    loading_ = false;
    SetActive(activeRequested_);
}

void TCustomComPort::Open()
{
    if (Active())
        return;
    if (beforeOpen_)
        Fire(beforeOpen_);
    OpenDevice();
    if (Active() && afterOpen_)
        Fire(afterOpen_);
}

void TCustomComPort::Close()
{
    if (TComThread* thread = TComThread::Current(); thread && thread->Serves(*this)) {
        thread->CloseOnUiThread();
        return;
    }
    if (!Active())
        return;
    if (beforeClose_)
        Fire(beforeClose_);
    CloseDevice();
    if (!Active() && afterClose_)
        Fire(afterClose_);
}

void TCustomComPort::OpenDevice()
{
    CloseDevice();
    platform::SetLastError(0);
    try {
        if (priorityClass_ != pcDefault) {
            priorityChange_ = platform::ChangeProcessPriority(static_cast<std::int32_t>(PriorityClassValue(priorityClass_)));
            if (!priorityChange_) {
                // Closing must give the process its priority back; a change
                // that could not be undone is not made.
                const int code = platform::LastError();
                platform::SetLastError(0);
                RaiseComError(code, std::string("Can't apply PriorityClass ") + PriorityClassName(priorityClass_) +
                                        ": the process could not get its priority back on close: " +
                                        platform::SystemMessage(code));
            }
        }
        CheckResult(Device().Open(deviceName_));
        AbortAndClearInput();
        AbortAndClearOutput();
        ApplyBufferSizes();
        ApplySettings();
        ApplyTimeouts();
        UpdateEventMask();
    } catch (...) {
        CloseDevice();
        throw;
    }
}

void TCustomComPort::CloseDevice()
{
    StopEventThread();
    if (device_)
        device_->Close();
    driverMask_ = 0;
    readRequested_ = 0;
    writeRequested_ = 0;
    priorityChange_.reset();
}

void TCustomComPort::ApplySettings()
{
    if (!Active())
        return;
    TDcb dcb;
    dcb.DCBlength = kDcbLength;
    CheckResult(Device().GetCommState(dcb));
    FillDeviceControlBlock(dcb);
    if (Device().SetCommState(dcb))
        return;
    // A setting this port cannot honour is refused by name, never kept
    // silently: the user would believe the line runs as set.
    const std::string refused = Device().RefusedSetting();
    const int code = platform::LastError();
    if (refused.empty() || code == 0) {
        CheckResult(false);
        return;
    }
    platform::SetLastError(0);
    RaiseComError(code, "Can't apply " + refused + " on this port: " + platform::SystemMessage(code), refused);
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!Active())
        return;
    CheckResult(Device().SetupComm(bufferSizes_->Input(), bufferSizes_->Output()));
}

void TCustomComPort::ApplyTimeouts()
{
    if (!Active())
        return;
    TCommTimeouts t;
    CheckResult(Device().GetCommTimeouts(t));
    t.ReadIntervalTimeout = static_cast<std::uint32_t>(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_->ReadMultiplier());
    t.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_->ReadConstant());
    t.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_->WriteMultiplier());
    t.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_->WriteConstant());
    CheckResult(Device().SetCommTimeouts(t));
}

void TCustomComPort::RequireOpen() const
{
    if (!Active())
        RaiseComError(0, kMsgClosedPort);
}

void TCustomComPort::RequireClosed() const
{
    if (Active())
        RaiseComError(0, kMsgOpenPort);
}

void TCustomComPort::CheckResult(bool ok) const
{
    if (ok)
        return;
    const int code = platform::LastError();
    if (code == 0 || code == platform::kErrorIoPending)
        return;
    platform::SetLastError(0);
    RaiseComError(code, platform::SystemMessage(code));
}

void TCustomComPort::RaiseComError(std::int32_t code, const std::string& message,
                                   const std::string& refusedSetting) const
{
    const EComError error(code, message, refusedSetting);
    TComAction action = caRaise;
    if (const TComErrorEvent handler = onError_)
        handler(const_cast<TCustomComPort*>(this)->Sender(), error, action);
    if (action == caAbort)
        throw EAbort();
    throw error;
}

void TCustomComPort::ListPorts(std::vector<std::string>& names)
{
    platform::ListSerialDevices(names);
}

} // namespace lk58

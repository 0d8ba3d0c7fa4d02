#pragma once

#include "core/bytes.h"
#include "serial/eventhandler.h"
#include "serial/comgroups.h"
#include "serial/comtypes.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace lk58 {

namespace platform {
class TPriorityChange;
class TSerialDevice;
}

class TComPort;
class TComThread;

// The serial port's error: the system's text and its error code, or code 0
// for the port's own messages.
class EComError : public std::runtime_error {
public:
    EComError(std::int32_t code, const std::string& message, const std::string& refusedSetting = {})
        : std::runtime_error(message), code_(code), refused_(refusedSetting)
    {
    }
    std::int32_t ErrorCode() const { return code_; }
    // The line setting the port's driver would not keep ("BaudRate"), when
    // that is the error: the port opened, but it cannot run the line as set.
    const std::string& RefusedSetting() const { return refused_; }

private:
    std::int32_t code_;
    std::string refused_;
};

using TNotifyEvent = TEvent<TComPort&>;
using TOpenCloseEvent = TEvent<TComPort&>;
using TLineErrorEvent = TEvent<TComPort&, TLineErrors>;
using TComErrorEvent = TEvent<TComPort&, const EComError&, TComAction&>;
// Sender, Buffer, Length, WaitOnCompletion, as the read or write received them.
using TReadWriteEvent = TEvent<TComPort&, const void*, std::int32_t, bool>;

extern const char* const kMsgClosedPort;
extern const char* const kMsgOpenPort;
extern const char* const kMsgNoThread;
extern const char* const kMsgTimeout;

// A serial port: its line settings, opening and closing, an event thread
// that hands line events to the user-interface thread, overlapped reads and
// writes, purges and the list of the machine's ports. Everything but the
// event thread runs on the user-interface thread.
class TCustomComPort : public QObject {
public:
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;
    ~TCustomComPort() override;

    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& name);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate rate);
    // The rate in bits per second that the port uses: the custom value with
    // brCustom, else the table value of BaudRate (0 for brDefault).
    std::int32_t CustomBaudRate() const;
    void SetCustomBaudRate(std::int32_t rate);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits bits);
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits bits);
    TOptions Options() const { return options_; }
    void SetOptions(TOptions options);
    TFlowControl& FlowControl() { return *flowControl_; }
    const TFlowControl& FlowControl() const { return *flowControl_; }
    TCharacters& Characters() { return *characters_; }
    const TCharacters& Characters() const { return *characters_; }
    TBufferSizes& BufferSizes() { return *bufferSizes_; }
    const TBufferSizes& BufferSizes() const { return *bufferSizes_; }
    TTimeouts& Timeouts() { return *timeouts_; }
    const TTimeouts& Timeouts() const { return *timeouts_; }
    TPriorityClass PriorityClass() const { return priorityClass_; }
    void SetPriorityClass(TPriorityClass priority);
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(TThreadPriority priority);
    bool SynchronizeEvents() const { return synchronizeEvents_; }
    void SetSynchronizeEvents(bool synchronize);

    bool Active() const;
    void SetActive(bool active);
    bool ActiveRequested() const { return activeRequested_; }
    // Loading a stored description: Active is applied when loading ends.
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool Loading() const { return loading_; }

    void Open();
    void Close();
    virtual void OpenDevice();
    void CloseDevice();
    void ApplySettings();
    void ApplyBufferSizes();
    void ApplyTimeouts();
    void RequireOpen() const;
    void RequireClosed() const;
    // The gate of every platform call: raises the platform error when ok is
    // false, unless the error code says "none" or "still under way".
    void CheckResult(bool ok) const;
    // Raises EComError through OnError (or EAbort when OnError asks for it).
    [[noreturn]] void RaiseComError(std::int32_t code, const std::string& message,
                                    const std::string& refusedSetting = {}) const;
    // Writes the settings into a line state record that the driver reported.
    void FillDeviceControlBlock(TDcb& dcb) const;

    // Reading, writing, purging (lengths in bytes).
    void Read(void* buffer, std::int32_t length, bool waitOnCompletion);
    void Write(const void* buffer, std::int32_t length, bool waitOnCompletion);
    void WaitReadDone();
    void WaitWriteDone();
    bool ReadPending() const;
    bool WritePending() const;
    // Replaces bytes with everything now waiting in the input queue.
    void ReadAvailable(Bytes& bytes);
    // Starts writing bytes and returns; they must stay unchanged until
    // WaitWriteDone (or the next write) has returned.
    void BeginWrite(const Bytes& bytes);
    std::uint32_t InputCount();
    void CheckLineErrors();
    void AbortAndClearInput();
    void AbortAndClearOutput();
    void ClearInput();
    void ClearOutput();
    TModemStatus ModemStatus();

    // Appends the full names of the machine's serial ports, in name order.
    static void ListPorts(std::vector<std::string>& names);

    // Event mask of the assigned handlers, and the one last given to the
    // driver (0 while closed).
    std::uint32_t HandlerEventMask() const;
    std::uint32_t DriverEventMask() const { return driverMask_; }
    bool EventThreadRunning() const { return static_cast<bool>(eventThread_); }
    void UpdateEventMask();
    void StartEventThread();
    void StopEventThread();

    // The event handlers: assigning one that is not already there updates
    // the driver's event mask (and starts or stops the event thread).
    const TNotifyEvent& OnBreak() const { return onBreak_; }
    void SetOnBreak(TNotifyEvent handler) { SetHandler(onBreak_, std::move(handler)); }
    const TNotifyEvent& OnCTSChange() const { return onCTSChange_; }
    void SetOnCTSChange(TNotifyEvent handler) { SetHandler(onCTSChange_, std::move(handler)); }
    const TNotifyEvent& OnDSRChange() const { return onDSRChange_; }
    void SetOnDSRChange(TNotifyEvent handler) { SetHandler(onDSRChange_, std::move(handler)); }
    const TLineErrorEvent& OnLineError() const { return onLineError_; }
    void SetOnLineError(TLineErrorEvent handler) { SetHandler(onLineError_, std::move(handler)); }
    const TNotifyEvent& OnEvent1() const { return onEvent1_; }
    void SetOnEvent1(TNotifyEvent handler) { SetHandler(onEvent1_, std::move(handler)); }
    const TNotifyEvent& OnEvent2() const { return onEvent2_; }
    void SetOnEvent2(TNotifyEvent handler) { SetHandler(onEvent2_, std::move(handler)); }
    const TNotifyEvent& OnPrinterError() const { return onPrinterError_; }
    void SetOnPrinterError(TNotifyEvent handler) { SetHandler(onPrinterError_, std::move(handler)); }
    const TNotifyEvent& OnRing() const { return onRing_; }
    void SetOnRing(TNotifyEvent handler) { SetHandler(onRing_, std::move(handler)); }
    const TNotifyEvent& OnRLSDChange() const { return onRLSDChange_; }
    void SetOnRLSDChange(TNotifyEvent handler) { SetHandler(onRLSDChange_, std::move(handler)); }
    const TNotifyEvent& OnRx80PercFull() const { return onRx80PercFull_; }
    void SetOnRx80PercFull(TNotifyEvent handler) { SetHandler(onRx80PercFull_, std::move(handler)); }
    const TNotifyEvent& OnRxChar() const { return onRxChar_; }
    void SetOnRxChar(TNotifyEvent handler) { SetHandler(onRxChar_, std::move(handler)); }
    const TNotifyEvent& OnRxFlag() const { return onRxFlag_; }
    void SetOnRxFlag(TNotifyEvent handler) { SetHandler(onRxFlag_, std::move(handler)); }
    const TNotifyEvent& OnTxEmpty() const { return onTxEmpty_; }
    void SetOnTxEmpty(TNotifyEvent handler) { SetHandler(onTxEmpty_, std::move(handler)); }

    // The hooks: stored, nothing else.
    const TOpenCloseEvent& BeforeOpen() const { return beforeOpen_; }
    void SetBeforeOpen(TOpenCloseEvent hook) { beforeOpen_ = std::move(hook); }
    const TOpenCloseEvent& AfterOpen() const { return afterOpen_; }
    void SetAfterOpen(TOpenCloseEvent hook) { afterOpen_ = std::move(hook); }
    const TOpenCloseEvent& BeforeClose() const { return beforeClose_; }
    void SetBeforeClose(TOpenCloseEvent hook) { beforeClose_ = std::move(hook); }
    const TOpenCloseEvent& AfterClose() const { return afterClose_; }
    void SetAfterClose(TOpenCloseEvent hook) { afterClose_ = std::move(hook); }
    const TComErrorEvent& OnError() const { return onError_; }
    void SetOnError(TComErrorEvent hook) { onError_ = std::move(hook); }
    const TReadWriteEvent& BeforeRead() const { return beforeRead_; }
    void SetBeforeRead(TReadWriteEvent hook) { beforeRead_ = std::move(hook); }
    const TReadWriteEvent& AfterRead() const { return afterRead_; }
    void SetAfterRead(TReadWriteEvent hook) { afterRead_ = std::move(hook); }
    const TReadWriteEvent& BeforeWrite() const { return beforeWrite_; }
    void SetBeforeWrite(TReadWriteEvent hook) { beforeWrite_ = std::move(hook); }
    const TReadWriteEvent& AfterWrite() const { return afterWrite_; }
    void SetAfterWrite(TReadWriteEvent hook) { afterWrite_ = std::move(hook); }

protected:
    explicit TCustomComPort(QObject* owner = nullptr);
    // The platform device behind the port; tests may put a decorator here.
    virtual std::unique_ptr<platform::TSerialDevice> CreateDevice();

private:
    friend class TComThread;

    // An event handler and its bit of the driver's event mask.
    struct THandlerRow {
        std::uint32_t bit;
        TNotifyEvent TCustomComPort::*notify; // none for OnLineError
    };
    static std::span<const THandlerRow> Handlers();
    bool Assigned(const THandlerRow& row) const;

    template <class Event>
    void SetHandler(Event& field, Event handler)
    {
        if (handler == field)
            return;
        field = std::move(handler);
        UpdateEventMask();
    }
    TComPort& Sender();
    void Fire(const TOpenCloseEvent& hook);
    platform::TSerialDevice& Device();
    const platform::TSerialDevice* DeviceIfAny() const { return device_.get(); }
    void HandleWakes(std::uint32_t wakes, const TComThread& caller);
    void DispatchEvents(std::uint32_t occurred, const TComThread& caller);
    void RaiseThreadError(int code);
    void AwaitHandlerThreads();
    void CallRead(const TReadWriteEvent& hook, const void* buffer, std::int32_t length, bool wait);
    void Purge(std::uint32_t flags);

    std::string deviceName_ = "COM1";
    TBaudRate baudRate_ = brDefault;
    std::int32_t customBaudRate_ = 0;
    TDataBits dataBits_ = dbDefault;
    TParity parity_ = paDefault;
    TStopBits stopBits_ = sbDefault;
    TOptions options_;
    std::unique_ptr<TFlowControl> flowControl_;
    std::unique_ptr<TCharacters> characters_;
    std::unique_ptr<TBufferSizes> bufferSizes_;
    std::unique_ptr<TTimeouts> timeouts_;
    TPriorityClass priorityClass_ = pcDefault;
    TThreadPriority threadPriority_ = tpTimeCritical;
    bool synchronizeEvents_ = true;
    bool activeRequested_ = false;
    bool loading_ = false;
    std::unique_ptr<platform::TPriorityChange> priorityChange_; // undone on close
    std::uint32_t readRequested_ = 0;
    std::uint32_t writeRequested_ = 0;
    std::uint32_t driverMask_ = 0;
    std::unique_ptr<platform::TSerialDevice> device_;
    std::shared_ptr<TComThread> eventThread_;
    std::vector<std::weak_ptr<TComThread>> handlerThreads_; // threads that ran handlers themselves

    TNotifyEvent onBreak_, onCTSChange_, onDSRChange_, onEvent1_, onEvent2_,
        onPrinterError_, onRing_, onRLSDChange_, onRx80PercFull_, onRxChar_,
        onRxFlag_, onTxEmpty_;
    TLineErrorEvent onLineError_;
    TOpenCloseEvent beforeOpen_, afterOpen_, beforeClose_, afterClose_;
    TComErrorEvent onError_;
    TReadWriteEvent beforeRead_, afterRead_, beforeWrite_, afterWrite_;
};

// The port as the program uses it.
class TComPort : public TCustomComPort {
public:
    explicit TComPort(QObject* owner = nullptr) : TCustomComPort(owner) {}
};

} // namespace lk58

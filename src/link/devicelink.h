#pragma once

#include "link/replystate.h"
#include "core/bytes.h"
#include "serial/comport.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

namespace lk58 {

// The converter's request/reply exchanges over a serial port, on the thread
// of the Qt event loop (the UI thread). One exchange at a time: each one
// sends its request, then waits for the reply by processing every event
// except user input, so the receive handler and the tick timer run while no
// user action can start a second exchange; input that arrives meanwhile is
// delivered after the exchange.
//
// The reply state (ReplyMode, ExpectedTag, RxBuffer, CrcAccumulator,
// ReplyOk, PingOk) is public: after a successful ReadAll(), RxBuffer starts
// with the 131-byte reply (Reply()) for the loader to decode in place.
//
// The reply is found wherever it starts among the bytes that came after
// the request (TReplyState::Collect): a late or surplus reply of an earlier
// exchange, or a stray byte, in front of it costs nothing. Each attempt
// also throws away what is waiting in the port's input before its request
// goes out; a late reply to the same request that arrives while the next
// attempt waits still counts. After a failed exchange, Damaged() tells a
// reply with a bad checksum from none. SetTrace() hears every request and
// reply.
//
// The port must outlive the link; the link assigns the port's OnRxChar and
// OnLineError and unassigns them when destroyed.
class TDeviceLink : public QObject, public TReplyState {
    Q_OBJECT
public:
    explicit TDeviceLink(TComPort& port, QObject* parent = nullptr);
    ~TDeviceLink() override;

    // Each exchange returns true when the converter gave a valid reply.
    // Port errors while sending propagate as EComError, ending the exchange
    // at once (a port that is not open raises one too). A port that closes
    // during the exchange (the device vanished) ends it with false, as a
    // lost converter. Called while another exchange waits (from a timer or
    // a queued call: user input cannot reach it), an exchange raises
    // EAbort, the silent abort, and leaves the running exchange untouched.
    bool Ping();
    bool ReadAll();
    bool SendInt(std::int32_t number, std::int32_t value);  // 16-bit parameter
    bool SendLong(std::int32_t number, std::int32_t value); // 32-bit parameter
    // Writes `count` words of `text` to parameters first, first + 1, ...;
    // stops at the first word not acknowledged. True for count 0.
    bool SendString(const Bytes& text, std::uint8_t first, std::uint8_t count);

    bool Busy() const { return busy_; }

    // Remaining ticks (10 ms each) of the current reply wait; counts down to
    // -1 and stops there.
    std::int32_t TicksLeft() const { return ticksLeft_; }

    // Ticks the reply wait; enabled only while a wait runs.
    QTimer TmrTimeOut;

    // Handlers: the port's received-data and line-error events, the tick.
    void ComPortRxChar(TComPort& sender);
    void ComPortLineError(TComPort& sender, TLineErrors errors);
    void TmrTimeOutTimer();

private:
    // One exchange kind: reply mode, pause before each send (ms), ticks per
    // attempt, attempts at most.
    struct TExchangeKind {
        std::int32_t Mode;
        unsigned PauseMs;
        std::int32_t Ticks;
        int Attempts;
    };
    static constexpr TExchangeKind kPing{kModePing, 25, 15, 10};
    static constexpr TExchangeKind kReadAll{kModeReadAll, 0, 150, 1};
    static constexpr TExchangeKind kWrite16{kModeWrite, 25, 15, 10};
    static constexpr TExchangeKind kWrite32{kModeWrite, 25, 50, 1};
    static constexpr int kTickMs = 10;

    bool Run(const TExchangeKind& kind, const Bytes& request, std::int32_t tag);
    void Attempt(const TExchangeKind& kind, const Bytes& request);
    void WaitReply();

    TComPort& port_;
    std::int32_t ticksLeft_ = 0;
    bool busy_ = false;
};

} // namespace lk58

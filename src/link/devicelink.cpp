#include "link/devicelink.h"

#include "link/frame.h"
#include "core/apperror.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace lk58 {

namespace {

// Marks the link busy for one exchange. On the way out, however it ends,
// the event dispatcher is woken: user input held back during the wait is
// then delivered at once instead of at the dispatcher's next idle wake-up.
class TExchangeScope {
public:
    explicit TExchangeScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~TExchangeScope()
    {
        busy_ = false;
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance())
            d->wakeUp();
    }
    TExchangeScope(const TExchangeScope&) = delete;
    TExchangeScope& operator=(const TExchangeScope&) = delete;

private:
    bool& busy_;
};

// Ends the reply wait's current processEvents() now that its condition
// holds. Qt's Windows dispatcher runs posted events (the ticks) first and
// then blocks for the next window message, so a wait whose time has just
// run out would otherwise notice only at the next tick.
// A wake-up, unlike interrupt(), leaves nothing behind: an interrupted
// Windows dispatcher makes its next processEvents(), whoever calls it,
// return without looking at its messages (held-back input among them).
void WakeWait(const QObject& waiter)
{
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(waiter.thread()))
        d->wakeUp();
}

// Runs the tick timer for one reply wait and stops it on every way out.
class TTimerRun {
public:
    explicit TTimerRun(QTimer& timer) : timer_(timer) { timer_.start(); }
    ~TTimerRun() { timer_.stop(); }
    TTimerRun(const TTimerRun&) = delete;
    TTimerRun& operator=(const TTimerRun&) = delete;

private:
    QTimer& timer_;
};

} // namespace

TDeviceLink::TDeviceLink(TComPort& port, QObject* parent) : QObject(parent), port_(port)
{
    TmrTimeOut.setInterval(kTickMs);
    TmrTimeOut.setTimerType(Qt::PreciseTimer);
    connect(&TmrTimeOut, &QTimer::timeout, this, [this] { Guarded([this] { TmrTimeOutTimer(); }); });
    port_.SetOnRxChar(TNotifyEvent(this, &TDeviceLink::ComPortRxChar));
    port_.SetOnLineError(TLineErrorEvent(this, &TDeviceLink::ComPortLineError));
}

TDeviceLink::~TDeviceLink()
{
    // Only our own handlers are taken back; a failing port must not make
    // the destructor throw.
    Guarded([this] {
        if (port_.OnRxChar() == TNotifyEvent(this, &TDeviceLink::ComPortRxChar))
            port_.SetOnRxChar(TNotifyEvent());
        if (port_.OnLineError() == TLineErrorEvent(this, &TDeviceLink::ComPortLineError))
            port_.SetOnLineError(TLineErrorEvent());
    });
}

void TDeviceLink::TmrTimeOutTimer()
{
    if (ticksLeft_ >= 0)
        --ticksLeft_;
    if (ticksLeft_ == 0 && TmrTimeOut.isActive())
        WakeWait(*this);
}

void TDeviceLink::ComPortRxChar(TComPort& sender)
{
    Guarded([&] {
        // Idle before the first exchange: leave the bytes in the port.
        if (!Collecting())
            return;
        Bytes chunk;
        sender.ReadAvailable(chunk);
        Collect(chunk);
        // Handed to this thread, the bytes came as an event that ends the
        // wait's processEvents() by itself; the wake-up (a message, and a
        // timer of the dispatcher's, under Wine each a server round trip)
        // is for a handler that the port's own thread runs.
        if (AwaitedFlag() && TmrTimeOut.isActive() && QThread::currentThread() != thread())
            WakeWait(*this);
    });
}

void TDeviceLink::ComPortLineError(TComPort&, TLineErrors)
{
    // Framing, parity and overrun errors need no action of their own: a
    // reply damaged by them fails its checksum.
}

bool TDeviceLink::Ping()
{
    return Run(kPing, PingRequest(), 0);
}

bool TDeviceLink::ReadAll()
{
    return Run(kReadAll, ReadAllRequest(), 0);
}

bool TDeviceLink::SendInt(std::int32_t number, std::int32_t value)
{
    return Run(kWrite16, WriteRequest16(number, value), number);
}

bool TDeviceLink::SendLong(std::int32_t number, std::int32_t value)
{
    return Run(kWrite32, WriteRequest32(number, value), number);
}

bool TDeviceLink::SendString(const Bytes& text, std::uint8_t first, std::uint8_t count)
{
    const std::vector<std::uint16_t> words = TextWords(text, count);
    for (std::size_t k = 0; k < words.size(); ++k) {
        // Words already written stay written in the converter.
        if (!SendInt(first + static_cast<std::int32_t>(k), words[k]))
            return false;
    }
    return true;
}

bool TDeviceLink::Run(const TExchangeKind& kind, const Bytes& request, std::int32_t tag)
{
    if (busy_)
        throw EAbort();
    TExchangeScope scope(busy_);
    Arm(kind.Mode, tag);
    CrcAccumulator = Crc16(std::span(request).first(request.size() - 2));
    const bool& flag = AwaitedFlag();
    for (int attempt = 0; !flag && attempt < kind.Attempts; ++attempt) {
        // A vanished device closes the port during a wait: that is a lost
        // converter, not a reason to write to a closed port.
        if (attempt > 0 && !port_.Active())
            break;
        Attempt(kind, request);
    }
    return flag;
}

void TDeviceLink::Attempt(const TExchangeKind& kind, const Bytes& request)
{
    // The converter needs a quiet line before a request; nothing is
    // serviced during the pause.
    if (kind.PauseMs > 0)
        QThread::msleep(kind.PauseMs);
    // Nothing that came before the request can be its reply: the head of
    // an old reply waiting here could make a sound reply with bytes that
    // come after the request, one the converter never gave to it.
    Bytes waiting;
    port_.ReadAvailable(waiting);
    Discard(waiting);
    port_.BeginWrite(request);
    Trace(TTraffic::Request, request);
    port_.WaitWriteDone();
    ticksLeft_ = kind.Ticks;
    TTimerRun run(TmrTimeOut);
    WaitReply();
}

void TDeviceLink::WaitReply()
{
    // Sleeps until the next event; the tick guarantees a wake-up. Bytes of
    // a reply arrive as the port's received-data events. No user input is
    // processed, so no second exchange can start in here.
    const bool& flag = AwaitedFlag();
    while (!flag && ticksLeft_ > 0 && port_.Active())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents
                                        | QEventLoop::ExcludeUserInputEvents);
}

} // namespace lk58

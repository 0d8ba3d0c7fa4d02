// The serial port component on Win32, against the simulated converter on
// a Wine COM port (run by with-sim.sh).
#include "winport.h"

#include "link/frame.h"
#include "serial/comthread.h"

#include <QtTest>

#include <functional>

using namespace lk58;
using namespace lk58::test;

namespace {

const Bytes kPingReply = ShortReply(kPingCode, {'T', 'Q', '3', '6'});

// Sends a request and waits (at most 5 s) until the receiver holds
// replySize bytes; gives what it holds.
Bytes Exchange(TComPort& port, TReceiver& rx, const Bytes& request, std::size_t replySize)
{
    rx.received.clear();
    port.BeginWrite(request);
    port.WaitWriteDone();
    static_cast<void>(QTest::qWaitFor([&] { return rx.received.size() >= replySize; }, 5000)); // the caller compares
    return rx.received;
}

void OpenConverterPort(TComPort& port, const std::string& name)
{
    SetConverterLine(port);
    port.SetDeviceName(name);
    port.SetActive(true);
}

enum TChange { ch9600, chCustomRate, chDsrFlow, chDtrHandshake, chXOnXOffOutput };

void Apply(TComPort& port, TChange change)
{
    switch (change) {
    case ch9600: port.SetBaudRate(br9600); break;
    case chCustomRate: port.SetCustomBaudRate(12345); break;
    case chDsrFlow: port.SetOptions({opOutputDSRFlow}); break;
    case chDtrHandshake: port.FlowControl().SetDTR(dcHandshake); break;
    case chXOnXOffOutput: port.FlowControl().SetXOnXOff(xcOutput); break;
    }
}

// Whether the driver holds what the change asked for.
bool Holds(const TDcb& dcb, TChange change)
{
    switch (change) {
    case ch9600: return dcb.BaudRate == 9600;
    case chCustomRate: return dcb.BaudRate == 12345;
    case chDsrFlow: return dcb.Flags & kDcbOutxDsrFlow;
    case chDtrHandshake: return (dcb.Flags & kDcbDtrControlMask) == kDtrControlHandshake;
    case chXOnXOffOutput: return (dcb.Flags & (kDcbOutX | kDcbInX)) == kDcbOutX;
    }
    return false;
}

void VerifyConverterLine(const TDcb& dcb)
{
    QCOMPARE(dcb.BaudRate, 4800u);
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), int(kNoParity));
    QCOMPARE(int(dcb.StopBits), int(kOneStopBit));
    QCOMPARE(dcb.Flags & kDcbDtrControlMask, kDtrControlDisable);
    QCOMPARE(dcb.Flags & kDcbRtsControlMask, kRtsControlEnable);
    QCOMPARE(dcb.Flags & (kDcbOutX | kDcbInX | kDcbOutxCtsFlow | kDcbOutxDsrFlow), 0u);
}

} // namespace

Q_DECLARE_METATYPE(TChange)
Q_DECLARE_METATYPE(TPriorityClass)

class TstWinComPort : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!TestCom().empty(), "run through with-sim.sh"); }

    void init() { QTRY_COMPARE(TComThread::Running(), 0); }

    void open_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code"); // -1: opens
        const QString com = QString::fromStdString(TestCom());
        QTest::newRow("plain name") << com << -1;
        QTest::newRow("device namespace name") << "\\\\.\\" + com << -1;
        QTest::newRow("missing port") << "COM199" << int(ERROR_FILE_NOT_FOUND);
        QTest::newRow("missing port, device namespace") << "\\\\.\\COM199" << int(ERROR_FILE_NOT_FOUND);
    }

    void open()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        TProbePort port;
        int afterOpen = 0;
        port.SetAfterOpen([&](TComPort&) { ++afterOpen; });
        const auto [raised, message] = ComError([&] { OpenConverterPort(port, name.toStdString()); });
        QCOMPARE(raised, code);
        if (code != -1) {
            QCOMPARE(message, QString::fromStdString(platform::SystemMessage(code)));
            QVERIFY(!message.isEmpty());
            QVERIFY(!port.Active());
            QCOMPARE(afterOpen, 0);
            return;
        }
        QVERIFY(port.Active());
        QCOMPARE(afterOpen, 1);
        VerifyConverterLine(port.DriverState());
        // A pseudo-terminal has no modem lines: none reads as set.
        QCOMPARE(port.ModemStatus(), TModemStatus());
        port.SetActive(false);
        QVERIFY(!port.Active());
    }

    // A line setting takes effect on the open port at once, or the driver
    // that cannot keep it makes the port refuse it by name and leave the
    // line as it was. Wine on a pseudo-terminal keeps the standard rates and
    // XON/XOFF only.
    void lineSettings_data()
    {
        QTest::addColumn<TChange>("change");
        QTest::addColumn<bool>("wineKeeps");
        QTest::addColumn<QString>("setting");
        QTest::newRow("9600 baud") << ch9600 << true << "";
        QTest::newRow("XON/XOFF on output") << chXOnXOffOutput << true << "";
        QTest::newRow("custom rate") << chCustomRate << false << "BaudRate";
        QTest::newRow("DSR flow") << chDsrFlow << false << "opOutputDSRFlow";
        QTest::newRow("DTR handshake") << chDtrHandshake << false << "FlowControl.DTR";
    }

    void lineSettings()
    {
        QFETCH(TChange, change);
        QFETCH(bool, wineKeeps);
        QFETCH(QString, setting);
        TProbePort port;
        OpenConverterPort(port, TestCom());
        const auto [code, message] = ComError([&] { Apply(port, change); });
        if (wineKeeps || !UnderWine()) {
            QCOMPARE(code, -1);
            QVERIFY(Holds(port.DriverState(), change));
            return;
        }
        QCOMPARE(code, int(ERROR_NOT_SUPPORTED));
        QCOMPARE(message, "Can't apply " + setting + " on this port: " +
                              QString::fromStdString(platform::SystemMessage(ERROR_NOT_SUPPORTED)));
        QVERIFY(port.Active());
        VerifyConverterLine(port.DriverState());
    }

    // The driver keeps a port's line state from one program to the next;
    // XON/XOFF left on would swallow the 0x11 and 0x13 bytes of frames.
    void xonXoffNotInherited()
    {
        {
            TProbePort earlier;
            OpenConverterPort(earlier, TestCom());
            earlier.FlowControl().SetXOnXOff(xcOutput);
            QCOMPARE(earlier.DriverState().Flags & (kDcbOutX | kDcbInX), kDcbOutX);
        }
        TProbePort port;
        OpenConverterPort(port, TestCom());
        QCOMPARE(port.DriverState().Flags & (kDcbOutX | kDcbInX), 0u);
    }

    // The process runs in the port's priority class while the port is
    // open, and in its own again once it is closed.
    void priorityClass_data()
    {
        QTest::addColumn<TPriorityClass>("priority");
        QTest::addColumn<unsigned>("windowsClass");
        QTest::newRow("idle") << pcIdle << unsigned(IDLE_PRIORITY_CLASS);
        QTest::newRow("high") << pcHigh << unsigned(HIGH_PRIORITY_CLASS);
    }

    void priorityClass()
    {
        QFETCH(TPriorityClass, priority);
        QFETCH(unsigned, windowsClass);
        const DWORD before = ::GetPriorityClass(::GetCurrentProcess());
        TComPort port;
        port.SetPriorityClass(priority);
        OpenConverterPort(port, TestCom());
        QCOMPARE(unsigned(::GetPriorityClass(::GetCurrentProcess())), windowsClass);
        port.SetActive(false);
        QCOMPARE(::GetPriorityClass(::GetCurrentProcess()), before);
    }

    void receivedDataOnUiThread()
    {
        TComPort port;
        TReceiver rx;
        port.SetOnRxChar(TNotifyEvent(&rx, &TReceiver::ComPortRxChar));
        OpenConverterPort(port, TestCom());
        QCOMPARE(Exchange(port, rx, PingRequest(), kShortReplySize), kPingReply);
        QVERIFY(!rx.offUiThread);
    }

    // Every byte value crosses both ways unchanged: written into the
    // converter's settings words, read back in its read-all reply.
    void bytesCrossUnchanged()
    {
        TComPort port;
        TReceiver rx;
        port.SetOnRxChar(TNotifyEvent(&rx, &TReceiver::ComPortRxChar));
        OpenConverterPort(port, TestCom());
        constexpr int kWords = 62; // words 63 and 64 take a 32-bit write
        for (int round = 0; round < 3; ++round) {
            Bytes sent;
            for (int n = 1; n <= kWords; ++n) {
                const std::uint8_t high = std::uint8_t(round * 2 * kWords + 2 * n - 2);
                const std::uint8_t low = std::uint8_t(high + 1);
                sent.push_back(high);
                sent.push_back(low);
                const Bytes ack = Exchange(port, rx, WriteRequest16(n, high << 8 | low), kShortReplySize);
                QCOMPARE(ack, ShortReply(std::uint8_t(n - 1)));
            }
            const Bytes reply = Exchange(port, rx, ReadAllRequest(), kReadAllReplySize);
            QCOMPARE(reply.size(), kReadAllReplySize);
            QVERIFY(ChecksumValid(reply));
            QCOMPARE(Bytes(reply.begin() + 1, reply.begin() + 1 + sent.size()), sent);
        }
    }

    void purge_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<unsigned>("left");
        QTest::newRow("ClearInput") << 0 << 0u;
        QTest::newRow("AbortAndClearInput") << 1 << 0u;
        QTest::newRow("ClearOutput") << 2 << unsigned(kShortReplySize);
        QTest::newRow("AbortAndClearOutput") << 3 << unsigned(kShortReplySize);
    }

    void purge()
    {
        QFETCH(int, which);
        QFETCH(unsigned, left);
        TComPort port;
        OpenConverterPort(port, TestCom());
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        QTRY_COMPARE(port.InputCount(), unsigned(kShortReplySize));
        const std::function<void()> purges[] = {[&] { port.ClearInput(); }, [&] { port.AbortAndClearInput(); },
                                                [&] { port.ClearOutput(); }, [&] { port.AbortAndClearOutput(); }};
        purges[which]();
        QCOMPARE(port.InputCount(), left);
        Bytes rest;
        port.ReadAvailable(rest);
        QCOMPARE(rest, left ? kPingReply : Bytes());
    }

    // A read the driver refuses at once leaves nothing outstanding: the
    // next wait does not wait for it (for ever), and the port reads on.
    void refusedReadLeavesNothingOutstanding()
    {
        TComPort port;
        OpenConverterPort(port, TestCom());
        const int code = ComError([&] { port.Read(nullptr, int(kShortReplySize), false); }).first;
        QVERIFY2(code > 0, qPrintable(QString::number(code)));
        QVERIFY(!port.ReadPending());
        port.WaitReadDone();
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        QTRY_COMPARE(port.InputCount(), unsigned(kShortReplySize));
        Bytes reply;
        port.ReadAvailable(reply);
        QCOMPARE(reply, kPingReply);
    }

    // A read is pending while the driver still runs it, and not once it
    // is done: at once, for bytes that wait; as the bytes come; or ended
    // by a purge. A done read is not waited for, nor its count compared.
    void readPendingUntilDone_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("beforeRequest");
        QTest::newRow("the waiting reply: done at once") << int(kShortReplySize) << false;
        QTest::newRow("the reply to come: done as it comes") << int(kShortReplySize) << true;
        QTest::newRow("more than comes: running until purged") << 100 << true;
    }

    void readPendingUntilDone()
    {
        QFETCH(int, length);
        QFETCH(bool, beforeRequest);
        const bool whole = length == int(kShortReplySize);
        TComPort port;
        OpenConverterPort(port, TestCom());
        Bytes buffer(std::size_t(length), 0);
        if (beforeRequest) {
            port.Read(buffer.data(), length, false);
            QVERIFY(port.ReadPending());
        }
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        if (!beforeRequest) {
            QTRY_COMPARE(port.InputCount(), unsigned(kShortReplySize));
            port.Read(buffer.data(), length, false);
            QVERIFY(!port.ReadPending());
        }
        if (whole) {
            QTRY_VERIFY(!port.ReadPending());
        } else {
            QTest::qWait(300); // the reply has come, short of what the read waits for
            QVERIFY(port.ReadPending());
            port.AbortAndClearInput();
            QVERIFY(!port.ReadPending());
        }
        port.WaitReadDone();
        if (whole)
            QCOMPARE(buffer, kPingReply);
        Bytes reply;
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        QTRY_COMPARE(port.InputCount(), unsigned(kShortReplySize));
        port.ReadAvailable(reply);
        QCOMPARE(reply, kPingReply);
    }

    // Bytes left unread are reported once, not again and again (which
    // would keep the event thread busy), and new bytes are still reported
    // while they wait.
    void unreadBytesNoBusyLoop()
    {
        TComPort port;
        TReceiver rx;
        rx.reading = false;
        port.SetOnRxChar(TNotifyEvent(&rx, &TReceiver::ComPortRxChar));
        OpenConverterPort(port, TestCom());
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        QTRY_COMPARE(port.InputCount(), unsigned(kShortReplySize));
        QTRY_VERIFY(rx.calls >= 1);
        QTest::qWait(100);
        const int reported = rx.calls;
        QTest::qWait(500);
        QCOMPARE(rx.calls, reported);
        port.BeginWrite(PingRequest());
        port.WaitWriteDone();
        QTRY_COMPARE(port.InputCount(), unsigned(2 * kShortReplySize));
        QTRY_VERIFY(rx.calls > reported);
    }

    // Closing while the event thread waits frees the port at once: it
    // reopens and answers, again and again.
    void closeAndReopen()
    {
        TComPort port;
        TReceiver rx;
        port.SetOnRxChar(TNotifyEvent(&rx, &TReceiver::ComPortRxChar));
        for (int i = 0; i < 5; ++i) {
            OpenConverterPort(port, TestCom());
            QCOMPARE(Exchange(port, rx, PingRequest(), kShortReplySize), kPingReply);
            port.SetActive(false);
            QVERIFY(!port.Active());
        }
    }

    void heldPort()
    {
        if (UnderWine())
            QSKIP("Wine lets a second handle open a COM port that is open");
        TComPort first, second;
        OpenConverterPort(first, TestCom());
        const auto [code, message] = ComError([&] { OpenConverterPort(second, TestCom()); });
        QCOMPARE(code, int(ERROR_ACCESS_DENIED));
        QVERIFY(platform::IsBusyError(code));
        QCOMPARE(message, QString::fromStdString(platform::SystemMessage(ERROR_ACCESS_DENIED)));
        QVERIFY(!second.Active());
        QVERIFY(first.Active());
    }

    // Last: the converter goes away. The event thread reports the vanished
    // line through OnError and the port closes on the user-interface thread.
    void hangUpClosesPort()
    {
        TComPort port;
        TReceiver rx;
        int code = 0, closes = 0;
        QString message;
        bool onUiThread = false;
        port.SetOnRxChar(TNotifyEvent(&rx, &TReceiver::ComPortRxChar));
        port.SetOnError([&](TComPort&, const EComError& e, TComAction&) {
            code = e.ErrorCode();
            message = QString::fromStdString(e.what());
            onUiThread = QThread::currentThread() == qApp->thread();
        });
        port.SetAfterClose([&](TComPort&) { ++closes; });
        OpenConverterPort(port, TestCom());
        HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!port.Active(), 10000);
        QVERIFY2(platform::IsVanishedError(code), qPrintable(QString::number(code)));
        QCOMPARE(message, QString::fromStdString(platform::SystemMessage(code)));
        QVERIFY(onUiThread);
        QCOMPARE(closes, 1);
        QTRY_COMPARE(TComThread::Running(), 0);
    }
};

QTEST_GUILESS_MAIN(TstWinComPort)
#include "tst_wincomport.moc"

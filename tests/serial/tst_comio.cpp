#include "ptypair.h"
#include "testport.h"

#include "serial/comport.h"

#include <QtTest>

#include <cerrno>
#include <functional>

using namespace lk58;

Q_DECLARE_METATYPE(std::function<void(lk58::TComPort&)>)

namespace {

using TOperation = std::function<void(TComPort&)>;

void OpenOn(TComPort& port, const TPtyPair& pty)
{
    port.SetDeviceName(pty.SlavePath());
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.SetActive(true);
}

// Waits until the port's input queue holds count bytes.
bool WaitForInput(TComPort& port, std::uint32_t count)
{
    QDeadlineTimer deadline(2000);
    while (port.InputCount() < count && !deadline.hasExpired())
        QThread::msleep(2);
    return port.InputCount() == count;
}

} // namespace

class TstComIo : public QObject {
    Q_OBJECT
private slots:
    void readAvailableGivesWaitingBytes()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        pty.Write({0xFF, 0x00, 0x0D, 0x0A, 0x11});
        QVERIFY(WaitForInput(port, 5));
        Bytes bytes{0x99};
        port.ReadAvailable(bytes);
        QCOMPARE(bytes, Bytes({0xFF, 0x00, 0x0D, 0x0A, 0x11}));
        QCOMPARE(port.InputCount(), 0u);
    }

    void readAvailableWhenEmpty()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        QList<int> lengths;
        port.SetBeforeRead([&](TComPort&, const void*, std::int32_t n, bool wait) { lengths << n << wait; });
        port.SetAfterRead([&](TComPort&, const void*, std::int32_t n, bool wait) { lengths << n << wait; });
        Bytes bytes{0x01, 0x02};
        port.ReadAvailable(bytes);
        QVERIFY(bytes.empty());
        QCOMPARE(lengths, QList<int>({0, 1, 0, 1}));
    }

    void writeReachesDevice()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        const Bytes frame{0x05, 0x00, 0x2A, 0x00, 0x01, 0xC1, 0x5E};
        port.BeginWrite(frame);
        port.WaitWriteDone();
        QVERIFY(!port.WritePending());
        QCOMPARE(pty.Read(7), frame);
        // A second write first finishes the one before.
        port.BeginWrite({0xFF, 0x01, 0x02});
        port.BeginWrite({0xFE, 0x03, 0x04});
        port.WaitWriteDone();
        QCOMPARE(pty.Read(6), Bytes({0xFF, 0x01, 0x02, 0xFE, 0x03, 0x04}));
        port.BeginWrite({}); // nothing to send: only the line errors are checked
        port.WaitWriteDone();
        QCOMPARE(pty.Read(1, 50), Bytes());
    }

    // A driver's empty output queue does not mean the bytes have left (a
    // UART's FIFO, a USB adapter's transfers): the write is drained unless
    // the driver reports its transmitter empty.
    void writeDoneWaitsUntilBytesLeft_data()
    {
        QTest::addColumn<int>("transmitter");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<int>("drains");
        QTest::newRow("no transmitter report") << -1 << true << 1;
        QTest::newRow("transmitter still sending") << 0 << true << 1;
        QTest::newRow("transmitter empty") << 1 << false << 0;
    }
    void writeDoneWaitsUntilBytesLeft()
    {
        QFETCH(int, transmitter);
        QFETCH(bool, pending);
        QFETCH(int, drains);
        TPtyPair pty;
        TTestPort port;
        OpenOn(port, pty);
        port.injection->transmitter = transmitter;
        const Bytes frame{0x05, 0x00, 0x2A, 0x00, 0x01, 0xC1, 0x5E};
        port.BeginWrite(frame);
        QCOMPARE(pty.Read(7), frame); // through the queue, which now counts 0
        QCOMPARE(port.WritePending(), pending);
        port.WaitWriteDone();
        QCOMPARE(port.injection->drains.load(), drains);
        QVERIFY(!port.WritePending());
    }

    void purgesDropQueuedInput()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        pty.Write({0x01, 0x02, 0x03});
        QVERIFY(WaitForInput(port, 3));
        port.ClearInput();
        QCOMPARE(port.InputCount(), 0u);
        pty.Write({0x04});
        QVERIFY(WaitForInput(port, 1));
        port.AbortAndClearInput();
        port.AbortAndClearOutput();
        port.ClearOutput();
        QCOMPARE(port.InputCount(), 0u);
    }

    void closedPortOperations_data()
    {
        QTest::addColumn<TOperation>("operation");
        QTest::newRow("Read") << TOperation([](TComPort& p) { char b[4]; p.Read(b, 4, true); });
        QTest::newRow("Write") << TOperation([](TComPort& p) { p.Write("abcd", 4, true); });
        QTest::newRow("WaitReadDone") << TOperation([](TComPort& p) { p.WaitReadDone(); });
        QTest::newRow("WaitWriteDone") << TOperation([](TComPort& p) { p.WaitWriteDone(); });
        QTest::newRow("ReadAvailable") << TOperation([](TComPort& p) { Bytes b; p.ReadAvailable(b); });
        QTest::newRow("BeginWrite") << TOperation([](TComPort& p) { p.BeginWrite({0x01}); });
        QTest::newRow("CheckLineErrors") << TOperation([](TComPort& p) { p.CheckLineErrors(); });
        QTest::newRow("ModemStatus") << TOperation([](TComPort& p) { p.ModemStatus(); });
    }
    void closedPortOperations()
    {
        QFETCH(TOperation, operation);
        TComPort port;
        int seen = 0;
        port.SetOnError([&](TComPort&, const EComError&, TComAction&) { ++seen; });
        const auto [code, message] = ComError([&] { operation(port); });
        QCOMPARE(code, 0);
        QCOMPARE(message, QString("Can't perform this operation on a closed port"));
        QCOMPARE(seen, 1);
    }

    void closedPortPurgesAndCount()
    {
        TComPort port;
        port.AbortAndClearInput();
        port.AbortAndClearOutput();
        port.ClearInput();
        port.ClearOutput();
        // The count has no closed-port check: the platform call itself fails.
        const auto [code, message] = ComError([&] { port.InputCount(); });
        QCOMPARE(code, EBADF);
        QCOMPARE(message, QString("Bad file descriptor"));
    }

    void lineErrorSeenBeforeBytesRead()
    {
        TPtyPair pty;
        TTestPort port;
        OpenOn(port, pty);
        QStringList calls;
        port.SetOnLineError([&](TComPort&, TLineErrors e) {
            calls << QString("errors frame %1").arg(e.Contains(leFrame));
        });
        port.SetBeforeRead([&](TComPort&, const void*, std::int32_t n, bool) { calls << QString("read %1").arg(n); });
        pty.Write({0x00});
        QVERIFY(WaitForInput(port, 1));
        port.injection->lineErrors = kCeFrame;
        Bytes bytes;
        port.ReadAvailable(bytes);
        QCOMPARE(calls, QStringList({"errors frame 1", "read 1"}));
        QCOMPARE(bytes, Bytes({0x00}));
    }

    void modemStatus()
    {
        TPtyPair pty;
        TTestPort port;
        OpenOn(port, pty);
        QCOMPARE(port.ModemStatus(), TModemStatus()); // a pty has no modem lines
        port.injection->modemStatus = kMsCtsOn | kMsDsrOn;
        QCOMPARE(port.ModemStatus(), TModemStatus({msCTS, msDSR}));
    }

    void readTimeouts_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("multiplier");
        QTest::addColumn<int>("constant");
        QTest::addColumn<QString>("error");
        QTest::newRow("total constant") << 0 << 0 << 30 << "Timeout";
        QTest::newRow("total multiplier") << 0 << 10 << 0 << "Timeout";
        QTest::newRow("gap between bytes") << 30 << 0 << 0 << "Timeout";
        QTest::newRow("return at once") << -1 << 0 << 0 << "";
        QTest::newRow("first byte or constant") << -1 << -1 << 30 << "";
    }
    void readTimeouts()
    {
        QFETCH(int, interval);
        QFETCH(int, multiplier);
        QFETCH(int, constant);
        QFETCH(QString, error);
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        port.Timeouts().SetReadInterval(interval);
        port.Timeouts().SetReadMultiplier(multiplier);
        port.Timeouts().SetReadConstant(constant);
        pty.Write({0x01, 0x02});
        QVERIFY(WaitForInput(port, 2));
        Bytes buffer(5);
        const auto [code, message] = ComError([&] { port.Read(buffer.data(), 5, true); });
        QCOMPARE(message, error);
        QCOMPARE(code, error.isEmpty() ? -1 : 0);
        QCOMPARE(buffer, Bytes({0x01, 0x02, 0x00, 0x00, 0x00}));
        QCOMPARE(port.InputCount(), 0u);
    }

    void writeTimeout()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        port.Timeouts().SetWriteConstant(50);
        const Bytes block(1 << 20, 0x55); // more than the device side takes unread
        const auto [code, message] = ComError([&] { port.Write(block.data(), int(block.size()), true); });
        QCOMPARE(code, 0);
        QCOMPARE(message, QString("Timeout"));
        QVERIFY(!port.WritePending());
    }

    void outstandingReadCompletesLater()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        Bytes buffer(3);
        port.Read(buffer.data(), 3, false);
        QVERIFY(port.ReadPending());
        pty.Write({0x07, 0x08, 0x09});
        port.WaitReadDone();
        QVERIFY(!port.ReadPending());
        QCOMPARE(buffer, Bytes({0x07, 0x08, 0x09}));
    }
};

QTEST_GUILESS_MAIN(TstComIo)
#include "tst_comio.moc"

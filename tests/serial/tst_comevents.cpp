#include "ptypair.h"
#include "testport.h"

#include "core/apperror.h"
#include "core/synchronize.h"
#include "serial/comport.h"
#include "serial/comthread.h"

#include <QtTest>

#include <cerrno>
#include <future>
#include <thread>

using namespace lk58;

namespace {

// A receiver as the device link is: collects the bytes on each received-data event.
class TReceiver : public QObject {
public:
    Bytes received;
    int calls = 0;
    bool offUiThread = false;
    void ComPortRxChar(TComPort& port)
    {
        ++calls;
        offUiThread |= QThread::currentThread() != qApp->thread();
        Bytes chunk;
        port.ReadAvailable(chunk);
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
};

void OpenOn(TComPort& port, const TPtyPair& pty)
{
    port.SetDeviceName(pty.SlavePath());
    port.SetBaudRate(br4800);
    port.SetActive(true);
}

// Lets the event thread and the event queue run for ms milliseconds.
void Settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace

class TstComEvents : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QTRY_COMPARE(TComThread::Running(), 0); // no thread left from an earlier case
    }

    void receivedDataOnUiThread()
    {
        TPtyPair pty;
        TComPort port;
        TReceiver link;
        port.SetOnRxChar(TNotifyEvent(&link, &TReceiver::ComPortRxChar));
        OpenOn(port, pty);
        pty.Write({0x01, 0x02});
        QTRY_COMPARE(link.received.size(), std::size_t(2));
        pty.Write({0x03, 0x04, 0x05});
        QTRY_COMPARE(link.received, Bytes({0x01, 0x02, 0x03, 0x04, 0x05}));
        QVERIFY(!link.offUiThread);
    }

    void eventMaskFollowsHandlers()
    {
        TPtyPair pty;
        TComPort port;
        TReceiver link;
        OpenOn(port, pty);
        QCOMPARE(port.DriverEventMask(), 0u);
        QVERIFY(!port.EventThreadRunning());
        QCOMPARE(TComThread::Running(), 0);

        port.SetOnRxChar(TNotifyEvent(&link, &TReceiver::ComPortRxChar));
        QCOMPARE(port.DriverEventMask(), 0x0001u);
        QTRY_COMPARE(TComThread::Running(), 1);
        port.SetOnLineError([](TComPort&, TLineErrors) {});
        QCOMPARE(port.DriverEventMask(), 0x0081u);
        port.SetOnRxChar(TNotifyEvent(&link, &TReceiver::ComPortRxChar)); // the same handler
        QCOMPARE(TComThread::Running(), 1);

        port.SetOnRxChar(TNotifyEvent());
        port.SetOnLineError(TLineErrorEvent());
        QCOMPARE(port.DriverEventMask(), 0u);
        QVERIFY(!port.EventThreadRunning());
        QTRY_COMPARE(TComThread::Running(), 0);
    }

    void programHandlersGiveMask0x81()
    {
        TPtyPair pty;
        TComPort port;
        TReceiver link;
        port.SetOnRxChar(TNotifyEvent(&link, &TReceiver::ComPortRxChar));
        port.SetOnLineError([](TComPort&, TLineErrors) {});
        OpenOn(port, pty);
        QCOMPARE(port.DriverEventMask(), 0x0081u);
        QTRY_COMPARE(TComThread::Running(), 1);
    }

    void lineErrorsDispatchedBeforeReceivedData()
    {
        TPtyPair pty;
        TTestPort port;
        QStringList calls;
        port.SetOnLineError([&](TComPort&, TLineErrors errors) {
            calls << QString("errors %1").arg(errors.Bits(), 0, 16);
        });
        port.SetOnRxChar([&](TComPort& p) {
            Bytes bytes;
            p.ReadAvailable(bytes);
            calls << QString("bytes %1").arg(bytes.size());
        });
        OpenOn(port, pty);
        port.injection->extraEvents = kEvErr;
        port.injection->lineErrors = kCeFrame;
        pty.Write({0x55, 0x56});
        QTRY_COMPARE(calls.size(), 2);
        Settle(50);
        QCOMPARE(calls, QStringList({"errors 4", "bytes 2"})); // bit 2: leFrame
    }

    void noEventWaitCannotCreateThread()
    {
        TPtyPair pty;
        TTestPort port;
        port.injection->noEventWait = true;
        port.SetOnRxChar([](TComPort&) {});
        port.SetDeviceName(pty.SlavePath());
        const auto [code, message] = ComError([&] { port.SetActive(true); });
        QCOMPARE(code, 0);
        QCOMPARE(message, QString("Can't create thread"));
        QVERIFY(!port.Active());
    }

    // The error box belongs to the user-interface thread, also for a
    // handler that runs on the event thread.
    void handlerErrorShownOnceAndEventsGoOn_data()
    {
        QTest::addColumn<bool>("synchronize");
        QTest::newRow("handlers on the UI thread") << true;
        QTest::newRow("handlers on the event thread") << false;
    }
    void handlerErrorShownOnceAndEventsGoOn()
    {
        QFETCH(bool, synchronize);
        TPtyPair pty;
        TComPort port;
        port.SetSynchronizeEvents(synchronize);
        QStringList shown;
        SetExceptionHandler([&](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                shown << QString("%1 on UI %2").arg(x.what()).arg(QThread::currentThread() == qApp->thread());
            }
        });
        std::atomic<int> calls = 0;
        port.SetOnRxChar([&](TComPort& p) {
            Bytes bytes;
            p.ReadAvailable(bytes);
            if (++calls == 1)
                throw std::runtime_error("handler failed");
        });
        OpenOn(port, pty);
        pty.Write({0x01});
        QTRY_COMPARE(calls.load(), 1);
        pty.Write({0x02});
        QTRY_COMPARE(calls.load(), 2);
        QCOMPARE(shown, QStringList({"handler failed on UI 1"}));
        SetExceptionHandler(nullptr);
    }

    // Destroying the port waits for a handler running on the event thread
    // (which uses the port) to end, running what it hands over meanwhile.
    void destroyedWhileHandlerRunsOnEventThread()
    {
        TPtyPair pty;
        std::promise<void> entered, release;
        std::atomic<bool> handlerDone{false};
        auto port = std::make_unique<TComPort>();
        port->SetSynchronizeEvents(false);
        port->SetOnRxChar([&](TComPort& p) {
            entered.set_value();
            release.get_future().wait();
            Bytes bytes;
            p.ReadAvailable(bytes);
            Synchronize([] {}); // a hand-over while the port is being destroyed
            handlerDone = true;
        });
        OpenOn(*port, pty);
        pty.Write({0x01});
        QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(2)), std::future_status::ready);
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            release.set_value();
        });
        port.reset();
        const bool doneFirst = handlerDone;
        releaser.join();
        QVERIFY(doneFirst);
        QTRY_COMPARE(TComThread::Running(), 0);
    }

    void unreadBytesDoNotSpin()
    {
        TPtyPair pty;
        TTestPort port;
        int calls = 0;
        port.SetOnRxChar([&](TComPort&) { ++calls; }); // leaves the bytes unread
        OpenOn(port, pty);
        Settle(50);
        QCOMPARE(port.injection->waits.load(), 0); // an idle port does not wake
        pty.Write({0x01, 0x02, 0x03});
        QTRY_COMPARE(calls, 1);
        Settle(200);
        QCOMPARE(calls, 1);
        QCOMPARE(port.injection->waits.load(), 1); // one wake for one arrival
        QCOMPARE(port.InputCount(), 3u);
        // New bytes fire again while the old ones are still waiting.
        pty.Write({0x04});
        QTRY_COMPARE(calls, 2);
        QCOMPARE(port.InputCount(), 4u);
    }

    void handlersOnEventThreadWhenNotSynchronized()
    {
        TPtyPair pty;
        TComPort port;
        port.SetSynchronizeEvents(false);
        std::promise<std::pair<bool, Bytes>> seen;
        port.SetOnRxChar([&](TComPort& p) {
            Bytes bytes;
            p.ReadAvailable(bytes);
            p.SetOnRxChar(TNotifyEvent()); // from the event thread: no more cycles
            seen.set_value({QThread::currentThread() == qApp->thread(), bytes});
        });
        OpenOn(port, pty);
        pty.Write({0x10, 0x20});
        auto result = seen.get_future();
        QCOMPARE(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        const auto [onUi, bytes] = result.get();
        QVERIFY(!onUi);
        QCOMPARE(bytes, Bytes({0x10, 0x20}));
        QTRY_COMPARE(TComThread::Running(), 0);
    }

    void closeFromEventThreadRunsOnUiThread()
    {
        TPtyPair pty;
        TComPort port;
        port.SetSynchronizeEvents(false);
        std::atomic<bool> closedOnUi{false};
        port.SetAfterClose([&](TComPort&) { closedOnUi = QThread::currentThread() == qApp->thread(); });
        port.SetOnRxChar([&](TComPort& p) { p.SetActive(false); });
        OpenOn(port, pty);
        pty.Write({0x01});
        QTRY_COMPARE(TComThread::Running(), 0);
        QVERIFY(closedOnUi);
        QVERIFY(!port.Active());
    }

    void outputEmptyAndInputNearlyFull()
    {
        TPtyPair pty;
        TComPort port;
        int empty = 0, full = 0;
        port.SetOnTxEmpty([&](TComPort&) { ++empty; });
        port.SetOnRx80PercFull([&](TComPort&) { ++full; });
        port.BufferSizes().SetInput(10);
        OpenOn(port, pty);
        QTRY_VERIFY(empty >= 1); // an idle line's output queue is empty
        pty.Write({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
        Settle(50);
        QCOMPARE(full, 0);
        pty.Write({0x08}); // 8 of 10 bytes
        QTRY_COMPARE(full, 1);
    }

    void handlerClosingPortEndsCycle()
    {
        TPtyPair pty;
        TComPort port;
        QStringList calls;
        port.SetOnLineError([&](TComPort&, TLineErrors) { calls << "errors"; });
        port.SetOnRxChar([&](TComPort& p) {
            calls << "rx";
            p.SetActive(false);
        });
        port.SetOnTxEmpty([&](TComPort&) { calls << "tx"; });
        OpenOn(port, pty);
        Settle(50);
        calls.clear();
        pty.Write({0x01});
        QTRY_VERIFY(!port.Active());
        Settle(50);
        QCOMPARE(calls, QStringList({"rx"}));
    }

    void writeAfterDeviceVanished()
    {
        TPtyPair pty;
        TComPort port;
        OpenOn(port, pty);
        pty.CloseMaster();
        try {
            port.BeginWrite({0x01, 0x02});
            port.WaitWriteDone();
            QFAIL("no error");
        } catch (const EComError& e) {
            QCOMPARE(e.ErrorCode(), EIO);
            QCOMPARE(QString(e.what()), QString("Input/output error"));
        }
        port.SetActive(false);
        QVERIFY(!port.Active());
    }

    void vanishedDeviceClosesPort()
    {
        TPtyPair pty;
        TComPort port;
        QStringList calls;
        bool offUiThread = false;
        port.SetOnRxChar([](TComPort&) {});
        port.SetOnError([&](TComPort& p, const EComError& e, TComAction&) {
            offUiThread |= QThread::currentThread() != qApp->thread();
            calls << QString("error %1 %2 open %3").arg(e.ErrorCode()).arg(e.what()).arg(p.Active());
        });
        port.SetBeforeClose([&](TComPort&) { calls << "BeforeClose"; });
        port.SetAfterClose([&](TComPort&) { calls << "AfterClose"; });
        OpenOn(port, pty);
        QTRY_COMPARE(TComThread::Running(), 1);
        pty.CloseMaster();
        QTRY_VERIFY(!port.Active());
        QCOMPARE(calls, QStringList({QString("error %1 Input/output error open 1").arg(EIO),
                                     "BeforeClose", "AfterClose"}));
        QVERIFY(!offUiThread);
        QTRY_COMPARE(TComThread::Running(), 0);
    }

    void failedWaitEndsEventsButPortStaysOpen()
    {
        TPtyPair pty;
        TTestPort port;
        QStringList errors;
        int calls = 0;
        port.SetOnRxChar([&](TComPort& p) {
            Bytes bytes;
            p.ReadAvailable(bytes);
            ++calls;
        });
        port.SetOnError([&](TComPort&, const EComError& e, TComAction&) {
            errors << QString("%1 %2").arg(e.ErrorCode()).arg(e.what());
        });
        OpenOn(port, pty);
        port.injection->waitFailure = EBADF;
        pty.Write({0x01});
        QTRY_COMPARE(errors, QStringList({QString("%1 Bad file descriptor").arg(EBADF)}));
        QTRY_COMPARE(TComThread::Running(), 0);
        QVERIFY(port.Active());
        pty.Write({0x02});
        Settle(50);
        QCOMPARE(calls, 0);
        port.SetActive(false);
        port.SetActive(true); // a new thread after reopening
        pty.Write({0x03});
        QTRY_COMPARE(calls, 1);
    }

    void closeWhileWaitingCallsNothing()
    {
        TPtyPair pty;
        TComPort port;
        int calls = 0;
        port.SetOnRxChar([&](TComPort&) { ++calls; });
        OpenOn(port, pty);
        QTRY_COMPARE(TComThread::Running(), 1);
        port.SetActive(false);
        pty.Write({0x01, 0x02});
        QTRY_COMPARE(TComThread::Running(), 0);
        Settle(50);
        QCOMPARE(calls, 0);
    }

    void closeAndReopenManyTimes()
    {
        TPtyPair pty;
        TReceiver link;
        TComPort port;
        port.SetOnRxChar(TNotifyEvent(&link, &TReceiver::ComPortRxChar));
        port.SetDeviceName(pty.SlavePath());
        for (int i = 0; i < 200; ++i) {
            port.SetActive(true);
            port.SetActive(false);
        }
        port.SetActive(true);
        pty.Write({0x42});
        QTRY_COMPARE(link.received, Bytes({0x42}));
        QCOMPARE(link.calls, 1);
        port.SetActive(false);
        QTRY_COMPARE(TComThread::Running(), 0);
    }

    void destroyedPortGetsNoEvent()
    {
        TPtyPair pty;
        int calls = 0;
        {
            TComPort port;
            port.SetOnRxChar([&](TComPort&) { ++calls; });
            OpenOn(port, pty);
            pty.Write({0x01});
            QThread::msleep(20); // the cycle is on its way to the event queue
        }
        Settle(50);
        QTRY_COMPARE(TComThread::Running(), 0);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(TstComEvents)
#include "tst_comevents.moc"

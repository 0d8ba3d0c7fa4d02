// The simulated converter as a port: the program's own serial port and
// device link meet it by name, at the pace of the line the port was set to.
#include "link/devicelink.h"
#include "serial/serialdevice.h"
#include "sim/blockfile.h"
#include "sim/protocol.h"
#include "sim/simport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace lk58;

namespace {

void Open(TComPort& port, const std::string& name, TBaudRate rate = br4800)
{
    port.SetDeviceName(name);
    port.SetBaudRate(rate);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.SetActive(true);
}

} // namespace

class TstSimPort : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { sim::RegisterSimulatedPorts(); }

    // Never faster than the line: request and reply cross it byte by byte;
    // and not much slower, or retries and time-outs would not behave as on
    // a converter.
    void exchangesKeepTheLinesPace_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("readAll");
        QTest::addColumn<int>("bytes"); // request and reply
        QTest::addColumn<int>("pauseMs"); // the link's own, before a ping
        QTest::newRow("ping at 4800") << "sim:pace1" << 4800 << false << 3 + 7 << 25;
        QTest::newRow("read-all at 4800") << "sim:pace2" << 4800 << true << 3 + 131 << 0;
        QTest::newRow("read-all at 9600") << "sim:pace3" << 9600 << true << 3 + 131 << 0;
    }

    void exchangesKeepTheLinesPace()
    {
        QFETCH(QString, port);
        QFETCH(int, rate);
        QFETCH(bool, readAll);
        QFETCH(int, bytes);
        QFETCH(int, pauseMs);
        TComPort com;
        TDeviceLink link(com);
        Open(com, port.toStdString(), rate == 9600 ? br9600 : br4800);
        QVERIFY(link.Ping()); // the first exchange pays for starting the threads
        const double floorMs = bytes * 10 * 1000.0 / rate + pauseMs;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(readAll ? link.ReadAll() : link.Ping());
        const double ms = clock.nsecsElapsed() / 1e6;
        QVERIFY2(ms >= floorMs - 1 && ms < 2 * floorMs + 60,
                 qPrintable(QStringLiteral("%1 ms against a floor of %2 ms").arg(ms).arg(floorMs)));
    }

    // The options of the name set the converter's faults on each open.
    void faultsFromTheName_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<int>("requests");
        QTest::newRow("silent") << "sim:f1?silent" << false << 10;
        QTest::newRow("silent once") << "sim:f2?silent=1" << true << 2;
        QTest::newRow("damaged twice") << "sim:f3?corrupt-checksum=2" << true << 3;
        QTest::newRow("cut, pings only") << "sim:f4?cut&faults-on=ping&no-pacing" << false << 10;
    }

    void faultsFromTheName()
    {
        QFETCH(QString, port);
        QFETCH(bool, answers);
        QFETCH(int, requests);
        TComPort com;
        TDeviceLink link(com);
        Open(com, port.toStdString());
        QCOMPARE(link.Ping(), answers);
        const std::string id = port.toStdString().substr(0, port.indexOf('?'));
        QCOMPARE(sim::SimulatedConverter(id).Counters().requests, std::size_t(requests));
    }

    // Two names are two converters; one converter takes one port at a time.
    void portsAreIndependent()
    {
        TComPort a, b, again;
        TDeviceLink linkA(a), linkB(b);
        Open(a, "sim:one");
        Open(b, "sim:two");
        QVERIFY(linkA.SendInt(21, 777));
        QVERIFY(linkB.Ping());
        QCOMPARE(sim::SimulatedConverter("sim:one").Word(21), std::uint16_t(777));
        QCOMPARE(sim::SimulatedConverter("sim:two").Word(21), sim::GetWord(DefaultBlock(), 21));
        try {
            Open(again, "sim:one");
            QFAIL("a converter held by a port opened twice");
        } catch (const EComError& e) {
            QCOMPARE(e.ErrorCode(), platform::kErrorBusy);
        }
        a.SetActive(false);
        Open(again, "sim:one"); // the settings outlive the port
        TDeviceLink linkAgain(again);
        QVERIFY(linkAgain.ReadAll());
        QCOMPARE(linkAgain.RxBuffer[41] * 256 + linkAgain.RxBuffer[42], 777);
    }

    // A block file carries the settings from one process to the next; a
    // name the port does not know opens nothing.
    void blockFileKeepsTheSettings()
    {
        QTemporaryDir dir;
        const std::string file = dir.filePath("kept.block").toStdString();
        {
            TComPort com;
            TDeviceLink link(com);
            Open(com, "sim:kept1?file=" + file);
            QVERIFY(link.SendInt(21, 1234));
        }
        Tq36Block block{};
        std::string error;
        QVERIFY2(LoadBlockFile(file, block, error), error.c_str());
        QCOMPARE(sim::GetWord(block, 21), std::uint16_t(1234));
        TComPort com;
        TDeviceLink link(com);
        Open(com, "sim:kept2?file=" + file); // another converter, as in a new process
        QVERIFY(link.ReadAll());
        QCOMPARE(link.RxBuffer[41] * 256 + link.RxBuffer[42], 1234);
        QCOMPARE(sim::UnkeptChanges(), std::vector<std::string>{"sim:one"});
        TComPort bad;
        QVERIFY_THROWS_EXCEPTION(EComError, Open(bad, "sim:?no-such-fault"));
        QVERIFY_THROWS_EXCEPTION(EComError, Open(bad, "sim:a/b"));
    }
};

QTEST_GUILESS_MAIN(TstSimPort)
#include "tst_simport.moc"

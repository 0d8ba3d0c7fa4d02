// The device link against the simulated converter: what the converter ends
// up holding, and its replies read back. A Qt Core event loop is all the
// link needs.
#include "link/devicelink.h"
#include "link/frame.h"
#include "linkpeer.h"
#include "sim/simulator.h"
#include "waitend.h"

#include <QtTest>

using namespace lk58;
using namespace lk58::test;

Q_DECLARE_METATYPE(lk58::Bytes)

class TstDeviceLink : public QObject {
    Q_OBJECT

    std::string simPort;
    std::unique_ptr<Tq36Simulator> sim;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TDeviceLink> link;

private slots:
    void init()
    {
        simPort = NewSimulatorPort();
        sim = SimulatorOn(simPort);
        sim->SetPacing(false);
        sim->Start();
        port = std::make_unique<TComPort>();
        link = std::make_unique<TDeviceLink>(*port);
        OpenPort(*port, simPort);
    }

    void cleanup()
    {
        link.reset();
        port.reset();
        sim.reset();
    }

    void writesReachTheConverter()
    {
        QVERIFY(link->Ping());
        QVERIFY(link->SendInt(20, -50));
        QVERIFY(link->SendLong(63, -123456));
        const Bytes label{'T', 'Q', '3', '6', ' ', 'b', 'a', 'y'};
        QVERIFY(link->SendString(label, 30, 5));
        QCOMPARE(sim->Word(20), std::uint16_t(0xFFCE));
        QCOMPARE(sim->Word(63), std::uint16_t(0xFFFE)); // -123456 = FFFE1DC0
        QCOMPARE(sim->Word(64), std::uint16_t(0x1DC0));
        const std::uint16_t words[] = {0x5451, 0x3336, 0x2062, 0x6179, 0x0000};
        for (int k = 0; k < 5; ++k)
            QCOMPARE(sim->Word(30 + k), words[k]);
        QCOMPARE(sim->Counters().requests, std::size_t(8));
    }

    void readAllHoldsTheReply()
    {
        sim->SetPacing(true); // 131 bytes at the line rate, in many pieces
        sim->SetWord(21, 400);
        QVERIFY(link->ReadAll());
        QCOMPARE(link->RxBuffer, ReadAllReply(sim->Block()));
        QCOMPARE(link->RxBuffer[41], std::uint8_t(0x01)); // word 21, high byte
        QCOMPARE(link->RxBuffer[42], std::uint8_t(0x90));
    }

    void waitEndsWithItsCondition_data() { WaitEndRows(); }
    void waitEndsWithItsCondition() { CheckWaitEnd(*link); }

    void attemptsPerExchange_data()
    {
        QTest::addColumn<int>("answerFrom"); // 0: never
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("pings");
        QTest::newRow("answers the first ping") << 1 << true << 1;
        QTest::newRow("answers only the tenth ping") << 10 << true << 10;
        QTest::newRow("would answer the eleventh") << 11 << false << 10;
    }

    void attemptsPerExchange()
    {
        QFETCH(int, answerFrom);
        QFETCH(bool, ok);
        QFETCH(int, pings);
        sim->AnswerFrom(answerFrom, kOnPing);
        QCOMPARE(link->Ping(), ok);
        QCOMPARE(int(sim->Counters().pings), pings);
    }

    void faultsOfTheConverter_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("count"); // replies it spoils, kEveryReply: all
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("writes"); // -n: at most n
        const int every = kEveryReply;
        QTest::newRow("acknowledgement in two pieces") << int(Fault::Split) << every << true << 1;
        QTest::newRow("acknowledgement tagged with the number") << int(Fault::WrongFirstByte) << every << false << 10;
        QTest::newRow("acknowledgement with a bad checksum") << int(Fault::CorruptChecksum) << every << false << 10;
        QTest::newRow("silent converter") << int(Fault::Silent) << every << false << 10;
        // One glitch costs one retry at most.
        QTest::newRow("one ack tagged with the number") << int(Fault::WrongFirstByte) << 1 << true << 2;
        QTest::newRow("one ack with a bad checksum") << int(Fault::CorruptChecksum) << 1 << true << 2;
        QTest::newRow("one write unanswered") << int(Fault::Silent) << 1 << true << 2;
        QTest::newRow("one ack with a byte too many") << int(Fault::ExtraBytes) << 1 << true << 1;
        QTest::newRow("every ack with a byte too many") << int(Fault::ExtraBytes) << every << true << 1;
        // 200 ms: past the first attempt's 15 ticks, unless a loaded machine
        // dispatches them late, and within the second attempt's wait.
        QTest::newRow("one ack late") << int(Fault::Delay) << 1 << true << -2;
        QTest::newRow("every ack late") << int(Fault::Delay) << every << true << -2;
        // Stray replies: each lands after the next request, in front of its
        // reply; the exchange after the glitch reads all in one attempt.
        QTest::newRow("one ack held back to the retry") << int(Fault::Late) << 1 << true << 2;
        QTest::newRow("every ack held back to the next request") << int(Fault::Late) << every << true << 2;
        QTest::newRow("one ack sent twice") << int(Fault::Surplus) << 1 << true << 1;
        QTest::newRow("every ack sent twice") << int(Fault::Surplus) << every << true << 1;
        QTest::newRow("one ack cut short") << int(Fault::Cut) << 1 << true << 2;
        QTest::newRow("every ack cut short") << int(Fault::Cut) << every << false << 10;
    }

    void faultsOfTheConverter()
    {
        QFETCH(int, fault);
        QFETCH(int, count);
        QFETCH(bool, ok);
        QFETCH(int, writes);
        sim->SetFault(Fault(fault), count, kOnWrite);
        QCOMPARE(link->SendInt(2, 1), ok);
        if (writes > 0)
            QCOMPARE(int(sim->Counters().writes), writes);
        else
            QVERIFY(int(sim->Counters().writes) <= -writes);
        // The exchanges after a glitch are not disturbed by what it left.
        if (ok) {
            QVERIFY(link->ReadAll());
            QCOMPARE(link->RxBuffer, ReadAllReply(sim->Block()));
            QVERIFY(link->SendInt(3, 1));
        }
    }

    void retriedPingAndBytesBehindReadAll_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<unsigned>("kinds");
        QTest::newRow("ping reply late") << int(Fault::Delay) << kOnPing;
        QTest::newRow("ping reply with a byte too many") << int(Fault::ExtraBytes) << kOnPing;
        QTest::newRow("ping reply with a bad checksum") << int(Fault::CorruptChecksum) << kOnPing;
        QTest::newRow("read-all reply with a byte too many") << int(Fault::ExtraBytes) << kOnReadAll;
    }

    void retriedPingAndBytesBehindReadAll()
    {
        QFETCH(int, fault);
        QFETCH(unsigned, kinds);
        sim->SetPacing(true); // the extra byte of a read-all comes in a later read
        sim->SetFault(Fault(fault), 1, kinds);
        QVERIFY(kinds == kOnPing ? link->Ping() : link->ReadAll());
        if (kinds == kOnReadAll)
            QCOMPARE(Bytes(link->Reply().begin(), link->Reply().end()), ReadAllReply(sim->Block()));
        QVERIFY(link->Ping());
    }
};

QTEST_GUILESS_MAIN(TstDeviceLink)
#include "tst_devicelink.moc"

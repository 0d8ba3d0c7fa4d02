// The simulator's line handling: pacing, a program that closes and reopens
// its port, stopping in the middle of a reply, a line that hangs up.

#include "rawclient.h"
#include "sim/simulator.h"

#include <QtTest>

#include <atomic>
#include <memory>

using namespace lk58;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::HexBytes;
using test::RawClient;

namespace {
constexpr auto kReplyLimit = 3000ms;
const Bytes kPingReply = HexBytes("FF 54 51 33 36 3E EC");
} // namespace

class TstSimLine : public QObject {
    Q_OBJECT

private slots:
    void pacedReplyTakesTheLineTime()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.Start();
        RawClient client(pty.slavePath);
        const auto start = Clock::now();
        client.Write(ReadAllRequest());
        // After 100 ms the line cannot have carried the whole reply yet.
        Bytes reply = client.Read(kReadAllReplySize, 100ms);
        QVERIFY(!reply.empty());
        QVERIFY(reply.size() < kReadAllReplySize);
        const Bytes rest = client.Read(kReadAllReplySize - reply.size(), kReplyLimit);
        reply.insert(reply.end(), rest.begin(), rest.end());
        const auto took = Clock::now() - start;
        QCOMPARE(reply, ReadAllReply(DefaultBlock()));
        // The 3-byte request and the 131-byte reply cannot both cross the
        // line in less than 134 x 2.083 ms = 279.2 ms.
        QVERIFY(took >= 279ms);
    }

    void pacedReplyWaitsForTheRequestToArrive()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.Start();
        RawClient client(pty.slavePath);
        const auto start = Clock::now();
        client.Write(WriteRequest16(1, 2));
        // The 7-byte request takes 14.6 ms on the line: nothing may come back before.
        const Bytes early = client.Read(1, 12ms);
        QVERIFY(early.empty());
        const Bytes ack = client.Read(kShortReplySize, kReplyLimit);
        QCOMPARE(ack, ShortReply(0x00));
        QVERIFY(Clock::now() - start >= 29ms); // 14 bytes both ways
    }

    void programReopensThePort()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.SetPacing(false);
        sim.Start();
        for (int i = 0; i < 5; ++i) {
            RawClient client(pty.slavePath);
            client.Write(PingRequest());
            QCOMPARE(client.Read(kShortReplySize, kReplyLimit), kPingReply);
        }
        QCOMPARE(sim.Counters().replies, std::size_t(5));
    }

    void stopCutsALongDelayShort()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.SetDelay(60s);
        sim.SetFault(Fault::Delay);
        sim.Start();
        RawClient client(pty.slavePath);
        client.Write(PingRequest());
        QVERIFY(sim.WaitForRequests(1, kReplyLimit));
        const auto start = Clock::now();
        sim.Stop();
        QVERIFY(Clock::now() - start < 10s); // not the 60 s of the delay
        QVERIFY(!sim.Running());
        QVERIFY(client.Read(1, 100ms).empty());
    }

    void servesAgainAfterRestart()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.SetPacing(false);
        RawClient client(pty.slavePath);
        sim.Start();
        sim.Stop();
        client.Write(HexBytes("FF BF")); // half a request while stopped
        sim.Start();
        QVERIFY(sim.Running());
        QVERIFY(sim.WaitForRequests(1, kReplyLimit));
        client.Write(PingRequest());
        QCOMPARE(client.Read(kShortReplySize, kReplyLimit), kPingReply);
        QCOMPARE(sim.Requests().at(0).outcome, RequestOutcome::Partial);
    }

    void hungUpLineIsWaitedFor()
    {
        PtyPair pty = OpenPtyPair();
        pty.holder.Reset(); // nobody holds the slave: the master reads EIO
        std::mutex mutex;
        std::vector<std::string> notes;
        Tq36Simulator sim(pty.master.Get());
        sim.SetPacing(false);
        sim.SetObserver([&](const TrafficEvent& e) {
            if (e.direction == TrafficDirection::Note) {
                std::lock_guard lock(mutex);
                notes.push_back(e.meaning);
            }
        });
        sim.Start();
        QTRY_VERIFY_WITH_TIMEOUT([&] { std::lock_guard lock(mutex); return !notes.empty(); }(), 3000);
        RawClient client(pty.slavePath);
        client.Write(PingRequest());
        QCOMPARE(client.Read(kShortReplySize, kReplyLimit), kPingReply);
        sim.Stop();
        QCOMPARE(notes, (std::vector<std::string>{"line hung up", "line back"}));
    }

    void threadSafeAccessWhileServing()
    {
        PtyPair pty = OpenPtyPair();
        Tq36Simulator sim(pty.master.Get());
        sim.SetPacing(false);
        sim.Start();
        std::atomic<bool> done{false};
        std::thread poker([&] {
            for (std::uint16_t v = 0; !done; ++v) {
                sim.SetWord(62, v);
                (void)sim.Counters();
                (void)sim.Block();
            }
        });
        RawClient client(pty.slavePath);
        for (int i = 0; i < 20; ++i) {
            client.Write(WriteRequest16(20, i));
            QCOMPARE(client.Read(kShortReplySize, kReplyLimit), ShortReply(19));
        }
        done = true;
        poker.join();
        QCOMPARE(sim.Word(20), std::uint16_t(19));
        QCOMPARE(sim.AppliedWrites().size(), std::size_t(20));
    }
};

QTEST_GUILESS_MAIN(TstSimLine)
#include "tst_simline.moc"

#include "clientline.h"
#include "hexbytes.h"
#include "sim/protocol.h"
#include "sim/simulator.h"

#include <QtTest>

#include <memory>

using namespace lk58;
using namespace std::chrono_literals;
using test::HexBytes;
using test::TClientLine;

Q_DECLARE_METATYPE(lk58::Bytes)

namespace {
// Long enough for any unpaced reply on a loaded machine; replies never
// take this long unless they are missing.
constexpr auto kReplyLimit = 2000ms;
// How long the tests listen for a reply that must not come.
constexpr auto kSilence = 150ms;

std::size_t ReplySize(const Bytes& request)
{
    return request[0] == kReadAllCode ? kReadAllReplySize : kShortReplySize;
}
} // namespace

class TstSimulator : public QObject {
    Q_OBJECT

    std::unique_ptr<TClientLine> line_;
    Tq36Simulator* sim_ = nullptr;
    TClientLine* client_ = nullptr;

    Bytes Exchange(const Bytes& request, std::size_t replySize)
    {
        client_->Write(request);
        return client_->Read(replySize, kReplyLimit);
    }

private slots:
    void init()
    {
        line_ = std::make_unique<TClientLine>();
        sim_ = &line_->Sim();
        sim_->SetPacing(false);
        sim_->Start();
        client_ = line_.get();
    }
    void cleanup()
    {
        line_.reset();
    }

    void replies_data()
    {
        QTest::addColumn<Bytes>("request");
        QTest::addColumn<Bytes>("reply");
        QTest::newRow("ping") << PingRequest() << HexBytes("FF 54 51 33 36 3E EC");
        QTest::newRow("read-all") << ReadAllRequest() << ReadAllReply(DefaultBlock());
        QTest::newRow("write 1 acknowledged with 00") << HexBytes("01 00 00 00 02 43 FE")
                                                      << HexBytes("00 00 00 00 00 FF FF");
        QTest::newRow("write 30 acknowledged with 1D") << WriteRequest16(30, 0x4142)
                                                       << HexBytes("1D 00 00 00 00 13 FD");
        QTest::newRow("32-bit write 63 acknowledged with 3E") << HexBytes("3F 00 00 27 10 F1 C6")
                                                              << ShortReply(0x3E);
    }
    void replies()
    {
        QFETCH(Bytes, request);
        QFETCH(Bytes, reply);
        QCOMPARE(Exchange(request, reply.size()), reply);
        QVERIFY(client_->Read(1, kSilence).empty());
        QCOMPARE(sim_->Counters().replies, std::size_t(1));
    }

    void writesApplied_data()
    {
        QTest::addColumn<Bytes>("request");
        QTest::addColumn<QList<int>>("words"); // pairs: parameter, expected word
        QTest::newRow("16-bit -50 to 20") << WriteRequest16(20, -50) << QList<int>{20, 0xFFCE, 21, 400};
        QTest::newRow("text word to 30") << WriteRequest16(30, 0x4142) << QList<int>{30, 0x4142, 31, 0x696C};
        QTest::newRow("32-bit 99999 to 63") << WriteRequest32(63, 99999) << QList<int>{63, 0x0001, 64, 0x869F};
        QTest::newRow("32-bit -9999 to 63") << WriteRequest32(63, -9999) << QList<int>{63, 0xFFFF, 64, 0xD8F1};
        QTest::newRow("16-bit form to 63 clears word 63") << WriteRequest16(63, 500) << QList<int>{63, 0, 64, 500};
        QTest::newRow("16-bit to 64 alone") << WriteRequest16(64, 7) << QList<int>{63, 0, 64, 7};
        QTest::newRow("high bytes ignored below 63") << WriteRequest32(5, 0x12340002) << QList<int>{5, 2};
    }
    void writesApplied()
    {
        QFETCH(Bytes, request);
        QFETCH(QList<int>, words);
        QCOMPARE(Exchange(request, kShortReplySize), ShortReply(std::uint8_t(request[0] - 1)));
        for (qsizetype i = 0; i < words.size(); i += 2)
            QCOMPARE(int(sim_->Word(words[i])), words[i + 1]);
        const std::vector<WriteRecord> expected{{request[0], sim::WriteValue(request)}};
        QVERIFY(sim_->AppliedWrites() == expected);
        // The read-all reply carries the new word.
        QCOMPARE(Exchange(ReadAllRequest(), kReadAllReplySize), ReadAllReply(sim_->Block()));
    }

    void badChecksumNoReply_data()
    {
        QTest::addColumn<Bytes>("request");
        QTest::newRow("ping") << HexBytes("FF BF BE");
        QTest::newRow("read-all") << HexBytes("FE 7F 7E");
        QTest::newRow("write") << HexBytes("14 00 00 00 05 00 00");
    }
    void badChecksumNoReply()
    {
        QFETCH(Bytes, request);
        const Tq36Block before = sim_->Block();
        client_->Write(request);
        QVERIFY(client_->Read(1, kSilence).empty());
        QVERIFY(sim_->Block() == before);
        // Framing carries on right behind the bad request.
        QCOMPARE(Exchange(PingRequest(), kShortReplySize).size(), kShortReplySize);
        const auto log = sim_->Requests();
        QCOMPARE(log.size(), std::size_t(2));
        QCOMPARE(log[0].bytes, request);
        QCOMPARE(log[0].outcome, RequestOutcome::BadChecksum);
        QCOMPARE(log[1].outcome, RequestOutcome::Answered);
        QCOMPARE(sim_->Counters().badChecksums, std::size_t(1));
    }

    void unknownParameterIgnored_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("0") << 0;
        QTest::newRow("65") << 65;
        QTest::newRow("200") << 200;
    }
    void unknownParameterIgnored()
    {
        QFETCH(int, number);
        const Tq36Block before = sim_->Block();
        client_->Write(WriteRequest16(number, 1));
        QVERIFY(client_->Read(1, kSilence).empty());
        QVERIFY(sim_->Block() == before);
        QVERIFY(sim_->AppliedWrites().empty());
        QCOMPARE(sim_->Requests().at(0).outcome, RequestOutcome::Rejected);
        QCOMPARE(sim_->Counters().rejected, std::size_t(1));
    }

    void partialRequestDropped_data()
    {
        QTest::addColumn<Bytes>("partial");
        QTest::newRow("ping cut after 2 bytes") << HexBytes("FF BF");
        QTest::newRow("write cut after 1 byte") << HexBytes("14");
        QTest::newRow("write cut after 6 bytes") << HexBytes("14 00 00 00 05 2B");
    }
    void partialRequestDropped()
    {
        QFETCH(Bytes, partial);
        sim_->SetGap(20ms);
        client_->Write(partial);
        QVERIFY(sim_->WaitForRequests(1, kReplyLimit));
        QCOMPARE(Exchange(PingRequest(), kShortReplySize), HexBytes("FF 54 51 33 36 3E EC"));
        QVERIFY(client_->Read(1, kSilence).empty());
        const auto log = sim_->Requests();
        QCOMPARE(log.size(), std::size_t(2));
        QCOMPARE(log[0].bytes, partial);
        QCOMPARE(log[0].outcome, RequestOutcome::Partial);
        QCOMPARE(log[1].bytes, PingRequest());
        QCOMPARE(sim_->Word(20), std::uint16_t(0));
    }

    void requestInPiecesWithinGap()
    {
        sim_->SetGap(1000ms);
        const Bytes request = WriteRequest16(20, 5);
        client_->Write(Bytes(request.begin(), request.begin() + 3));
        QVERIFY(client_->Read(1, 50ms).empty());
        client_->Write(Bytes(request.begin() + 3, request.end()));
        QCOMPARE(client_->Read(kShortReplySize, kReplyLimit), ShortReply(19));
        QCOMPARE(sim_->Word(20), std::uint16_t(5));
    }

    void answerOnlyTheTenthPing()
    {
        sim_->AnswerFrom(10, kOnPing);
        for (int i = 1; i < 10; ++i) {
            client_->Write(PingRequest());
            QVERIFY(sim_->WaitForRequests(std::size_t(i), kReplyLimit));
        }
        // Writes are not affected by a fault limited to pings.
        QCOMPARE(Exchange(WriteRequest16(2, 1), kShortReplySize), ShortReply(1));
        QCOMPARE(Exchange(PingRequest(), kShortReplySize), HexBytes("FF 54 51 33 36 3E EC"));
        QVERIFY(client_->Read(1, kSilence).empty()); // the nine silenced pings left nothing behind
        const SimCounters c = sim_->Counters();
        QCOMPARE(c.pings, std::size_t(10));
        QCOMPARE(c.silenced, std::size_t(9));
        QCOMPARE(c.replies, std::size_t(2));
        QCOMPARE(sim_->FaultCount(Fault::Silent), 0);
    }

    void silencedWriteHasNoEffect()
    {
        sim_->SetFault(Fault::Silent, 1, kOnWrite);
        client_->Write(WriteRequest16(20, 77));
        QVERIFY(client_->Read(1, kSilence).empty());
        QCOMPARE(sim_->Word(20), std::uint16_t(0));
        QCOMPARE(Exchange(WriteRequest16(20, 77), kShortReplySize), ShortReply(19));
        QCOMPARE(sim_->Word(20), std::uint16_t(77));
        const auto log = sim_->Requests();
        QCOMPARE(log.at(0).outcome, RequestOutcome::Silenced);
        QCOMPARE(log.at(1).outcome, RequestOutcome::Answered);
        QCOMPARE(sim_->AppliedWrites().size(), std::size_t(1));
    }

    void damagedReplyOnce_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<Bytes>("request");
        QTest::addColumn<Bytes>("damaged");
        const auto i = [](Fault f) { return int(f); };
        QTest::newRow("corrupt checksum of ping") << i(Fault::CorruptChecksum) << PingRequest()
                                                  << HexBytes("FF 54 51 33 36 3E 13");
        QTest::newRow("ack with the parameter number") << i(Fault::WrongFirstByte) << WriteRequest16(30, 0x4142)
                                                       << HexBytes("1E 00 00 00 00 57 FD");
        QTest::newRow("ping reply starting FE") << i(Fault::WrongFirstByte) << PingRequest()
                                                << ShortReply(0xFE, {'T', 'Q', '3', '6'});
        QTest::newRow("extra bytes behind ack") << i(Fault::ExtraBytes) << WriteRequest16(1, 2)
                                                << HexBytes("00 00 00 00 00 FF FF 55 AA");
        Bytes readAll = ReadAllReply(DefaultBlock());
        readAll[0] = 0xFF;
        readAll.resize(kReadAllReplySize - 2);
        AppendChecksum(readAll);
        QTest::newRow("read-all reply starting FF") << i(Fault::WrongFirstByte) << ReadAllRequest() << readAll;
        QTest::newRow("ack cut to its head") << i(Fault::Cut) << WriteRequest16(1, 2) << HexBytes("00 00 00");
    }
    void damagedReplyOnce()
    {
        QFETCH(int, fault);
        QFETCH(Bytes, request);
        QFETCH(Bytes, damaged);
        sim_->SetExtraBytes(HexBytes("55 AA"));
        sim_->SetFault(Fault(fault), 1);
        client_->Write(request);
        QCOMPARE(client_->Read(damaged.size() + 1, kSilence * 2), damaged);
        QCOMPARE(sim_->FaultCount(Fault(fault)), 0);
        // The next reply to the same request is sound again.
        client_->Write(request);
        const Bytes sound = client_->Read(ReplySize(request), kReplyLimit);
        QVERIFY(ChecksumValid(sound));
        QCOMPARE(sound.front(), request[0] >= 0xFE ? request[0] : std::uint8_t(request[0] - 1));
    }

    // A reply held back, or sent twice, comes in front of the reply to the
    // next request, whatever that request is.
    void strayReplyBeforeTheNext_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<Bytes>("first"); // what the ping gets at once
        const Bytes ping = HexBytes("FF 54 51 33 36 3E EC");
        QTest::newRow("late") << int(Fault::Late) << Bytes{};
        QTest::newRow("surplus") << int(Fault::Surplus) << ping;
    }
    void strayReplyBeforeTheNext()
    {
        QFETCH(int, fault);
        QFETCH(Bytes, first);
        const Bytes ping = HexBytes("FF 54 51 33 36 3E EC");
        sim_->SetFault(Fault(fault), 1);
        client_->Write(PingRequest());
        QCOMPARE(client_->Read(kShortReplySize + 1, kSilence), first);
        QVERIFY(sim_->Requests().at(0).faults == FaultBit(Fault(fault)));
        sim_->SetFault(Fault::Silent, 1); // the stray goes out all the same
        client_->Write(WriteRequest16(1, 2));
        QCOMPARE(client_->Read(kShortReplySize + 1, kSilence * 2), ping);
        QCOMPARE(Exchange(WriteRequest16(1, 2), kShortReplySize + 1), ShortReply(0));
    }

    void faultsCombineAndLast()
    {
        sim_->SetFault(Fault::CorruptChecksum);
        sim_->SetFault(Fault::ExtraBytes, 2, kOnPing);
        for (int i = 0; i < 3; ++i) {
            client_->Write(PingRequest());
            const Bytes expected = i < 2 ? HexBytes("FF 54 51 33 36 3E 13 00") : HexBytes("FF 54 51 33 36 3E 13");
            QCOMPARE(client_->Read(expected.size() + 1, kSilence * 2), expected);
        }
        QCOMPARE(sim_->FaultCount(Fault::CorruptChecksum), kEveryReply);
        sim_->ClearFaults();
        QCOMPARE(Exchange(PingRequest(), kShortReplySize), HexBytes("FF 54 51 33 36 3E EC"));
    }

    void splitReply_data()
    {
        QTest::addColumn<Bytes>("request");
        QTest::addColumn<int>("splitAt");
        QTest::addColumn<int>("firstPiece");
        QTest::newRow("ack 3+4") << WriteRequest16(1, 2) << 3 << 3;
        QTest::newRow("read-all in the middle") << ReadAllRequest() << 0 << 65;
        QTest::newRow("past the end keeps one byte back") << PingRequest() << 50 << 6;
    }
    void splitReply()
    {
        QFETCH(Bytes, request);
        QFETCH(int, splitAt);
        QFETCH(int, firstPiece);
        sim_->SetSplit(std::size_t(splitAt), 600ms);
        sim_->SetFault(Fault::Split, 1);
        client_->Write(request);
        const Bytes first = client_->Read(kReadAllReplySize, 300ms);
        QCOMPARE(int(first.size()), firstPiece);
        Bytes whole = first;
        const Bytes rest = client_->Read(ReplySize(request) - first.size(), kReplyLimit);
        whole.insert(whole.end(), rest.begin(), rest.end());
        QVERIFY(ChecksumValid(whole));
        QCOMPARE(whole.size(), ReplySize(request));
    }

    void randomFaultsFollowTheSeed()
    {
        // Faults drawn by chance are logged for each request as they acted,
        // and the same seed brings the same faults again.
        sim_->SetDelay(0ms);
        sim_->SetSplit(0, 0ms);
        const Bytes sound = HexBytes("FF 54 51 33 36 3E EC");
        const auto run = [&](std::uint32_t seed) {
            sim_->ClearLog();
            // The faults whose effect shows in the reply to the same request.
            sim_->SetRandomFaults(seed, 0.2, kOnPing,
                                  kAllFaults & ~(FaultBit(Fault::Cut) | FaultBit(Fault::Late) | FaultBit(Fault::Surplus)));
            std::vector<unsigned> faults;
            for (std::size_t i = 0; i < 40; ++i) {
                client_->Write(PingRequest());
                if (!sim_->WaitForRequests(i + 1, kReplyLimit))
                    return std::vector<unsigned>{};
                const Bytes reply = client_->ReadUntilQuiet(30ms);
                const unsigned f = sim_->Requests().at(i).faults;
                faults.push_back(f);
                const bool silent = f & FaultBit(Fault::Silent);
                if (silent != reply.empty()
                    || (!silent && bool(f & FaultBit(Fault::ExtraBytes)) != (reply.size() == 8))
                    || (!silent && bool(f & FaultBit(Fault::WrongFirstByte)) != (reply[0] == kReadAllCode))
                    || (!silent && bool(f & FaultBit(Fault::CorruptChecksum)) == ChecksumValid(Bytes(reply.begin(), reply.begin() + 7)))
                    || (f == 0 && reply != sound))
                    return std::vector<unsigned>{};
            }
            return faults;
        };
        const std::vector<unsigned> first = run(7);
        QCOMPARE(first.size(), std::size_t(40));
        QVERIFY(std::count(first.begin(), first.end(), 0u) < 40); // some faults came
        QVERIFY(std::count(first.begin(), first.end(), 0u) > 0);
        QVERIFY(run(7) == first);
        QVERIFY(run(8) != first);
        // Writes were not among the kinds given.
        QCOMPARE(Exchange(WriteRequest16(2, 1), kShortReplySize), ShortReply(1));
        QCOMPARE(sim_->Requests().back().faults, 0u);
    }

    void delayedReply()
    {
        sim_->SetDelay(400ms);
        sim_->SetFault(Fault::Delay, 1, kOnPing);
        client_->Write(PingRequest());
        QVERIFY(client_->Read(1, 200ms).empty());
        QCOMPARE(client_->Read(kShortReplySize, kReplyLimit), HexBytes("FF 54 51 33 36 3E EC"));
    }
};

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"

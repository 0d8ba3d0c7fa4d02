#include "rawclient.h"
#include "sim/protocol.h"
#include "sim/simulator.h"

#include <QtTest>

#include <memory>

using namespace lk58;
using namespace std::chrono_literals;
using test::HexBytes;
using test::RawClient;

Q_DECLARE_METATYPE(lk58::Bytes)

namespace {
// Long enough for any unpaced reply on a loaded machine; replies never
// take this long unless they are missing.
constexpr auto kReplyLimit = 2000ms;
// How long the tests listen for a reply that must not come.
constexpr auto kSilence = 150ms;
} // namespace

class TstSimulator : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<Tq36Simulator> sim_;
    std::unique_ptr<RawClient> client_;

    Bytes Exchange(const Bytes& request, std::size_t replySize)
    {
        client_->Write(request);
        return client_->Read(replySize, kReplyLimit);
    }

private slots:
    void init()
    {
        pty_ = std::make_unique<PtyPair>(OpenPtyPair());
        sim_ = std::make_unique<Tq36Simulator>(pty_->master.Get());
        sim_->SetPacing(false);
        sim_->Start();
        client_ = std::make_unique<RawClient>(pty_->slavePath);
    }
    void cleanup()
    {
        client_.reset();
        sim_.reset();
        pty_.reset();
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
};

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"

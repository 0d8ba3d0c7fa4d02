#include "link/frame.h"
#include "link/replystate.h"

#include <QtTest>

#include <array>

using namespace lk58;

Q_DECLARE_METATYPE(lk58::Bytes)
using Chunks = QList<lk58::Bytes>;

namespace {
Bytes Ack(int number)
{
    return ShortReply(static_cast<std::uint8_t>(number - 1), {0x12, 0x34, 0x56, 0x78});
}
Bytes PingReply()
{
    return ShortReply(kPingCode, {1, 2, 3, 4});
}
Bytes Block()
{
    std::array<std::uint8_t, kSettingsBlockSize> block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return ReadAllReply(block);
}
Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Head(const Bytes& a, std::size_t n)
{
    return Bytes(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n));
}
Bytes Tail(const Bytes& a, std::size_t n)
{
    return Bytes(a.begin() + static_cast<std::ptrdiff_t>(n), a.end());
}
} // namespace

class TstReplyState : public QObject {
    Q_OBJECT
private slots:
    void collect_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("tag");
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<Bytes>("left"); // RxBuffer afterwards

        const Bytes ack = Ack(22);
        const Bytes block = Block();
        QTest::newRow("ack byte by byte")
            << kModeWrite << 22
            << Chunks{{ack[0]}, {ack[1]}, {ack[2]}, {ack[3]}, {ack[4]}, {ack[5]}, {ack[6]}}
            << true << Bytes{};
        QTest::newRow("ack with empty reads")
            << kModeWrite << 22 << Chunks{{}, Head(ack, 4), {}, Tail(ack, 4)} << true << Bytes{};
        QTest::newRow("ack of parameter 1 is 00")
            << kModeWrite << 1 << Chunks{ShortReply(0x00)} << true << Bytes{};
        Bytes swapped = ack; // its checksum bytes differ: 89 08
        std::swap(swapped[5], swapped[6]);
        QTest::newRow("ack checksum bytes swapped") << kModeWrite << 22 << Chunks{swapped} << false << Bytes{};
        // Judged by count: the head and the ack's first 4 bytes fail, the
        // ack's last 3 wait behind them.
        QTest::newRow("partial then whole ack")
            << kModeWrite << 22 << Chunks{Head(ack, 3), ack} << false << Tail(ack, 4);
        QTest::newRow("ack and a byte more in one read")
            << kModeWrite << 22 << Chunks{Cat(ack, {0x00})} << true << Bytes{0x00};
        QTest::newRow("wrong ack and right one in one read")
            << kModeWrite << 22 << Chunks{Cat(Ack(23), ack)} << true << Bytes{};
        QTest::newRow("ping reply and 2 bytes in one read")
            << kModePing << 0 << Chunks{Cat(PingReply(), {0xAA, 0x55})} << true << Bytes{0xAA, 0x55};
        QTest::newRow("read-all reply in pieces")
            << kModeReadAll << 0 << Chunks{Head(block, 1), Head(Tail(block, 1), 64), Tail(block, 65)}
            << true << block;
        QTest::newRow("read-all reply and 2 bytes more in one read")
            << kModeReadAll << 0 << Chunks{Cat(block, {0xAA, 0x55})} << true << Cat(block, {0xAA, 0x55});
        QTest::newRow("bytes behind a bad read-all reply are not judged")
            << kModeReadAll << 0 << Chunks{Cat({0x00}, Head(block, 130)), Tail(block, 130)} << false
            << Cat({0x00}, block);
        QTest::newRow("ping reply while reading all")
            << kModeReadAll << 0 << Chunks{PingReply()} << false << PingReply();
    }

    void collect()
    {
        QFETCH(int, mode);
        QFETCH(int, tag);
        QFETCH(Chunks, chunks);
        QFETCH(bool, accepted);
        QFETCH(Bytes, left);

        TReplyState s;
        s.RxBuffer = {0x99, 0x98}; // leftovers of an earlier exchange
        s.PingOk = s.ReplyOk = true;
        s.Arm(mode, tag);
        QVERIFY(s.RxBuffer.empty());
        QVERIFY(!s.AwaitedFlag());
        for (const Bytes& c : chunks)
            s.Collect(c);
        QCOMPARE(s.AwaitedFlag(), accepted);
        QCOMPARE(s.RxBuffer, left);
    }

    void flagsAreSeparate()
    {
        // A ping arms only PingOk; a write leaves PingOk as the handshake set it.
        TReplyState s;
        s.Arm(kModePing);
        s.Collect(PingReply());
        s.Arm(kModeWrite, 5);
        QVERIFY(s.PingOk);
        QVERIFY(!s.ReplyOk);
        QCOMPARE(s.ExpectedTag, 5);
        s.Arm(kModeReadAll);
        QCOMPARE(s.ExpectedTag, 5); // only a write sets the tag
    }

    void idleCollectsNothing()
    {
        TReplyState s;
        QVERIFY(!s.Collecting());
        s.Collect(PingReply());
        QVERIFY(s.RxBuffer.empty());
        QVERIFY(!s.PingOk);
    }
};

QTEST_APPLESS_MAIN(TstReplyState)
#include "tst_replystate.moc"

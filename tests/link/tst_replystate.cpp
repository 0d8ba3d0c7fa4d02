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
        QTest::newRow("ack checksum bytes swapped") << kModeWrite << 22 << Chunks{swapped} << false << Tail(swapped, 1);
        // Found wherever it starts: a cut head or a stray byte in front of
        // the reply is skipped, not counted as its first bytes.
        QTest::newRow("partial then whole ack")
            << kModeWrite << 22 << Chunks{Head(ack, 3), ack} << true << Bytes{};
        QTest::newRow("one surplus byte then the ack")
            << kModeWrite << 22 << Chunks{{0x00}, ack} << true << Bytes{};
        QTest::newRow("an earlier write's ack in front, split across reads")
            << kModeWrite << 22 << Chunks{Head(Ack(21), 5), Cat(Tail(Ack(21), 5), Head(ack, 4)), Tail(ack, 4)}
            << true << Bytes{};
        QTest::newRow("ack's tail, no head") << kModeWrite << 22 << Chunks{Tail(ack, 1), {0x00}} << false
                                             << Cat(Tail(ack, 2), {0x00});
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
        // The loader decodes the reply in place: it heads the buffer once
        // found, whatever came in front of it.
        QTest::newRow("read-all reply behind a surplus byte")
            << kModeReadAll << 0 << Chunks{Cat({0x00}, Head(block, 130)), Tail(block, 130)} << true << block;
        QTest::newRow("read-all reply behind a late ack, then 2 bytes more")
            << kModeReadAll << 0 << Chunks{Cat(Ack(22), Head(block, 100)), Cat(Tail(block, 100), {0xFE, 0x55})}
            << true << Cat(block, {0xFE, 0x55});
        QTest::newRow("ping reply while reading all")
            << kModeReadAll << 0 << Chunks{PingReply()} << false << PingReply();
        Bytes bad = block;
        bad[60] ^= 0x01;
        // Where no reply can start any more, bytes are dropped: the buffer
        // never holds a whole reply's length of them.
        QTest::newRow("bad read-all reply, then the sound one")
            << kModeReadAll << 0 << Chunks{bad, block} << true << block;
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

    // A failed exchange tells a damaged reply (the awaited first byte and
    // length, a bad checksum) from none.
    void damaged_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<bool>("damaged");
        Bytes badAck = Ack(22);
        badAck[6] ^= 0xFF;
        Bytes badBlock = Block();
        badBlock[130] ^= 0xFF;
        QTest::newRow("nothing") << kModeWrite << Bytes{} << false;
        QTest::newRow("ack with a bad checksum") << kModeWrite << badAck << true;
        QTest::newRow("ack of another write") << kModeWrite << Ack(23) << false;
        QTest::newRow("ack cut short") << kModeWrite << Head(Ack(22), 6) << false;
        QTest::newRow("read-all reply with a bad checksum") << kModeReadAll << badBlock << true;
        Bytes badPing = PingReply();
        badPing[5] ^= 0x01;
        QTest::newRow("ping reply with a bad checksum") << kModePing << badPing << true;
    }
    void damaged()
    {
        QFETCH(int, mode);
        QFETCH(Bytes, bytes);
        QFETCH(bool, damaged);
        Bytes earlier = Ack(22);
        earlier[5] ^= 0x01;
        TReplyState s;
        s.Arm(kModeWrite, 22);
        s.Collect(earlier); // only this exchange's bytes count
        QVERIFY(s.Damaged());
        s.Arm(mode, 22);
        s.Collect(bytes);
        QVERIFY(!s.AwaitedFlag());
        QCOMPARE(s.Damaged(), damaged);
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

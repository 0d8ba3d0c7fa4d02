// The device link against a scripted converter on a pseudo-terminal: exact
// bytes at exact moments.
#include "link/devicelink.h"
#include "link/frame.h"
#include "linkpeer.h"
#include "core/apperror.h"

#include <QtTest>

#include <array>

using namespace lk58;
using namespace lk58::test;

using PeerScript = std::function<void(TScriptedPeer&, std::size_t, const Bytes&)>;
Q_DECLARE_METATYPE(lk58::Bytes)
Q_DECLARE_METATYPE(PeerScript)

namespace {

enum Exchange { ExPing, ExSendInt, ExSendLong, ExReadAll };

constexpr int kNumber = 22;
constexpr int kValue = 0x4142;

Bytes Ack(int number = kNumber)
{
    return ShortReply(static_cast<std::uint8_t>(number - 1), {9, 8, 7, 6});
}

Bytes Block()
{
    std::array<std::uint8_t, kSettingsBlockSize> block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(255 - i);
    return ReadAllReply(block);
}

Bytes Request(Exchange ex)
{
    switch (ex) {
    case ExPing:
        return PingRequest();
    case ExSendInt:
        return WriteRequest16(kNumber, kValue);
    case ExSendLong:
        return WriteRequest32(kNumber, kValue);
    case ExReadAll:
        return ReadAllRequest();
    }
    return {};
}

bool Run(TDeviceLink& link, Exchange ex)
{
    switch (ex) {
    case ExPing:
        return link.Ping();
    case ExSendInt:
        return link.SendInt(kNumber, kValue);
    case ExSendLong:
        return link.SendLong(kNumber, kValue);
    case ExReadAll:
        return link.ReadAll();
    }
    return false;
}

PeerScript Always(const Bytes& reply)
{
    return [reply](TScriptedPeer& p, std::size_t, const Bytes&) { p.Send(reply); };
}

PeerScript OnlyAt(std::size_t at, const Bytes& reply)
{
    return [at, reply](TScriptedPeer& p, std::size_t i, const Bytes&) {
        if (i == at)
            p.Send(reply);
    };
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class TstLinkPeer : public QObject {
    Q_OBJECT

    std::unique_ptr<TScriptedPeer> peer;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TDeviceLink> link;

private slots:
    void init()
    {
        peer = std::make_unique<TScriptedPeer>();
        port = std::make_unique<TComPort>();
        link = std::make_unique<TDeviceLink>(*port);
        OpenPort(*port, peer->SlavePath());
    }

    void cleanup()
    {
        link.reset();
        port.reset();
        peer.reset();
    }

    void exchange_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<PeerScript>("script");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("requests");
        QTest::addColumn<Bytes>("left"); // RxBuffer afterwards

        const Bytes ack = Ack();
        const Bytes ping = ShortReply(kPingCode, {1, 2, 3, 4});
        const Bytes block = Block();
        Bytes badBlock = block;
        badBlock[129] ^= 0x40;

        QTest::newRow("ack") << int(ExSendInt) << Always(ack) << true << 1 << Bytes{};
        QTest::newRow("ack split 3+4")
            << int(ExSendInt)
            << PeerScript([ack](TScriptedPeer& p, std::size_t, const Bytes&) {
                   p.Send(Head(ack, 3));
                   p.SendLater(40, Tail(ack, 3));
               })
            << true << 1 << Bytes{};
        QTest::newRow("ack tag = parameter number")
            << int(ExSendInt) << Always(Retagged(ack, kNumber)) << false << 10 << Tail(Retagged(ack, kNumber), 1);
        QTest::newRow("bad ack, then good one in the same wait")
            << int(ExSendInt)
            << PeerScript([ack](TScriptedPeer& p, std::size_t, const Bytes&) {
                   p.Send(Retagged(ack, 0x30));
                   p.SendLater(30, ack);
               })
            << true << 1 << Bytes{};
        QTest::newRow("ack with a byte too many")
            << int(ExSendInt) << Always(Cat(ack, {0})) << true << 1 << Bytes{0};
        // Each attempt starts empty: a reply cut short does not spoil the
        // retry, and its head does not join the next attempt's bytes.
        QTest::newRow("ack cut short, whole on the retry")
            << int(ExSendInt)
            << PeerScript([ack](TScriptedPeer& p, std::size_t i, const Bytes&) { p.Send(i == 0 ? Head(ack, 3) : ack); })
            << true << 2 << Bytes{};
        QTest::newRow("ack's head to one attempt, its tail to the next")
            << int(ExSendInt)
            << PeerScript([ack](TScriptedPeer& p, std::size_t i, const Bytes&) {
                   p.Send(i == 0 ? Head(ack, 3) : Tail(ack, 3));
               })
            << false << 10 << Tail(ack, 3);
        QTest::newRow("ack only to the tenth write")
            << int(ExSendInt) << OnlyAt(9, ack) << true << 10 << Bytes{};
        QTest::newRow("silent converter, 16-bit") << int(ExSendInt) << PeerScript() << false << 10 << Bytes{};
        QTest::newRow("32-bit ack") << int(ExSendLong) << Always(ack) << true << 1 << Bytes{};
        QTest::newRow("silent converter, 32-bit") << int(ExSendLong) << PeerScript() << false << 1 << Bytes{};
        QTest::newRow("ping reply") << int(ExPing) << Always(ping) << true << 1 << Bytes{};
        QTest::newRow("ping reply tagged FE")
            << int(ExPing) << Always(Retagged(ping, kReadAllCode)) << false << 10 << Tail(Retagged(ping, kReadAllCode), 1);
        QTest::newRow("only the tenth ping answered") << int(ExPing) << OnlyAt(9, ping) << true << 10 << Bytes{};
        QTest::newRow("no ping answered") << int(ExPing) << PeerScript() << false << 10 << Bytes{};
        QTest::newRow("read-all reply") << int(ExReadAll) << Always(block) << true << 1 << block;
        QTest::newRow("read-all reply, then 2 bytes more")
            << int(ExReadAll)
            << PeerScript([block](TScriptedPeer& p, std::size_t, const Bytes&) {
                   p.Send(block);
                   p.SendLater(20, {0xAA, 0x55});
               })
            << true << 1 << Cat(block, {0xAA, 0x55});
        QTest::newRow("read-all reply and 2 bytes more at once")
            << int(ExReadAll) << Always(Cat(block, {0xAA, 0x55})) << true << 1 << Cat(block, {0xAA, 0x55});
        // Where no reply can start any more, bytes are dropped.
        QTest::newRow("read-all reply tagged FF")
            << int(ExReadAll) << Always(Retagged(block, kPingCode)) << false << 1 << Tail(Retagged(block, kPingCode), 1);
        QTest::newRow("read-all bad checksum") << int(ExReadAll) << Always(badBlock) << false << 1 << Tail(badBlock, 1);
        QTest::newRow("read-all 130 bytes")
            << int(ExReadAll) << Always(Head(block, 130)) << false << 1 << Head(block, 130);
    }

    void exchange()
    {
        QFETCH(int, exchange);
        QFETCH(PeerScript, script);
        QFETCH(bool, ok);
        QFETCH(int, requests);
        QFETCH(Bytes, left);

        if (script)
            peer->Script = [&](std::size_t i, const Bytes& r) { script(*peer, i, r); };
        QCOMPARE(Run(*link, Exchange(exchange)), ok);
        QCOMPARE(int(peer->Requests().size()), requests);
        for (const Bytes& r : peer->Requests())
            QCOMPARE(r, Request(Exchange(exchange)));
        QTRY_COMPARE(link->RxBuffer, left); // bytes after the reply come while idle
        QCOMPARE(Exchange(exchange) == ExPing ? link->PingOk : link->ReplyOk, ok);
        QVERIFY(!link->Busy());
        QVERIFY(!link->TmrTimeOut.isActive());
        if (!ok)
            QCOMPARE(link->TicksLeft(), 0); // every attempt spent its budget
    }

    // A stray reply of the exchange before (the retry's own acknowledgement
    // after a late one was taken, a surplus byte, a reply cut short) lands
    // after the next request, in front of its reply: it costs nothing.
    void strayBytesBeforeTheReply_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<Bytes>("stray");
        const Bytes ack = Ack(kNumber + 1);
        QTest::newRow("retry's own ack before the read-all reply") << int(ExReadAll) << ack;
        QTest::newRow("retry's own ack before a 32-bit ack") << int(ExSendLong) << Ack(kNumber + 1);
        QTest::newRow("surplus byte before the read-all reply") << int(ExReadAll) << Bytes{0x00};
        QTest::newRow("surplus byte before a 32-bit ack") << int(ExSendLong) << Bytes{0x00};
        QTest::newRow("cut ack before a 32-bit ack") << int(ExSendLong) << Head(Ack(kNumber + 1), 3);
        QTest::newRow("late read-all reply before a 32-bit ack") << int(ExSendLong) << Block();
        QTest::newRow("late read-all reply's tail before the read-all reply") << int(ExReadAll) << Tail(Block(), 100);
    }
    void strayBytesBeforeTheReply()
    {
        QFETCH(int, exchange);
        QFETCH(Bytes, stray);
        const Bytes reply = exchange == ExPing ? ShortReply(kPingCode, {1, 2, 3, 4}) : exchange == ExReadAll ? Block() : Ack();
        peer->Script = [&](std::size_t i, const Bytes&) { peer->Send(i == 0 ? Ack(kNumber + 1) : Cat(stray, reply)); };
        QVERIFY(link->SendInt(kNumber + 1, 1));
        QVERIFY(Run(*link, Exchange(exchange)));
        QCOMPARE(peer->Requests().size(), std::size_t(2));
        if (exchange == ExReadAll)
            QCOMPARE(link->RxBuffer, reply);
    }

    void lateAckCountsInNextAttempt()
    {
        // The acknowledgement to the first request comes after that
        // attempt's budget, while the second attempt waits.
        bool sent = false;
        connect(&link->TmrTimeOut, &QTimer::timeout, this, [this, &sent] {
            if (link->TicksLeft() == 0 && !sent) {
                sent = true;
                peer->SendLater(80, Ack()); // past the 25 ms pause and the write
            }
        });
        QVERIFY(link->SendInt(kNumber, kValue));
        QCOMPARE(peer->Requests().size(), std::size_t(2));
    }

    void bytesBeforeTheRequestAreNoReply()
    {
        // The head of an acknowledgement waits in the port before the
        // request goes out; with the tail that answers it, it would make a
        // sound reply that the converter never gave to this request.
        const Bytes ack = Ack();
        peer->Send(Head(ack, 3));
        QTRY_COMPARE(port->InputCount(), std::uint32_t(3));
        peer->Script = [&](std::size_t, const Bytes&) { peer->Send(Tail(ack, 3)); };
        QVERIFY(!link->SendInt(kNumber, kValue));
        QCOMPARE(peer->Requests().size(), std::size_t(10));
    }

    void traceHearsEveryFrame()
    {
        const Bytes ack = Ack();
        Bytes bad = ack;
        bad[6] ^= 0x01;
        peer->Script = [&](std::size_t i, const Bytes&) { peer->Send(i == 0 ? Cat(bad, Head(ack, 2)) : ack); };
        QList<QPair<TTraffic, Bytes>> heard;
        link->SetTrace([&](TTraffic what, std::span<const std::uint8_t> bytes) {
            heard.append({what, Bytes(bytes.begin(), bytes.end())});
        });
        QVERIFY(link->SendInt(kNumber, kValue));
        const Bytes request = Request(ExSendInt);
        // The search goes on behind the bad reply's first byte; what cannot
        // start a reply any more is dropped, the rest when the retry goes out.
        const QList<QPair<TTraffic, Bytes>> expected{{TTraffic::Request, request},
                                                     {TTraffic::BadReply, bad},
                                                     {TTraffic::Dropped, Head(bad, 3)},
                                                     {TTraffic::Dropped, Cat(Tail(bad, 3), Head(ack, 2))},
                                                     {TTraffic::Request, request},
                                                     {TTraffic::Reply, ack}};
        QCOMPARE(heard, expected);
    }

    void sendString_data()
    {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("answered"); // words the converter acknowledges
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<Bytes>>("sent");

        const Bytes abc{'A', 'B', 'C'};
        QTest::newRow("count 0") << abc << 0 << 0 << true << QList<Bytes>{};
        QTest::newRow("short text")
            << abc << 3 << 3 << true
            << QList<Bytes>{WriteRequest16(22, 0x4142), WriteRequest16(23, 0x4300), WriteRequest16(24, 0)};
        const Bytes eight{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
        QList<Bytes> failed{WriteRequest16(22, 0x4142), WriteRequest16(23, 0x4344)};
        for (int i = 0; i < 10; ++i)
            failed << WriteRequest16(24, 0x4546);
        QTest::newRow("word 2 of 4 fails") << eight << 4 << 2 << false << failed;
    }

    void sendString()
    {
        QFETCH(Bytes, text);
        QFETCH(int, count);
        QFETCH(int, answered);
        QFETCH(bool, ok);
        QFETCH(QList<Bytes>, sent);

        peer->Script = [&](std::size_t, const Bytes& r) {
            if (r[0] < 22 + answered)
                peer->Send(Ack(r[0]));
        };
        QCOMPARE(link->SendString(text, 22, static_cast<std::uint8_t>(count)), ok);
        QTest::qWait(50); // nothing more arrives
        QCOMPARE(QList<Bytes>(peer->Requests().begin(), peer->Requests().end()), sent);
    }

    void bytesBeforeFirstExchangeStayUnread()
    {
        const Bytes ping = ShortReply(kPingCode);
        peer->Send(ping);
        QTRY_COMPARE(port->InputCount(), std::uint32_t(ping.size()));
        QTest::qWait(50);
        QCOMPARE(port->InputCount(), std::uint32_t(ping.size()));
        QVERIFY(link->RxBuffer.empty());
        QVERIFY(!link->PingOk);
    }

    void nestedExchangeIsRefused()
    {
        // A timer firing inside the wait cannot start a second exchange on
        // the single reply state; the running one goes on undisturbed.
        peer->Script = [&](std::size_t, const Bytes&) { peer->SendLater(60, Ack()); };
        bool refused = false;
        bool busyInside = false;
        QTimer::singleShot(20, this, [&] {
            busyInside = link->Busy();
            try {
                link->SendInt(5, 1);
            } catch (const EAbort&) {
                refused = true;
            }
        });
        QVERIFY(link->SendInt(kNumber, kValue));
        QVERIFY(busyInside);
        QVERIFY(refused);
        QCOMPARE(peer->Requests().size(), std::size_t(1));
        QCOMPARE(link->ExpectedTag, kNumber);
    }

    void closedPortRaises()
    {
        port->SetActive(false);
        QVERIFY_THROWS_EXCEPTION(EComError, link->SendInt(kNumber, kValue));
        QVERIFY(!link->Busy());
        QVERIFY(!link->TmrTimeOut.isActive());
    }

    void destroyedLinkHearsNothing()
    {
        // The port outlives the link: bytes arriving afterwards must not
        // reach a destroyed handler.
        peer->Script = [&](std::size_t, const Bytes&) { peer->Send(ShortReply(kPingCode)); };
        QVERIFY(link->Ping()); // collecting from here on
        link.reset();
        QVERIFY(!port->OnRxChar());
        QVERIFY(!port->OnLineError());
        peer->Send(ShortReply(kPingCode));
        QTRY_COMPARE(port->InputCount(), std::uint32_t(7));
    }

    void deviceVanishesDuringWait()
    {
        // The port reports the hang-up and closes; the exchange ends as a
        // lost converter instead of writing to a closed port.
        int errors = 0;
        port->SetOnError([&](TComPort&, const EComError&, TComAction&) { ++errors; });
        peer->Script = [&](std::size_t, const Bytes&) { peer->HangUp(); };
        QVERIFY(!link->SendInt(kNumber, kValue));
        QCOMPARE(peer->Requests().size(), std::size_t(1));
        QVERIFY(!port->Active());
        QCOMPARE(errors, 1);
        QVERIFY(!link->Busy());
        QVERIFY(!link->TmrTimeOut.isActive());
    }
};

QTEST_GUILESS_MAIN(TstLinkPeer)
#include "tst_linkpeer.moc"

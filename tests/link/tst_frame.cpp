#include "link/frame.h"

#include <QtTest>

using namespace lk58;

namespace {
Bytes Hex(const char* text)
{
    Bytes out;
    for (const QByteArray& part : QByteArray(text).split(' '))
        if (!part.isEmpty())
            out.push_back(static_cast<std::uint8_t>(part.toUInt(nullptr, 16)));
    return out;
}
Bytes Ascii(const char* text)
{
    return Bytes(text, text + std::strlen(text));
}
} // namespace

Q_DECLARE_METATYPE(lk58::Bytes)

class TstFrame : public QObject {
    Q_OBJECT
private slots:
    void checkValues()
    {
        const Bytes digits = Ascii("123456789");
        QCOMPARE(Crc16(digits), std::uint16_t(0xBB3D)); // CRC-16/ARC check value
        Bytes framed = digits;
        AppendChecksum(framed);
        // CRC-16/MAXIM-DOW check value 0x44C2, low byte first.
        QCOMPARE(framed[9], std::uint8_t(0xC2));
        QCOMPARE(framed[10], std::uint8_t(0x44));
        QCOMPARE(Crc16(framed), std::uint16_t(0xB001)); // residue over a whole valid frame
        QVERIFY(ChecksumValid(framed));
    }

    void stepMatchesBitwiseCrc()
    {
        // Any formulation of the reflected 0xA001 CRC must give the same accumulator.
        for (unsigned acc = 0; acc < 0x10000; acc += 257) {
            for (unsigned b = 0; b < 256; ++b) {
                unsigned ref = acc ^ b;
                for (int i = 0; i < 8; ++i)
                    ref = (ref & 1) ? (ref >> 1) ^ 0xA001 : ref >> 1;
                QCOMPARE(unsigned(Crc16(std::uint16_t(acc), std::uint8_t(b))), ref);
            }
        }
    }

    void workedFrames_data()
    {
        QTest::addColumn<Bytes>("built");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("ping request") << PingRequest() << Hex("FF BF BF");
        QTest::newRow("read-all request") << ReadAllRequest() << Hex("FE 7E 7F");
        QTest::newRow("param 1 := 2") << WriteRequest16(1, 2) << Hex("01 00 00 00 02 43 FE");
        QTest::newRow("param 20 := -50") << WriteRequest16(20, -50) << Hex("14 00 00 FF CE 0F 98");
        QTest::newRow("param 63 := 10000, 32-bit") << WriteRequest32(63, 10000) << Hex("3F 00 00 27 10 F1 C6");
        QTest::newRow("text word AB to 22") << WriteRequest16(22, 0x4142) << Hex("16 00 00 41 42 06 5D");
        QTest::newRow("ack of param 1") << ShortReply(0x00) << Hex("00 00 00 00 00 FF FF");
        QTest::newRow("ping reply") << ShortReply(kPingCode) << Hex("FF 00 00 00 00 EB EB");
    }
    void workedFrames()
    {
        QFETCH(Bytes, built);
        QFETCH(Bytes, expected);
        QCOMPARE(built, expected);
        QVERIFY(ChecksumValid(built));
    }

    void writeValueBytes_data()
    {
        QTest::addColumn<Bytes>("built");
        QTest::addColumn<Bytes>("valueBytes");
        QTest::newRow("16-bit -1") << WriteRequest16(2, -1) << Hex("00 00 FF FF");
        QTest::newRow("32-bit -1") << WriteRequest32(63, -1) << Hex("FF FF FF FF");
        QTest::newRow("16-bit drops high word") << WriteRequest16(21, 0x12345) << Hex("00 00 23 45");
        QTest::newRow("32-bit 99999") << WriteRequest32(63, 99999) << Hex("00 01 86 9F");
        QTest::newRow("32-bit -9999") << WriteRequest32(63, -9999) << Hex("FF FF D8 F1");
    }
    void writeValueBytes()
    {
        QFETCH(Bytes, built);
        QFETCH(Bytes, valueBytes);
        QCOMPARE(built.size(), kWriteRequestSize);
        QCOMPARE(Bytes(built.begin() + 1, built.begin() + 5), valueBytes);
    }

    void parameterNumberLowByteOnly()
    {
        QCOMPARE(WriteRequest16(0x100 + 5, 1)[0], std::uint8_t(5));
        QCOMPARE(WriteRequest32(0x13F, 1), WriteRequest32(63, 1));
    }

    void replyCheck_data()
    {
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<bool>("valid");
        QTest::newRow("valid ack") << Hex("00 00 00 00 00 FF FF") << true;
        QTest::newRow("valid ping reply") << Hex("FF 00 00 00 00 EB EB") << true;
        QTest::newRow("checksum bytes swapped") << Hex("14 00 00 FF CE 98 0F") << false;
        QTest::newRow("one payload bit flipped") << Hex("14 00 00 FF CF 0F 98") << false;
        QTest::newRow("checksum not complemented") << Hex("FF 00 00 00 00 14 14") << false;
        QTest::newRow("one byte") << Hex("FF") << false;
        QTest::newRow("empty") << Bytes{} << false;
    }
    void replyCheck()
    {
        QFETCH(Bytes, frame);
        QFETCH(bool, valid);
        QCOMPARE(ChecksumValid(frame), valid);
    }

    void readAllReply()
    {
        std::array<std::uint8_t, kSettingsBlockSize> block{};
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(i * 7);
        const Bytes reply = ReadAllReply(block);
        QCOMPARE(reply.size(), kReadAllReplySize);
        QCOMPARE(reply[0], kReadAllCode);
        QVERIFY(ChecksumValid(reply));
        QVERIFY(std::equal(block.begin(), block.end(), reply.begin() + 1));
    }

    void textWords_data()
    {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("words");
        QTest::newRow("three chars in two words") << Ascii("ABC") << 2 << QList<int>{0x4142, 0x4300};
        QTest::newRow("15 chars in 8 words ends in one zero") << Ascii("ABCDEFGHIJKLMNO") << 8
            << QList<int>{0x4142, 0x4344, 0x4546, 0x4748, 0x494A, 0x4B4C, 0x4D4E, 0x4F00};
        QTest::newRow("exactly 2 x count") << Ascii("ABCDEFGH") << 4 << QList<int>{0x4142, 0x4344, 0x4546, 0x4748};
        QTest::newRow("beyond 2 x count dropped") << Ascii("ABCDEFGHIJ") << 4 << QList<int>{0x4142, 0x4344, 0x4546, 0x4748};
        QTest::newRow("short text zero-filled") << Ascii("A") << 3 << QList<int>{0x4100, 0, 0};
        QTest::newRow("empty text all zero") << Bytes{} << 4 << QList<int>{0, 0, 0, 0};
        QTest::newRow("count 0") << Ascii("AB") << 0 << QList<int>{};
        QTest::newRow("high bytes kept") << Bytes{0x8A, 0x9D} << 1 << QList<int>{0x8A9D};
    }
    void textWords()
    {
        QFETCH(Bytes, text);
        QFETCH(int, count);
        QFETCH(QList<int>, words);
        const auto got = TextWords(text, std::size_t(count));
        QCOMPARE(int(got.size()), words.size());
        for (int i = 0; i < words.size(); ++i)
            QCOMPARE(int(got[std::size_t(i)]), words[i]);
    }
};

QTEST_APPLESS_MAIN(TstFrame)
#include "tst_frame.moc"

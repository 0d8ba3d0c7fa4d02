#include "settings/textcodec.h"

#include <QtTest>

#include <set>

using namespace lk58;

namespace {
QByteArray Hex(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).toHex(' ').toUpper();
}
Bytes FromHex(const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}
} // namespace

class TstTextCodec : public QObject {
    Q_OBJECT
private slots:
    void encode_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QByteArray>("cp1250");
        QTest::newRow("ascii") << QByteArray("TQ36") << 8 << QByteArray("54 51 33 36");
        QTest::newRow("czech name") << QByteArray("Kalibroval Šťěpán") << 32
                                    << QByteArray("4B 61 6C 69 62 72 6F 76 61 6C 20 8A 9D EC 70 E1 6E");
        QTest::newRow("cut to field bytes") << QByteArray("Kalibroval Šťěpán") << 15
                                            << QByteArray("4B 61 6C 69 62 72 6F 76 61 6C 20 8A 9D EC 70");
        QTest::newRow("euro sign") << QByteArray("€") << 8 << QByteArray("80");
        QTest::newRow("not in code page") << QByteArray("a日本b") << 8 << QByteArray("61 3F 3F 62");
        QTest::newRow("outside the BMP") << QByteArray("😀x") << 8 << QByteArray("3F 78");
        QTest::newRow("language tag") << QByteArray("a\xF3\xA0\x80\x81" "b") << 8 << QByteArray("61 3F 62");
        QTest::newRow("stray byte") << QByteArray("a\xFF" "b") << 8 << QByteArray("61 3F 62");
        QTest::newRow("broken sequence") << QByteArray("\xE2\x82x") << 8 << QByteArray("3F 78");
        QTest::newRow("cut sequence at end") << QByteArray("ok\xC5") << 8 << QByteArray("6F 6B 3F");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << 8 << QByteArray("3F 3F");
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << 8 << QByteArray("3F 3F 3F");
        QTest::newRow("empty") << QByteArray() << 8 << QByteArray();
        QTest::newRow("zero width") << QByteArray("abc") << 0 << QByteArray();
    }
    void encode()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(int, maxBytes);
        QFETCH(QByteArray, cp1250);
        QCOMPARE(Hex(EncodeText(utf8.toStdString(), std::size_t(maxBytes))), cp1250);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("text");
        QTest::newRow("czech name") << QByteArray("4B 61 6C 69 62 72 6F 76 61 6C 20 8A 9D EC 70 E1 6E")
                                    << QStringLiteral("Kalibroval Šťěpán");
        QTest::newRow("up to the zero byte") << QByteArray("54 51 00 36 37") << QStringLiteral("TQ");
        QTest::newRow("no zero byte") << QByteArray("31 32 33 34 35 36 37 38") << QStringLiteral("12345678");
        QTest::newRow("zero first") << QByteArray("00 41") << QString();
        QTest::newRow("unassigned byte 81") << QByteArray("41 81 42") << QStringLiteral("A?B");
        QTest::newRow("euro and quotes") << QByteArray("80 84 93") << QStringLiteral("€„“");
    }
    void decode()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(DecodeText(FromHex(hex.constData()))), text);
    }

    // Every character of the code page survives a load and a rewrite.
    void everyCodePageByteRoundTrips()
    {
        const std::set<std::uint8_t> unassigned{0x81, 0x83, 0x88, 0x90, 0x98};
        for (int b = 1; b < 256; ++b) {
            const Bytes one{std::uint8_t(b)};
            const std::string text = DecodeText(one);
            if (unassigned.count(std::uint8_t(b))) {
                QCOMPARE(text, std::string("?"));
                continue;
            }
            QCOMPARE(QString::fromStdString(text).size(), 1);
            QCOMPARE(Hex(EncodeText(text, 1)), Hex(one));
        }
    }
};

QTEST_APPLESS_MAIN(TstTextCodec)
#include "tst_textcodec.moc"

#include "settings/parammap.h"

#include <QFile>
#include <QtTest>

#include <set>

using namespace lk58;

namespace {
// A block whose bytes at the given read-all reply offset are `hex`.
SettingsBlock BlockWith(std::size_t offset, const QByteArray& hex)
{
    std::array<std::uint8_t, kSettingsBlockSize> bytes{};
    const QByteArray raw = QByteArray::fromHex(hex);
    for (int i = 0; i < raw.size(); ++i)
        bytes.at(offset - 1 + std::size_t(i)) = std::uint8_t(raw[i]);
    return SettingsBlock(bytes);
}
const SettingInfo& ByField(const QByteArray& field)
{
    for (const SettingInfo& s : kSettings)
        if (field == s.field)
            return s;
    qFatal("no setting %s", field.constData());
}
Bytes ReadHexFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    Bytes out;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('#'))
            continue;
        const QByteArray raw = QByteArray::fromHex(line);
        out.insert(out.end(), raw.begin(), raw.end());
    }
    return out;
}
} // namespace

class TstParamMap : public QObject {
    Q_OBJECT
private slots:
    // Each setting lies at its own parameter word, as the block layout says.
    void tableFollowsBlockLayout()
    {
        std::set<int> words;
        for (const SettingInfo& s : kSettings) {
            const bool lowByteOnly = s.kind == FieldKind::Radio || s.kind == FieldKind::Check;
            QCOMPARE(s.offset, std::size_t(2 * s.number - (lowByteOnly ? 0 : 1)));
            QVERIFY(s.width <= 2u * s.words);
            for (int w = s.number; w < s.number + s.words; ++w)
                QVERIFY2(words.insert(w).second, s.field);
        }
    }

    void choices_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("item");
        QTest::newRow("input 5 is PT100") << QByteArray("RdGrpInput") << 5 << 4;
        QTest::newRow("input 0 no selection") << QByteArray("RdGrpInput") << 0 << -1;
        QTest::newRow("input 9 is the last") << QByteArray("RdGrpInput") << 9 << 4;
        QTest::newRow("in-err 2 is output 2 mA") << QByteArray("RdGrpInErr") << 2 << 2;
        QTest::newRow("in-err 0 no indication") << QByteArray("RdGrpInErr") << 0 << 0;
        QTest::newRow("in-err 7 is the last") << QByteArray("RdGrpInErr") << 7 << 2;
        QTest::newRow("output 3 is 4-20 mA") << QByteArray("RdGrpOutput") << 3 << 2;
        QTest::newRow("wire 1 is 2 or 4 wire") << QByteArray("RdGrpWire") << 1 << 0;
        QTest::newRow("wire 255 is the last") << QByteArray("RdGrpWire") << 255 << 1;
    }
    void choices()
    {
        QFETCH(QByteArray, field);
        QFETCH(int, byte);
        QFETCH(int, item);
        const SettingInfo& s = ByField(field);
        // The high byte of the word is not read.
        const SettingsBlock block = BlockWith(s.offset - 1, QByteArray::number(0x7700 + byte, 16));
        QCOMPARE(DecodeRadioItem(block, s), item);
    }

    void checks_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1 checked") << 1 << true;
        QTest::newRow("0 unchecked") << 0 << false;
        QTest::newRow("2 unchecked") << 2 << false;
    }
    void checks()
    {
        QFETCH(int, byte);
        QFETCH(bool, checked);
        const QByteArray hex = QByteArray::number(byte + 0x100, 16).right(2);
        QCOMPARE(DecodeCheck(BlockWith(kOutputLimit.offset, hex), kOutputLimit), checked);
        QCOMPARE(DecodeCheck(BlockWith(kColdComp.offset, hex), kColdComp), checked);
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("begin FF 9C") << QByteArray("MskEdtTempBegin") << QByteArray("FF9C") << -100 << QByteArray("-100");
        QTest::newRow("begin 00 00") << QByteArray("MskEdtTempBegin") << QByteArray("0000") << 0 << QByteArray("000");
        QTest::newRow("begin 00 32") << QByteArray("MskEdtTempBegin") << QByteArray("0032") << 50 << QByteArray("0050");
        QTest::newRow("begin 150") << QByteArray("MskEdtTempBegin") << QByteArray("0096") << 150 << QByteArray("0150");
        QTest::newRow("begin -5") << QByteArray("MskEdtTempBegin") << QByteArray("FFFB") << -5 << QByteArray("-005");
        // Signed, so a negative end reads back as written and fits the field.
        QTest::newRow("end FF 9C") << QByteArray("MskEdtTempEnd") << QByteArray("FF9C") << -100 << QByteArray("-100");
        QTest::newRow("end 0") << QByteArray("MskEdtTempEnd") << QByteArray("0000") << 0 << QByteArray("0000");
        QTest::newRow("end -5") << QByteArray("MskEdtTempEnd") << QByteArray("FFFB") << -5 << QByteArray("-005");
        QTest::newRow("end 9999") << QByteArray("MskEdtTempEnd") << QByteArray("270F") << 9999 << QByteArray("9999");
        QTest::newRow("set temp 00 FA") << QByteArray("MskEdtSetTemp") << QByteArray("00FA") << 250 << QByteArray(" 25,0");
        QTest::newRow("set temp -99,9") << QByteArray("MskEdtSetTemp") << QByteArray("FC19") << -999 << QByteArray("-99,9");
        // The sign stays in the first position, where the mask takes it.
        QTest::newRow("set temp -0,5") << QByteArray("MskEdtSetTemp") << QByteArray("FFFB") << -5 << QByteArray("-00,5");
        QTest::newRow("res comp 00 00 04 D2") << QByteArray("MskEdtResComp") << QByteArray("000004D2") << 1234 << QByteArray(" 12,34");
        QTest::newRow("res comp -99,99") << QByteArray("MskEdtResComp") << QByteArray("FFFFD8F1") << -9999 << QByteArray("-99,99");
        QTest::newRow("res comp 999,99") << QByteArray("MskEdtResComp") << QByteArray("0001869F") << 99999 << QByteArray("999,99");
        QTest::newRow("res comp -0,05") << QByteArray("MskEdtResComp") << QByteArray("FFFFFFFB") << -5 << QByteArray("-00,05");
    }
    void numbers()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, hex);
        QFETCH(int, value);
        QFETCH(QByteArray, text);
        const SettingInfo& s = ByField(field);
        const SettingsBlock block = BlockWith(s.offset, hex);
        QCOMPARE(DecodeNumber(block, s), value);
        QCOMPARE(QByteArray::fromStdString(FormatNumberField(s, value)), text);
    }

    void texts()
    {
        SettingsBlock block = BlockWith(kType.offset, "5451333600FFFFFF");
        StoreText(block, kSerial, EncodeTextField(kSerial, "123456789"));
        StoreText(block, kName, EncodeTextField(kName, "Kotel č. 3"));
        // All 16 bytes of the person field filled: only 15 are shown.
        block.SetWords(kPerson.number, TextWords(EncodeText("ABCDEFGHIJKLMNOP", 16), kPerson.words));
        QCOMPARE(DecodeTextField(block, kType), std::string("TQ36"));
        QCOMPARE(DecodeTextField(block, kSerial), std::string("12345678"));
        QCOMPARE(QString::fromStdString(DecodeTextField(block, kName)), QStringLiteral("Kotel č. 3"));
        QCOMPARE(DecodeTextField(block, kPerson), std::string("ABCDEFGHIJKLMNO"));
        // The form's 15 characters fit: the 16th byte written is the zero.
        QCOMPARE(EncodeTextField(kPerson, "ABCDEFGHIJKLMNOP").size(), std::size_t(15));
    }

    void radioAndCheckValues_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("value");
        QTest::newRow("4 - 20 mADC") << QByteArray("RdGrpOutput") << 2 << 5 << 3;
        QTest::newRow("no indication") << QByteArray("RdGrpInErr") << 0 << 3 << 0;
        QTest::newRow("output 2 mA") << QByteArray("RdGrpInErr") << 2 << 3 << 2;
        QTest::newRow("PT100") << QByteArray("RdGrpInput") << 4 << 1 << 5;
        QTest::newRow("J") << QByteArray("RdGrpInput") << 0 << 1 << 1;
        QTest::newRow("3 wire") << QByteArray("RdGrpWire") << 1 << 61 << 2;
    }
    void radioAndCheckValues()
    {
        QFETCH(QByteArray, field);
        QFETCH(int, item);
        QFETCH(int, number);
        QFETCH(int, value);
        const SettingInfo& s = ByField(field);
        QCOMPARE(s.number, number);
        QCOMPARE(RadioValue(s, item), value);
    }

    void clampRadioItem()
    {
        QCOMPARE(ClampRadioItem(-5, 3), -1);
        QCOMPARE(ClampRadioItem(-1, 3), -1);
        QCOMPARE(ClampRadioItem(2, 3), 2);
        QCOMPARE(ClampRadioItem(3, 3), 2);
    }

    void readFields_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<int>("value");
        QTest::newRow("025,5 -> 255") << QByteArray("MskEdtSetTemp") << QByteArray("025,5") << true << 255;
        QTest::newRow("012,34 -> 1234") << QByteArray("MskEdtResComp") << QByteArray("012,34") << true << 1234;
        QTest::newRow("blank first") << QByteArray("MskEdtSetTemp") << QByteArray(" 25,0") << true << 250;
        QTest::newRow("empty set temp") << QByteArray("MskEdtSetTemp") << QByteArray("   ,0") << true << 0;
        QTest::newRow("negative set temp") << QByteArray("MskEdtSetTemp") << QByteArray("-99,9") << true << -999;
        QTest::newRow("blanks count in place") << QByteArray("MskEdtResComp") << QByteArray("  5,  ") << true << 500;
        QTest::newRow("point is no separator") << QByteArray("MskEdtSetTemp") << QByteArray("025.5") << false << 0;
        QTest::newRow("extra digit rounds up") << QByteArray("MskEdtResComp") << QByteArray("12,345") << true << 1235;
        QTest::newRow("extra digit rounds down") << QByteArray("MskEdtResComp") << QByteArray("12,344") << true << 1234;
        QTest::newRow("negative half away") << QByteArray("MskEdtResComp") << QByteArray("-12,345") << true << -1235;
        QTest::newRow("letters") << QByteArray("MskEdtSetTemp") << QByteArray("2a,0") << false << 0;
        QTest::newRow("range 5 then blanks") << QByteArray("MskEdtTempBegin") << QByteArray("5   ") << true << 5000;
        QTest::newRow("range 0050") << QByteArray("MskEdtTempEnd") << QByteArray("0050") << true << 50;
        QTest::newRow("range -005") << QByteArray("MskEdtTempBegin") << QByteArray("-005") << true << -5;
        QTest::newRow("range sign only") << QByteArray("MskEdtTempBegin") << QByteArray("-   ") << true << 0;
        QTest::newRow("range plus") << QByteArray("MskEdtTempBegin") << QByteArray("+999") << true << 999;
        QTest::newRow("range comma") << QByteArray("MskEdtTempBegin") << QByteArray("12,5") << false << 0;
        QTest::newRow("sign inside") << QByteArray("MskEdtTempBegin") << QByteArray("0-05") << false << 0;
        QTest::newRow("empty text") << QByteArray("MskEdtTempBegin") << QByteArray() << false << 0;
        QTest::newRow("too big") << QByteArray("MskEdtTempBegin") << QByteArray("2147483648") << false << 0;
        QTest::newRow("largest") << QByteArray("MskEdtTempBegin") << QByteArray("2147483647") << true << 2147483647;
    }
    void readFields()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, text);
        QFETCH(bool, converts);
        QFETCH(int, value);
        const std::optional<std::int32_t> got = ReadNumberField(ByField(field), text.toStdString());
        QCOMPARE(got.has_value(), converts);
        if (converts)
            QCOMPARE(*got, value);
    }

    void writtenDate()
    {
        using namespace std::chrono;
        SettingsBlock block;
        StoreText(block, kDate, EncodeDateField(year{2007} / August / 6));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(block.Field(kDate).data()), 8),
                 QByteArray("060807\0\0", 8));
        const DateDecode got = DecodeDateField(block);
        QCOMPARE(got.corruptReports, 0);
        QVERIFY(got.date == year{2007} / August / 6);
        QCOMPARE(EncodeDateField(year{1998} / December / 31), Bytes({'3', '1', '1', '2', '9', '8'}));
    }

    // Every text a masked field admits writes a value that loads back into
    // the field's positions as the same value.
    void maskRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("mask");
        QTest::newRow("range begin") << QByteArray("MskEdtTempBegin") << QByteArray("#999");
        QTest::newRow("range end") << QByteArray("MskEdtTempEnd") << QByteArray("#999");
        QTest::newRow("set temperature") << QByteArray("MskEdtSetTemp") << QByteArray("#99,9");
        QTest::newRow("resistance compensation") << QByteArray("MskEdtResComp") << QByteArray("#99,99");
    }
    void maskRoundTrip()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, mask);
        const SettingInfo& s = ByField(field);
        std::set<std::int32_t> values;
        std::string text(std::size_t(mask.size()), ' ');
        EnumerateMask(mask, 0, text, [&](const std::string& typed) {
            const std::optional<std::int32_t> v = ReadNumberField(s, typed);
            QVERIFY2(v && FitsField(s, *v), typed.c_str());
            SettingsBlock block;
            StoreValue(block, s, *v);
            QCOMPARE(DecodeNumber(block, s), *v);
            std::string shown = FormatNumberField(s, *v);
            QVERIFY2(shown.size() <= text.size(), shown.c_str());
            shown.resize(text.size(), ' '); // a short text leaves the last positions empty
            for (std::size_t i = 0; i < shown.size(); ++i)
                QVERIFY2((shown[i] == ',') == (mask[qsizetype(i)] == ','), shown.c_str());
            QCOMPARE(ReadNumberField(s, shown), v);
            values.insert(*v);
        });
        QCOMPARE(qsizetype(values.size()), qsizetype(s.maxValue - s.minValue + 1));
    }

    // A converter's block decodes to known texts and values, and the form's
    // writes of those values rebuild it byte for byte.
    void referenceBlock()
    {
        const Bytes reply = ReadHexFile(QStringLiteral(LK58_SETTINGS_DATA "/reference_reply.hex"));
        QCOMPARE(reply.size(), kReadAllReplySize);
        QVERIFY(ChecksumValid(reply));
        const LoadedSettings s = DecodeSettings(SettingsBlock::FromReply(reply));
        QCOMPARE(s.type, std::string("TQ36"));
        QCOMPARE(s.serial, std::string("12345678"));
        QCOMPARE(QString::fromStdString(s.name), QStringLiteral("Kotel č. 3"));
        QCOMPARE(QString::fromStdString(s.person), QStringLiteral("Šťěpán Dvořák"));
        QCOMPARE(s.date.corruptReports, 0);
        QVERIFY(s.date.date == std::chrono::year{2007} / 8 / 6);
        QCOMPARE(s.inputItem, 4);
        QCOMPARE(s.outputLimit, true);
        QCOMPARE(s.inputErrorItem, 2);
        QCOMPARE(s.coldComp, false);
        QCOMPARE(s.outputItem, 2);
        QCOMPARE(s.wiringItem, 0);
        QCOMPARE(s.rangeBeginText, std::string("-050"));
        QCOMPARE(s.rangeEndText, std::string("1200"));
        QCOMPARE(s.setTempText, std::string(" 25,0"));
        QCOMPARE(s.resCompText, std::string(" 12,34"));

        SettingsBlock rebuilt;
        StoreValue(rebuilt, kInputType, RadioValue(kInputType, s.inputItem));
        StoreValue(rebuilt, kOutputLimit, CheckValue(s.outputLimit));
        StoreValue(rebuilt, kInputError, RadioValue(kInputError, s.inputErrorItem));
        StoreValue(rebuilt, kColdComp, CheckValue(s.coldComp));
        StoreValue(rebuilt, kOutputType, RadioValue(kOutputType, s.outputItem));
        StoreValue(rebuilt, kWiring, RadioValue(kWiring, s.wiringItem));
        for (const SettingInfo* f : {&kRangeBegin, &kRangeEnd, &kSetTemp, &kResComp}) {
            const std::string shown = f == &kRangeBegin ? s.rangeBeginText
                                    : f == &kRangeEnd   ? s.rangeEndText
                                    : f == &kSetTemp    ? s.setTempText
                                                        : s.resCompText;
            StoreValue(rebuilt, *f, ReadNumberField(*f, shown).value());
        }
        StoreText(rebuilt, kType, EncodeTextField(kType, s.type));
        StoreText(rebuilt, kSerial, EncodeTextField(kSerial, s.serial));
        StoreText(rebuilt, kName, EncodeTextField(kName, s.name));
        StoreText(rebuilt, kDate, EncodeDateField(*s.date.date));
        StoreText(rebuilt, kPerson, EncodeTextField(kPerson, s.person));
        QVERIFY(rebuilt.Reply() == reply);
    }

    void blockBounds()
    {
        SettingsBlock block;
        block.SetLong(63, -2);
        QCOMPARE(block.Word(63), std::uint16_t(0xFFFF));
        QCOMPARE(block.Word(64), std::uint16_t(0xFFFE));
        QCOMPARE(block.At(128), std::uint8_t(0xFE));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, block.Word(65));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, block.SetLong(64, 1));
        QCOMPARE(block.Word(64), std::uint16_t(0xFFFE)); // a refused write changes nothing
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, SettingsBlock::FromReply(Bytes(130)));
    }

private:
    // Calls `visit` with every text that `mask` admits: "#" a sign, a digit
    // or a blank; "9" a digit or a blank; "," itself.
    template <class Visit>
    static void EnumerateMask(const QByteArray& mask, std::size_t at, std::string& text, Visit&& visit)
    {
        if (QTest::currentTestFailed())
            return;
        if (at == text.size()) {
            visit(text);
            return;
        }
        const char m = mask[qsizetype(at)];
        std::string choices = m == ',' ? "," : " 0123456789";
        if (m == '#')
            choices += "+-";
        for (char c : choices) {
            text[at] = c;
            EnumerateMask(mask, at + 1, text, visit);
        }
    }
};

QTEST_APPLESS_MAIN(TstParamMap)
#include "tst_parammap.moc"

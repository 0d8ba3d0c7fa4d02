#include "settings/datecodec.h"

#include <QDate>
#include <QtTest>

using namespace lk58;
using namespace std::chrono;

namespace {
// The date field's 8 bytes: the characters, then zero bytes.
std::array<std::uint8_t, 8> Field(const QByteArray& chars)
{
    std::array<std::uint8_t, 8> field{};
    for (int i = 0; i < chars.size() && i < 8; ++i)
        field[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(chars[i]);
    return field;
}
QDate ToQDate(const std::optional<year_month_day>& d)
{
    if (!d)
        return {};
    return QDate(int(d->year()), int(unsigned(d->month())), int(unsigned(d->day())));
}
year_month_day Ymd(int y, unsigned m, unsigned d)
{
    return year_month_day{year{y}, month{m}, day{d}};
}
} // namespace

class TstDateCodec : public QObject {
    Q_OBJECT
private slots:
    void blockInteger_data()
    {
        QTest::addColumn<QByteArray>("chars");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<int>("value");
        QTest::newRow("07") << QByteArray("07") << true << 7;
        QTest::newRow("leading blank") << QByteArray(" 7") << true << 7;
        QTest::newRow("plus sign") << QByteArray("+7") << true << 7;
        QTest::newRow("minus sign") << QByteArray("-1") << true << -1;
        QTest::newRow("trailing blank") << QByteArray("7 ") << false << 0;
        QTest::newRow("two blanks") << QByteArray("  ") << false << 0;
        QTest::newRow("sign and blank") << QByteArray("- ") << false << 0;
        QTest::newRow("x7 is no hex number") << QByteArray("x7") << false << 0;
        QTest::newRow("letters") << QByteArray("AB") << false << 0;
        QTest::newRow("separator after digit") << QByteArray("8.") << false << 0;
        QTest::newRow("two zero bytes") << QByteArray("\0\0", 2) << false << 0;
        QTest::newRow("digit and zero byte") << QByteArray("7\0", 2) << false << 0;
    }
    void blockInteger()
    {
        QFETCH(QByteArray, chars);
        QFETCH(bool, converts);
        QFETCH(int, value);
        const auto* p = reinterpret_cast<const std::uint8_t*>(chars.constData());
        const std::optional<int> got = BlockInteger(std::span(p, std::size_t(chars.size())));
        QCOMPARE(got.has_value(), converts);
        if (converts)
            QCOMPARE(*got, value);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("chars");
        QTest::addColumn<int>("reports");
        QTest::addColumn<QDate>("date");
        QTest::newRow("060807") << QByteArray("060807") << 0 << QDate(2007, 8, 6);
        QTest::newRow("311207") << QByteArray("311207") << 0 << QDate(2007, 12, 31);
        QTest::newRow("06.08.07 second layout") << QByteArray("06.08.07") << 0 << QDate(2007, 8, 6);
        QTest::newRow("01.01.99 second layout") << QByteArray("01.01.99") << 0 << QDate(1999, 1, 1);
        QTest::newRow("010197") << QByteArray("010197") << 0 << QDate(1997, 1, 1);
        QTest::newRow("010196 is 2096") << QByteArray("010196") << 0 << QDate(2096, 1, 1);
        QTest::newRow("leap day 2000") << QByteArray("290200") << 0 << QDate(2000, 2, 29);
        QTest::newRow("blanks before digits") << QByteArray(" 6 8 7") << 0 << QDate(2007, 8, 6);
        QTest::newRow("signed year -1 is 1999") << QByteArray("0608-1") << 0 << QDate(1999, 8, 6);
        // The picker cannot hold 1995: the date is not shown as another one.
        QTest::newRow("signed year -5 is 1995") << QByteArray("0608-5") << 1 << QDate();
        QTest::newRow("310207 no such day") << QByteArray("310207") << 1 << QDate();
        QTest::newRow("290297 no leap year") << QByteArray("290297") << 1 << QDate();
        QTest::newRow("month 13") << QByteArray("061307") << 1 << QDate();
        QTest::newRow("day 00") << QByteArray("000807") << 1 << QDate();
        QTest::newRow("all zero bytes") << QByteArray() << 1 << QDate();
        QTest::newRow("0608x7 both years fail") << QByteArray("0608x7") << 1 << QDate();
        QTest::newRow("06AB07 bad month") << QByteArray("06AB07") << 1 << QDate();
        QTest::newRow("bad month and day") << QByteArray("xxAB07") << 2 << QDate();
        QTest::newRow("second layout bad month and day") << QByteArray("xx.AB.07") << 2 << QDate();
        QTest::newRow("day with trailing blank") << QByteArray("6 0807") << 1 << QDate();
        // Year 81 converts at the first layout's place, so its bad month is
        // not retried in the second layout (which would read 6 August 2007).
        QTest::newRow("first layout kept") << QByteArray("06x08107") << 1 << QDate();
    }
    void decode()
    {
        QFETCH(QByteArray, chars);
        QFETCH(int, reports);
        QFETCH(QDate, date);
        const DateDecode got = DecodeDate(Field(chars));
        QCOMPARE(got.corruptReports, reports);
        QCOMPARE(ToQDate(got.date), date);
    }

    void write_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("6 August 2007") << QDate(2007, 8, 6) << QByteArray("060807");
        QTest::newRow("31 December 1998") << QDate(1998, 12, 31) << QByteArray("311298");
        QTest::newRow("first writable day") << QDate(1997, 1, 1) << QByteArray("010197");
        QTest::newRow("year 2000") << QDate(2000, 1, 1) << QByteArray("010100");
        QTest::newRow("last writable day") << QDate(2096, 12, 31) << QByteArray("311296");
        // Outside the picker's range the year does not read back.
        QTest::newRow("2097 reads as 1997") << QDate(2097, 3, 4) << QByteArray("040397");
        QTest::newRow("2100 three digits") << QDate(2100, 1, 1) << QByteArray("0101100");
        QTest::newRow("1996 wraps 16 bits") << QDate(1996, 5, 5) << QByteArray("050565532");
    }
    void write()
    {
        QFETCH(QDate, date);
        QFETCH(QByteArray, text);
        const year_month_day d = Ymd(date.year(), unsigned(date.month()), unsigned(date.day()));
        QCOMPARE(QByteArray::fromStdString(DateText(d)), text);
    }

    void everyWritableDateReadsBack()
    {
        int count = 0;
        for (sys_days d = sys_days(kFirstWritableDate); d <= sys_days(kLastWritableDate); d += days{1}) {
            const year_month_day date{d};
            const std::string text = DateText(date);
            const DateDecode got = DecodeDate(Field(QByteArray::fromStdString(text)));
            if (got.corruptReports != 0 || got.date != date)
                QFAIL(qPrintable(QStringLiteral("date text %1 does not read back").arg(text.c_str())));
            ++count;
        }
        QCOMPARE(count, 36525);
    }
};

QTEST_APPLESS_MAIN(TstDateCodec)
#include "tst_datecodec.moc"

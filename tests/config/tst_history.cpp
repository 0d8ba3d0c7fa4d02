// The change log's file: reading what a power cut or a stray line left,
// appending after it, the outcome settled in place, and the settings as
// they stood before a change.
#include "config/history.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace lk58;
using namespace lk58::config;

namespace {

HistoryRecord Record(qint64 id, Key key, std::optional<Value> before, std::optional<Value> after,
                     Outcome outcome = Outcome::Verified)
{
    HistoryRecord r;
    r.id = id;
    r.time = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:0%1.250Z").arg(id % 10), Qt::ISODateWithMs);
    r.program = QStringLiteral("tq36ctl 0.2.1.7");
    r.user = QStringLiteral("jan");
    r.host = QStringLiteral("bench2");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.key = key;
    r.before = std::move(before);
    r.after = std::move(after);
    r.outcome = outcome;
    return r;
}

Bytes Text(const char* s)
{
    return Bytes(s, s + std::strlen(s));
}

QByteArray Line(qint64 id, const char* label)
{
    return RecordLine(Record(id, Key::Label, Value(Text("Boiler 2")), Value(Text(label)))) + '\n';
}

QList<qint64> Ids(const std::vector<HistoryRecord>& records)
{
    QList<qint64> ids;
    for (const HistoryRecord& r : records)
        ids << r.id;
    return ids;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TstHistory : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // A record's line reads back as the record, every field and value kind.
    void lineRoundTrip()
    {
        const std::vector<HistoryRecord> records{
            Record(1, Key::Label, Value(Text("Kotel \x9a")), Value(Text(""))),
            Record(2, Key::SetTemperature, Value(std::int32_t(250)), Value(std::int32_t(-15)), Outcome::Acknowledged),
            Record(3, Key::CalibrationDate, std::nullopt,
                   Value(std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(3), std::chrono::day(14))),
                   Outcome::Failed),
            Record(4, Key::OutputLimit, Value(std::int32_t(0)), Value(std::int32_t(1)))};
        for (const HistoryRecord& r : records) {
            const QByteArray line = RecordLine(r);
            const std::optional<HistoryRecord> back = ParseRecord(line);
            QVERIFY2(back, line.constData());
            QCOMPARE(RecordLine(*back), line);
            // Every outcome is as wide as the longest, so it can be rewritten in place.
            QCOMPARE(line.size(), RecordLine(Record(r.id, r.key, r.before, r.after, Outcome::Acknowledged)).size());
        }
        QVERIFY(RecordLine(records[1]).contains(R"("key":"set_temperature","before":25.0,"after":-1.5,"outcome":"acknowledged"})"));
        QVERIFY(RecordLine(records[2], false).endsWith(R"("before":null,"after":"2026-03-14","outcome":"failed"})"));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<QStringList>("warnings"); // what each says, after the path
        QTest::newRow("whole") << Line(1, "A") + Line(2, "B") << QList<qint64>{1, 2} << QStringList{};
        QTest::newRow("empty") << QByteArray() << QList<qint64>{} << QStringList{};
        QTest::newRow("last line cut by a power cut")
            << Line(1, "A") + Line(2, "B") + Line(3, "C").left(40) << QList<qint64>{1, 2}
            << QStringList{":3: the last line is cut short (the log was cut while it was written); skipped"};
        QTest::newRow("cut line, then appended after")
            << Line(1, "A") + Line(2, "B").left(40) + '\n' + Line(3, "C") << QList<qint64>{1, 3}
            << QStringList{":2: holds no change record; skipped"};
        QTest::newRow("a stray line and a blank one")
            << Line(1, "A") + "not json\n\n" + R"({"id":2,"key":"nothing"})" + '\n' + Line(3, "C")
            << QList<qint64>{1, 3}
            << QStringList{":2: holds no change record; skipped", ":4: holds no change record; skipped"};
        QTest::newRow("a time that is no time")
            << Line(1, "A") + Line(2, "B").replace("10:00:02.250Z", "10:00:0x.250Z") + Line(3, "C")
            << QList<qint64>{1, 3} << QStringList{":2: holds no change record; skipped"};
        QTest::newRow("a value the form would refuse")
            << Line(1, "A") + Line(2, "much too long a label") << QList<qint64>{1}
            << QStringList{":2: holds no change record; skipped"};
    }
    void reading()
    {
        QFETCH(QByteArray, log);
        QFETCH(QList<qint64>, ids);
        QFETCH(QStringList, warnings);
        const QString path = dir.filePath(QTest::currentDataTag());
        WriteAll(path, log);
        const HistoryReading r = ReadHistory(path);
        QCOMPARE(r.error, QString());
        QCOMPARE(Ids(r.records), ids);
        QStringList seen;
        for (const QString& w : r.warnings) {
            QVERIFY2(w.startsWith(QDir::toNativeSeparators(path) + ':'), qPrintable(w));
            seen << w.mid(QDir::toNativeSeparators(path).size());
        }
        QCOMPARE(seen, warnings);
    }

    // A line edited by hand, its fields in another order or with one more,
    // reads as the same record as the log's own line.
    void anyShapeReadsAlike_data()
    {
        QTest::addColumn<QByteArray>("line"); // as the log writes it
        HistoryRecord quoted = Record(1, Key::Label, Value(Text("A\"B\\C")), Value(Text("x\x01y")));
        quoted.program = QStringLiteral("tq36ctl \"beta\" 0.3");
        QTest::newRow("quotes, backslashes, control bytes") << RecordLine(quoted);
        HistoryRecord czech = Record(2, Key::CalibratedBy, Value(Text("Ji\xf8\xed Nov\xe1k")), std::nullopt);
        czech.user = QStringLiteral("jiří");
        czech.host = QStringLiteral("dílna-🔥");
        QTest::newRow("letters beyond ASCII") << RecordLine(czech);
        QTest::newRow("a byte without a character") << RecordLine(Record(3, Key::Label, Value(Bytes{'A', 0x81}), Value(Text(""))));
        QTest::newRow("decimals") << RecordLine(Record(4, Key::SetTemperature, Value(std::int32_t(250)), Value(std::int32_t(-15)), Outcome::Acknowledged));
        QTest::newRow("whole numbers") << RecordLine(Record(5, Key::RangeEnd, Value(std::int32_t(-999)), Value(std::int32_t(9999)), Outcome::Failed));
        QTest::newRow("truth values") << RecordLine(Record(6, Key::OutputLimit, Value(std::int32_t(0)), Value(std::int32_t(1))));
        QTest::newRow("choices") << RecordLine(Record(7, Key::Input, Value(std::int32_t(1)), Value(std::int32_t(5))));
        QTest::newRow("dates") << RecordLine(Record(8, Key::CalibrationDate, std::nullopt, Value(kLastWritableDate)));
    }
    void anyShapeReadsAlike()
    {
        QFETCH(QByteArray, line);
        const QByteArray body = line.chopped(1); // without its "}"
        const qsizetype afterId = line.indexOf(',');
        const QByteArray idLast = '{' + body.mid(afterId + 1) + ',' + body.mid(1, afterId - 1) + '}';
        const QByteArray oneMore = body + R"(,"note":"by hand"})";
        for (const QByteArray& shape : {line, idLast, oneMore}) {
            const std::optional<HistoryRecord> r = ParseRecord(shape);
            QVERIFY2(r, shape.constData());
            QCOMPARE(RecordLine(*r), line);
        }
    }

    // Records read from one log keep their own program, user, host and
    // port, however these alternate from line to line.
    void namesOfEachRecord()
    {
        const QStringList users{"jan", "eva", "jan", "", "jiří", "jan"};
        const QStringList hosts{"bench2", "bench2", "dílna", "bench2", "bench2", "bench\\2"};
        QList<QByteArray> lines;
        QByteArray log;
        for (int i = 0; i < users.size(); ++i) {
            HistoryRecord r = Record(i + 1, Key::RangeEnd, Value(std::int32_t(400 + i)), Value(std::int32_t(401 + i)));
            r.user = users[i];
            r.host = hosts[i];
            r.port = i % 2 ? QStringLiteral("COM3") : QStringLiteral("/dev/ttyUSB0");
            r.program = i < 3 ? QStringLiteral("tq36ctl 0.2.1.7") : QStringLiteral("LK58 0.2.1.7");
            lines << RecordLine(r);
            log += lines.last() + '\n';
        }
        const QString path = dir.filePath("names.jsonl");
        WriteAll(path, log);
        const HistoryReading read = ReadHistory(path);
        QList<QByteArray> back;
        for (const HistoryRecord& r : read.records)
            back << RecordLine(r);
        QCOMPARE(back, lines);
    }

    // A log cut by a power cut takes the next record on a line of its own,
    // with the id after the last whole record; the outcome is settled in place.
    void appendAfterCutLine()
    {
        const QString path = dir.filePath("sub/TQ36-36012345.jsonl");
        QString reason;
        QVERIFY(THistoryLog::Open(path, reason)); // makes the folder
        WriteAll(path, Line(1, "A") + Line(2, "B") + Line(3, "C").left(50));
        std::unique_ptr<THistoryLog> log = THistoryLog::Open(path, reason);
        QVERIFY2(log, qPrintable(reason));
        HistoryRecord r = Record(0, Key::RangeEnd, Value(std::int32_t(400)), Value(std::int32_t(450)));
        QCOMPARE(log->Append(r), QString());
        QCOMPARE(r.id, qint64(3));
        QCOMPARE(ParseRecord(ReadAll(path).split('\n').at(3))->outcome, Outcome::Failed); // until answered
        QCOMPARE(log->Settle(r, Outcome::Verified), QString());
        HistoryRecord next = Record(0, Key::Label, Value(Text("C")), Value(Text("D")));
        QCOMPARE(log->Append(next), QString());
        QCOMPARE(log->Settle(next, Outcome::Acknowledged), QString());
        QCOMPARE(log->Sync(), QString());
        const HistoryReading read = ReadHistory(path);
        QCOMPARE(Ids(read.records), (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(read.records[2].outcome, Outcome::Verified);
        QCOMPARE(read.records[2].after, std::optional<Value>(std::int32_t(450)));
        QCOMPARE(read.records[3].outcome, Outcome::Acknowledged);
        QCOMPARE(read.warnings.size(), 1); // the cut line, now in the middle
        // Opened again, the ids go on.
        log = THistoryLog::Open(path, reason);
        HistoryRecord third = Record(0, Key::Label, Value(Text("D")), Value(Text("E")));
        QCOMPARE(log->Append(third), QString());
        QCOMPARE(third.id, qint64(5));
    }

    void settingsBefore_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QStringList>("expected"); // label, range_end, output as files write them
        // Now: label "C", range_end 500, output 4-20mA (2).
        QTest::newRow("before the first change") << qint64(1) << QStringList{"A", "400", "unknown"};
        QTest::newRow("before the second") << qint64(2) << QStringList{"B", "400", "unknown"};
        QTest::newRow("before the fourth") << qint64(4) << QStringList{"B", "450", "2"};
        QTest::newRow("before the last") << qint64(5) << QStringList{"C", "450", "2"};
        QTest::newRow("after the last") << qint64(6) << QStringList{"C", "500", "2"};
    }
    void settingsBefore()
    {
        QFETCH(qint64, id);
        QFETCH(QStringList, expected);
        const std::vector<HistoryRecord> records{
            Record(1, Key::Label, Value(Text("A")), Value(Text("B"))),
            Record(2, Key::RangeEnd, Value(std::int32_t(400)), Value(std::int32_t(450))),
            Record(3, Key::Output, std::nullopt, Value(std::int32_t(2)), Outcome::Failed),
            Record(4, Key::Label, Value(Text("B")), Value(Text("C"))),
            Record(5, Key::RangeEnd, Value(std::int32_t(450)), Value(std::int32_t(500)))};
        Settings now;
        now[Key::Label] = Value(Text("C"));
        now[Key::RangeEnd] = Value(std::int32_t(500));
        now[Key::Output] = Value(std::int32_t(2));
        const Settings before = SettingsBefore(now, records, id);
        auto text = [&](Key key) {
            if (!before.Has(key))
                return QStringLiteral("unknown");
            if (const Bytes* b = std::get_if<Bytes>(&*before[key]))
                return QString::fromLatin1(reinterpret_cast<const char*>(b->data()), qsizetype(b->size()));
            return QString::number(std::get<std::int32_t>(*before[key]));
        };
        QCOMPARE((QStringList{text(Key::Label), text(Key::RangeEnd), text(Key::Output)}), expected);
    }
};

QTEST_GUILESS_MAIN(TstHistory)
#include "tst_history.moc"

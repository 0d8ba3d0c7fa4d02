// tq36ctl's pieces that need no converter: the command line, KEY=VALUE,
// why a port will not open, the progress lines and printable texts.
#include "config/history.h"
#include "ctl/cmdtable.h"
#include "ctl/commands.h"
#include "ctl/console.h"
#include "ctl/keyvalue.h"
#include "ctl/portopen.h"
#include "ctl/showtable.h"
#include "ctl/workers.h"
#include "openerrors.h"
#include "serial/serialdevice.h"

#include <QtTest>

#include <cerrno>
#include <cstdio>

using namespace lk58;
using namespace lk58::ctl;

namespace {

// What `ParseCommandLine` makes of arguments: "command operands |flags|
// values" or "error: message".
QString Parsed(const QStringList& args)
{
    try {
        const TInvocation inv = ParseCommandLine(args);
        QStringList flags(inv.flags.begin(), inv.flags.end());
        flags.sort();
        QStringList values;
        for (auto it = inv.values.begin(); it != inv.values.end(); ++it)
            values << it.key() + "=" + it.value();
        values.sort();
        const QString name = inv.command ? inv.command->name : QString("-");
        return (QStringList{name} + inv.operands).join(' ') + " |" + flags.join(',') + "| " + values.join(',');
    } catch (const TFailure& f) {
        return "error " + QString::number(static_cast<int>(f.status)) + ": " + f.message;
    }
}

QString ReadBack(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buf[512];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.append(buf, static_cast<qsizetype>(n));
    return QString::fromUtf8(bytes);
}

} // namespace

class TstCtlUnits : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("parsed");
        QTest::newRow("ping") << QStringList{"ping", "/dev/ttyUSB0"} << "ping /dev/ttyUSB0 || ";
        QTest::newRow("options anywhere") << QStringList{"-q", "write", "f.json", "p1", "--dry-run", "p2", "--json"}
                                          << "write f.json p1 p2 |dry-run,json,quiet| ";
        QTest::newRow("read -o") << QStringList{"read", "p", "-o", "out.json"} << "read p || output=out.json";
        QTest::newRow("show --lang") << QStringList{"show", "p", "--lang=en"} << "show p || lang=en";
        QTest::newRow("set pairs") << QStringList{"set", "p", "label=Boiler 3", "range_end=-5"}
                                   << "set p label=Boiler 3 range_end=-5 || ";
        QTest::newRow("help alone") << QStringList{"--help"} << "- |help| ";
        QTest::newRow("no command") << QStringList{} << "error 2: no command given";
        QTest::newRow("unknown command") << QStringList{"flash", "p"} << "error 2: unknown command 'flash'";
        QTest::newRow("unknown option") << QStringList{"ping", "p", "--fast"} << "error 2: Unknown option 'fast'.";
        QTest::newRow("option of another command")
            << QStringList{"ping", "p", "--dry-run"} << "error 2: ping does not take --dry-run";
        QTest::newRow("missing port") << QStringList{"write", "f.json"} << "error 2: write takes FILE PORT...";
        QTest::newRow("one port only") << QStringList{"read", "p1", "p2"} << "error 2: read takes PORT";
        QTest::newRow("ports takes none") << QStringList{"ports", "p1"} << "error 2: ports takes no arguments";
        QTest::newRow("set needs a pair") << QStringList{"set", "p"} << "error 2: set takes PORT KEY=VALUE...";
        QTest::newRow("bad language") << QStringList{"show", "p", "--lang", "de"}
                                      << "error 2: --lang takes cs or en, not 'de'";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, parsed);
        QCOMPARE(Parsed(args), parsed);
    }

    void helpAndManualNameEverything()
    {
        const QString help = HelpText(), man = ManPage("9.9");
        for (const TCommandSpec& c : Commands()) {
            QVERIFY2(help.contains("  " + c.synopsis + (c.synopsis.size() > 26 ? "\n" : "  ")), qPrintable(c.name));
            QVERIFY2(man.contains(".TP\n\\fB" + c.name + "\\fR"), qPrintable(c.name));
        }
        for (const TOptionSpec& o : Options()) {
            QVERIFY2(help.contains("--" + o.LongName()), qPrintable(o.LongName()));
            QVERIFY2(man.contains("\\fB\\-\\-" + QString(o.LongName()).replace('-', "\\-") + "\\fR"),
                     qPrintable(o.LongName()));
        }
        for (int status = 0; status <= 4; ++status)
            QVERIFY(man.contains(QStringLiteral(".B %1\n").arg(status)));
        // A file that cannot be written, and output lost, are failures of their own kind.
        const QString unwritable = "2 usage error, a bad settings file, a file that cannot be written";
        QVERIFY2(help.simplified().contains("or --json that did not go out whole"), qPrintable(help));
        QVERIFY2(help.simplified().contains(unwritable), qPrintable(help));
        QVERIFY2(man.simplified().contains(".B " + unwritable), qPrintable(man));
    }

    void keyValue_data()
    {
        QTest::addColumn<QString>("pair");
        QTest::addColumn<QString>("outcome"); // the value as the file writes it, or the error
        QTest::newRow("label with a space") << "label=Boiler 3" << "\"Boiler 3\"";
        QTest::newRow("czech name") << "calibrated_by=Jan Novák" << "\"Jan Novák\"";
        QTest::newRow("range end") << "range_end=450" << "450";
        QTest::newRow("negative begin") << "range_begin=-50" << "-50";
        QTest::newRow("set temperature") << "set_temperature=25.5" << "25.5";
        QTest::newRow("output") << "output=4-20mA" << "\"4-20mA\"";
        QTest::newRow("check") << "cold_end_compensation=false" << "false";
        QTest::newRow("date") << "calibration_date=2026-03-14" << "\"2026-03-14\"";
        QTest::newRow("value with =") << "label=a=b" << "\"a=b\"";
        QTest::newRow("empty label") << "label=" << "\"\"";
        QTest::newRow("no =") << "label" << "error: 'label' is not KEY=VALUE";
        QTest::newRow("unknown key") << "colour=red" << "error: unknown key 'colour'";
        QTest::newRow("range too high") << "range_end=10000" << "error: range_end=10000: ";
        QTest::newRow("not a number") << "range_end=450x" << "error: range_end=450x: ";
        QTest::newRow("too many decimals") << "set_temperature=25.55" << "error: set_temperature=25.55: ";
        QTest::newRow("decimal past the field's") << "set_temperature=25.00000001"
                                                  << "error: set_temperature=25.00000001: too many decimals; ";
        QTest::newRow("whole number with a far decimal") << "range_end=450.0000001"
                                                         << "error: range_end=450.0000001: too many decimals; ";
        QTest::newRow("label too long") << "label=Boiler 1234" << "error: label=Boiler 1234: ";
        QTest::newRow("not in Windows-1250") << "label=Kessel €€ ✓" << "error: label=Kessel €€ ✓: ";
        QTest::newRow("unknown output") << "output=5V" << "error: output=5V: ";
        QTest::newRow("check not a truth value") << "output_limit=yes" << "error: output_limit=yes: ";
        QTest::newRow("date out of range") << "calibration_date=2097-01-01" << "error: calibration_date=2097-01-01: ";
    }
    void keyValue()
    {
        QFETCH(QString, pair);
        QFETCH(QString, outcome);
        const QByteArray utf8 = pair.toUtf8();
        const auto parsed = ParseKeyValue(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        if (const auto* error = std::get_if<TKeyValueError>(&parsed)) {
            QVERIFY2(outcome.startsWith("error: "), error->message.c_str());
            QVERIFY2(QString::fromStdString(error->message).startsWith(outcome.mid(7)), error->message.c_str());
            if (outcome.endsWith(": ")) // then it goes on to say what is allowed
                QVERIFY(QString::fromStdString(error->message).size() > outcome.size() - 7);
            return;
        }
        QVERIFY2(!outcome.startsWith("error"), qPrintable(outcome));
        const TKeyValue& kv = std::get<TKeyValue>(parsed);
        const QJsonValue json = config::ToJson(kv.key, kv.value);
        const QString text = json.isString() ? '"' + json.toString() + '"'
                           : json.isBool()   ? QString(json.toBool() ? "true" : "false")
                                             : QString::fromStdString(config::FormatValue(kv.key, kv.value));
        QCOMPARE(text, outcome);
    }

    void keyValuesTogether_data()
    {
        QTest::addColumn<QStringList>("pairs");
        QTest::addColumn<QStringList>("errors");
        QTest::newRow("valid") << QStringList{"label=B3", "range_end=450"} << QStringList{};
        QTest::newRow("every bad pair named") << QStringList{"range_end=x", "label=B3", "wiring=4-wire"}
                                             << QStringList{"range_end=x: ", "wiring=4-wire: "};
        QTest::newRow("twice") << QStringList{"label=a", "label=b"} << QStringList{"label is given twice"};
        QTest::newRow("range order") << QStringList{"range_begin=500", "range_end=400"}
                                     << QStringList{"settings.range_end = 400: "};
    }
    void keyValuesTogether()
    {
        QFETCH(QStringList, pairs);
        QFETCH(QStringList, errors);
        const auto parsed = ParseKeyValues(pairs);
        QStringList got;
        if (const auto* e = std::get_if<std::vector<TKeyValueError>>(&parsed))
            for (const TKeyValueError& x : *e)
                got << QString::fromStdString(x.message);
        QCOMPARE(got.size(), errors.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(errors[i]), qPrintable(got[i]));
    }

    // The rows name this system's error codes (openerrors_*.cpp).
    void openErrorSaysWhy_data() { AddOpenErrorRows(); }
    void openErrorSaysWhy()
    {
        QFETCH(int, code);
        QFETCH(QString, system);
        QFETCH(QString, path);
        QFETCH(QStringList, says);
        if (!PrepareOpenErrorRow(path, says))
            QSKIP("this user cannot give a file that group, or make a lock file");
        const QString why = ExplainOpenError(code, system.toStdString(), path);
        for (const QString& s : says)
            QVERIFY2(why.contains(s), qPrintable(why));
    }

    // What Find and `ports --probe` call a held port, by this system's
    // codes (openerrors_*.cpp).
    void busyCodes_data() { AddBusyCodeRows(); }
    void busyCodes()
    {
        QFETCH(int, code);
        QFETCH(bool, busy);
        QCOMPARE(platform::IsBusyError(code), busy);
    }

    // A port that opened but refused the converter's line says so, not "not
    // a serial device", which Windows' code for it also stands for.
    void refusedLineSetting()
    {
        const EComError refused(50, "Can't apply BaudRate on this port: The request is not supported", "BaudRate");
        QCOMPARE(OpenFailureText(refused, "COM3"),
                 QString("cannot set the converter's line: the port refused BaudRate "
                         "(4800 baud, 8 data bits, no parity, 1 stop bit)"));
        const EComError missing(0, "gone");
        QVERIFY(OpenFailureText(missing, "COM3").startsWith("cannot open: "));
    }

    // Two names of one port are found before anything is opened.
    // The rows name this system's ports (openerrors_*.cpp).
    void samePort_data() { AddSamePortRows(); }
    void samePort()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QTemporaryDir dir;
        QVERIFY(QFile::link("/dev/null", dir.filePath("link")));
        a.replace("@dir", dir.path());
        b.replace("@dir", dir.path());
        QCOMPARE(SamePort(a, b), same);
        QCOMPARE(RepeatedPort({"/dev/full", a, b}), same ? std::optional(std::pair{1, 2}) : std::nullopt);
    }

    // Each port's worker, started as this system starts processes, reports
    // its own port's outcome, in the order of the ports. No such port exists
    // on either system, so no converter is needed.
    void workersReportEachPort()
    {
        SetWorkerProgram(TQ36CTL);
        std::FILE* f = std::tmpfile();
        const QStringList ports{"COM250", "COM251", "COM252"};
        std::vector<TPortResult> results;
        {
            TConsole console(f, false, true);
            console.SetPorts(ports);
            results = RunWorkers(ports, [](const QString& port) { return QStringList{"ping", port}; }, console);
        }
        std::fclose(f);
        QCOMPARE(results.size(), std::size_t(3));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(results[i].port, ports[i]);
            QCOMPARE(results[i].status, TExit::NoPort);
            QVERIFY2(results[i].error.contains("no such port"), qPrintable(results[i].error));
        }
    }

    // Every letter of an argument reaches tq36ctl, also where the system's
    // code page lacks it (Windows-1252 has no Ř, č or ř): a label and a file
    // name in and out. No converter is needed for either.
    void argumentsKeepEveryLetter_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stderrHas");
        QTest::addColumn<QString>("made");
        QTest::newRow("label") << QStringList{"set", "COM250", "label=Kotel Řeřicha"} << 2
                               << "label=Kotel Řeřicha: " << QString();
        QTest::newRow("file names") << QStringList{"report", "@dir/záloha-č.json", "-o", "@dir/protokol-ř.pdf"} << 0
                                    << QString() << "protokol-ř.pdf";
    }
    void argumentsKeepEveryLetter()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, stderrHas);
        QFETCH(QString, made);
        QTemporaryDir dir;
        QFile file(dir.filePath("záloha-č.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"format": "tq36-settings", "version": 1, "settings": {"label": "Kotel Ř", "output": "4-20mA"}})");
        file.close();
        args.replaceInStrings("@dir", dir.path());
        QProcess ctl;
        ctl.start(TQ36CTL, args);
        QVERIFY(ctl.waitForFinished(60000));
        const QString err = QString::fromUtf8(ctl.readAllStandardError());
        QVERIFY2(err.contains(stderrHas), qPrintable(err));
        QCOMPARE(ctl.exitCode(), status);
        if (!made.isEmpty())
            QVERIFY2(QFileInfo(dir.filePath(made)).size() > 0, qPrintable(QDir(dir.path()).entryList().join(' ')));
    }

    void plainProgressLines()
    {
        std::FILE* f = std::tmpfile();
        {
            TConsole console(f, false, false);
            console.SetPorts({"/dev/pts/3", "/dev/pts/4"});
            console.Progress(1, "reading", 0, 0);
            console.Progress(0, "writing label", 3, 12);
            console.Trace(0, "request", Bytes{0xFF, 0xBF, 0xBF});
            console.Trace(1, "bad reply", Bytes{0x1D, 0x00});
        }
        QCOMPARE(ReadBack(f), QString("/dev/pts/3: writing label 3/12\n"
                                      "/dev/pts/3 > FF BF BF\n/dev/pts/4 < 1D 00 (bad reply)\n"));
        std::fclose(f);
    }

    void liveLinesAreRewrittenInPlace()
    {
        std::FILE* f = std::tmpfile();
        {
            TConsole console(f, true, false);
            console.SetPorts({"a", "b"});
            console.Progress(0, "writing label", 1, 2);
            console.Note("a > FF");     // above the live lines, which are drawn again
            console.Progress(1, "reading", 0, 0); // held back: less than 100 ms since the last drawing
        }
        QCOMPARE(ReadBack(f), QString("a: writing label 1/2\n"
                                      "\x1b[1A\r\x1b[J" "a > FF\n" "a: writing label 1/2\n"
                                      "\x1b[1A\r\x1b[J"));
        std::fclose(f);
    }

    void quietShowsNoProgress()
    {
        std::FILE* f = std::tmpfile();
        {
            TConsole console(f, false, true);
            console.SetPorts({"a"});
            console.Progress(0, "reading", 0, 0);
        }
        QCOMPARE(ReadBack(f), QString());
        std::fclose(f);
    }

    void printableText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("czech") << QByteArray("Nov\xE1k") << "Novák";
        QTest::newRow("no character") << QByteArray("TQ\x81" "6") << "TQ\\x816";
        QTest::newRow("escape byte") << QByteArray("a\x1B[2Jb") << "a\\x1B[2Jb";
    }
    void printableText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(PrintableText(Bytes(bytes.begin(), bytes.end())), shown);
    }

    // The history's columns are as wide as their widest cell in UTF-16
    // code units, as a terminal mostly shows them: a Czech letter takes
    // one, a character beyond the first 65,536 two.
    void historyTable()
    {
        using config::Key;
        using config::Value;
        auto record = [](qint64 id, const QString& user, const QString& host, Key key, std::optional<Value> before,
                         std::optional<Value> after, config::Outcome outcome) {
            config::HistoryRecord r;
            r.id = id;
            r.time = QDateTime(QDate(2026, 12, 8), QTime(10, 0, int(id), 250), QTimeZone::utc());
            r.program = id == 2 ? QStringLiteral("LK58 0.2.1.7") : QStringLiteral("tq36ctl 0.2.1.7");
            r.user = user;
            r.host = host;
            r.port = id == 3 ? QStringLiteral("COM3") : QStringLiteral("/dev/ttyUSB0");
            r.key = key;
            r.before = std::move(before);
            r.after = std::move(after);
            r.outcome = outcome;
            return r;
        };
        const config::HistoryRecord records[] = {
            record(3, "eva", "🔥", Key::CalibrationDate, std::nullopt,
                   Value(std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(3), std::chrono::day(14))),
                   config::Outcome::Failed),
            record(2, "jiří", "dílna", Key::Label, Value(Bytes{'K', 'o', 't', 'e', 'l', ' ', 0xE8}), Value(Bytes{'A', 0x81}),
                   config::Outcome::Acknowledged),
            record(1, "jan", "bench2", Key::RangeEnd, Value(std::int32_t(400)), Value(std::int32_t(450)),
                   config::Outcome::Verified)};
        const QByteArray table = HistoryTable({&records[0], &records[1], &records[2]});
        QCOMPARE(QString::fromUtf8(table),
                 "id  time (UTC)           user@host   program          port          setting           before -> after             outcome\n"
                 "3   2026-12-08 10:00:03  eva@🔥      tq36ctl 0.2.1.7  COM3          calibration_date  (unreadable) -> 2026-03-14  failed\n"
                 "2   2026-12-08 10:00:02  jiří@dílna  LK58 0.2.1.7     /dev/ttyUSB0  label             Kotel č -> A\\x81            acknowledged\n"
                 "1   2026-12-08 10:00:01  jan@bench2  tq36ctl 0.2.1.7  /dev/ttyUSB0  range_end         400 -> 450                  verified\n");
    }
};

QTEST_GUILESS_MAIN(TstCtlUnits)
#include "tst_ctlunits.moc"

// The tq36ctl program against simulated converters: every command, every
// exit status, several ports at once with one of them faulty, Ctrl+C.
#include "config/settingsfile.h"
#include "ctl/commands.h"
#include "ctl/workers.h"
#include "serial/comport.h"

#include "ctlconverter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cerrno>
#include <cstdio>

using namespace lk58;
using namespace lk58::test;
using config::Key;

namespace {

struct TRun {
    int exit = -1;
    QString out, err;
};

// A settings file of another converter: its own identity, label and range.
QByteArray OtherConvertersFile(const SettingsBlock& base)
{
    SettingsBlock block = base;
    StoreText(block, kSerial, Bytes{'3', '6', '0', '9', '9', '9', '9', '9'});
    StoreText(block, kName, Bytes{'C', 'l', 'o', 'n', 'e', ' ', '7'});
    StoreValue(block, kRangeEnd, 450);
    StoreValue(block, kSetTemp, 305);
    return config::WriteSettingsFile(config::FileFromBlock(block, QDateTime::currentDateTime(), "LK58 test"));
}

// Most settings changed: a write that takes a while at the line's pace.
QByteArray ManyChangesFile(const SettingsBlock& base)
{
    SettingsBlock block = base;
    StoreText(block, kName, Bytes{'C', 'l', 'o', 'n', 'e', ' ', '7'});
    StoreText(block, kPerson, Bytes{'E', 'v', 'a', ' ', 'D', 'v', 'o', 'r', 'a', 'k', 'o', 'v', 'a'});
    StoreText(block, kDate, Bytes{'0', '1', '0', '2', '2', '7'});
    StoreValue(block, kInputType, 1);
    StoreValue(block, kOutputType, 2);
    StoreValue(block, kInputError, 2);
    StoreValue(block, kWiring, 2);
    StoreValue(block, kColdComp, 0);
    StoreValue(block, kOutputLimit, 1);
    StoreValue(block, kRangeBegin, -50);
    StoreValue(block, kRangeEnd, 450);
    StoreValue(block, kSetTemp, 305);
    StoreValue(block, kResComp, 4321);
    return config::WriteSettingsFile(config::FileFromBlock(block, QDateTime::currentDateTime(), "LK58 test"));
}

// Each setting of `c` holds its value `before` or the one `wanted` holds,
// never a mix of both (a text half written).
void VerifyOldOrNew(const TCtlConverter& c, const SettingsBlock& before, const QByteArray& wanted)
{
    const config::Settings now = config::FromBlock(c.Block()), old = config::FromBlock(before);
    const config::Settings next = config::ReadSettingsFile(wanted).file->settings;
    for (Key key : config::kKeys) {
        if (!next.Has(key))
            continue;
        QVERIFY2(now[key] == old[key] || now[key] == next[key], config::KeyName(key).data());
    }
}

// Bytes no setting stands for: input 9, output 4, output limit 2.
SettingsBlock InvalidBytes(const SettingsBlock& base)
{
    SettingsBlock block = base;
    StoreValue(block, kInputType, 9);
    StoreValue(block, kOutputType, 4);
    StoreValue(block, kOutputLimit, 2);
    return block;
}

// The settings report names the file it could not save in the system's
// own spelling.
QString AsTheReportSays(const QString& text)
{
    const QString lead = "Cannot save the settings report to ";
    const int at = text.indexOf(lead);
    return at < 0 ? text : text.left(at + lead.size()) + QDir::toNativeSeparators(text.mid(at + lead.size()));
}

QString Label(const TCtlConverter& c)
{
    return QString::fromStdString(DecodeTextField(c.Block(), kName));
}

} // namespace

class TstCtlProgram : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString Path(const QString& name) const { return dir_.path() + '/' + name; }
    QString BackupDir() const { return Path("data/LK58/backups"); }

    void Start(QProcess& p, const QStringList& args, const QString& program = TQ36CTL)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("LOCALAPPDATA", Path("data")); // Windows' counterpart
        p.setProcessEnvironment(env);
        p.start(program, args);
    }
    TRun Ctl(const QStringList& args, int timeoutMs = 60000)
    {
        QProcess p;
        Start(p, args);
        TRun r;
        if (!p.waitForFinished(timeoutMs))
            return r;
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = OutputText(p.readAllStandardOutput());
        r.err = OutputText(p.readAllStandardError());
        return r;
    }
    // With `env` changed ("NAME=value", "NAME" alone: unset) and files
    // limited to `fileLimit` bytes (0: no limit), as on a full disk.
    TRun CtlLimited(const QStringList& args, const QStringList& env, qint64 fileLimit)
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("XDG_DATA_HOME", Path("data"));
        e.insert("LOCALAPPDATA", Path("data"));
        for (const QString& change : env)
            change.contains('=') ? e.insert(change.section('=', 0, 0), change.section('=', 1)) : e.remove(change);
        p.setProcessEnvironment(e);
        if (fileLimit > 0)
            LimitFileSize(p, fileLimit);
        p.start(TQ36CTL, args);
        TRun r;
        if (!p.waitForFinished(60000))
            return r;
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = OutputText(p.readAllStandardOutput());
        r.err = OutputText(p.readAllStandardError());
        return r;
    }
    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(Path(name));
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(bytes);
        return f.fileName();
    }
    int Backups() const { return QDir(BackupDir()).entryList(QDir::Files).size(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ctl::SetWorkerProgram(TQ36CTL);
    }
    void cleanup()
    {
        QDir(BackupDir()).removeRecursively();
        QDir(Path("data/LK58/history")).removeRecursively();
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args"); // @port: the simulated converter; @dir: a folder
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("err");
        QTest::newRow("ping answered") << QStringList{"ping", "@port"} << false << false << 0 << "";
        QTest::newRow("ping silent") << QStringList{"ping", "@port"} << true << false << 4
                                     << "@port: no converter answers\n";
        QTest::newRow("read silent") << QStringList{"read", "@port"} << true << false << 4
                                     << "@port: the converter did not answer\n";
        QTest::newRow("port missing") << QStringList{"ping", "@dir/ttyNONE"} << false << false << 3
                                      << "@dir/ttyNONE: cannot open: no such port\n";
        QTest::newRow("not a serial device") << QStringList{"show", "@dir/bad.json"} << false << false << 3
                                             << "@dir/bad.json: cannot open: not a serial device\n";
        QTest::newRow("port held") << QStringList{"read", "@port"} << false << true << 3
                                   << "@port: cannot open: busy: another program holds the port\n";
        QTest::newRow("port held through a lock file")
            << QStringList{"read", "@locked"} << false << false << 3
            << "@port: cannot open: busy: process @pid (@program) holds the port by its lock file @lock\n";
        QTest::newRow("usage") << QStringList{"ping"} << false << false << 2
                               << "tq36ctl: ping takes PORT\nTry 'tq36ctl --help'.\n";
        QTest::newRow("diff bad file") << QStringList{"diff", "@port", "@dir/bad.json"} << false << false << 2
                                       << "tq36ctl: @dir/bad.json: settings.range_end = 10000: ";
        QTest::newRow("write missing file") << QStringList{"write", "@dir/none.json", "@port"} << false << false << 2
                                            << "tq36ctl: @dir/none.json: No such file or directory\n";
        QTest::newRow("report of a missing file") << QStringList{"report", "@dir/none.json", "-o", "@dir/r.pdf"} << false
                                                  << false << 2 << "tq36ctl: @dir/none.json: No such file or directory\n";
        QTest::newRow("file without end") << QStringList{"write", "/dev/zero", "@port"} << false << false << 2
                                          << "tq36ctl: /dev/zero: larger than 1 MiB: not a settings file\n";
        QTest::newRow("set invalid pair") << QStringList{"set", "@port", "label=B3", "output=5V"} << false << false
                                          << 2 << "tq36ctl: output=5V: ";
        QTest::newRow("same port twice") << QStringList{"write", "@dir/label.json", "@port", "@port"} << false
                                         << false << 2 << "tq36ctl: @port is named twice; name each port once\n";
        QTest::newRow("a link and its target")
            << QStringList{"write", "@dir/label.json", "@port", "@dir/link"} << false << false << 2
            << "tq36ctl: @port and @dir/link are the same port; name each port once\n";
        QTest::newRow("history --before without -o") << QStringList{"history", "@port", "--before", "1"} << false
                                                      << false << 2
                                                      << "tq36ctl: @port: history takes --before ID and -o FILE together\n";
        QTest::newRow("history of a silent port") << QStringList{"history", "@port"} << true << false << 4
                                                  << "tq36ctl: @port: the converter did not answer\n";
        QTest::newRow("history bad date") << QStringList{"history", "@port", "--since", "yesterday"} << false << false
                                          << 2 << "tq36ctl: @port: --since takes a date";
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, silent);
        QFETCH(bool, held);
        QFETCH(int, exit);
        QFETCH(QString, err);
        TCtlConverter c;
        if (silent)
            c.SetFault(Fault::Silent);
        WriteFile("bad.json", R"({"format": "tq36-settings", "version": 1, "settings": {"range_end": 10000}})");
        WriteFile("label.json", R"({"format": "tq36-settings", "version": 1, "settings": {"label": "Twice"}})");
        QFile::remove(Path("link"));
        for (auto [needed, need] : {std::pair{held, TNeed::HeldPort}, std::pair{args.contains("@locked"), TNeed::LockFile},
                                    std::pair{args.contains("@dir/link") || args.contains("/dev/zero"), TNeed::DeviceFiles}})
            if (const char* why = needed ? Missing(need) : nullptr)
                QSKIP(why);
        if (args.contains("@dir/link"))
            QVERIFY(QFile::link(c.Path(), Path("link")));
        const std::shared_ptr<void> hold = held ? HoldPort(c.Path()) : nullptr;
        QTemporaryDir locks;
        if (args.contains("@locked")) {
            const QString lock = locks.filePath("LCK.." + QFileInfo(c.Path()).canonicalFilePath().mid(5).replace('/', '_'));
            QString pid, program;
            QVERIFY(WriteForeignLockFile(lock, pid, program));
            err.replace("@pid", pid).replace("@lock", lock).replace("@program", program);
            args.replaceInStrings("@locked", c.Path());
        }
        qputenv("LK58_LOCK_DIR", QFile::encodeName(locks.path()));
        err = SystemText(err).replace("@port", c.Path()).replace("@dir", dir_.path());
        args.replaceInStrings("@port", c.Path()).replaceInStrings("@dir", dir_.path());
        const TRun r = Ctl(args);
        qunsetenv("LK58_LOCK_DIR");
        QCOMPARE(r.exit, exit);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(err), qPrintable(r.err));
        // Nothing sent on a usage error or a port that did not open, so nothing written.
        if (const std::optional<bool> asked = c.Asked())
            QCOMPARE(*asked, exit != 2 && exit != 3);
    }

    // A converter whose replies come with a bad checksum answered, damaged:
    // it is not reported as silent.
    void damagedReplyIsNoSilence_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("toOut"); // the message goes to standard output, not error
        QTest::addColumn<QString>("message");
        QTest::newRow("ping") << QStringList{"ping", "@port"} << false << "@port: a converter answered with a damaged reply\n";
        QTest::newRow("read") << QStringList{"read", "@port"} << false
                              << "@port: the converter answered with a damaged reply\n";
        QTest::newRow("write") << QStringList{"write", "@dir/label.json", "@port"} << true
                               << "@port: the converter answered with a damaged reply; nothing written\n";
    }
    void damagedReplyIsNoSilence()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, toOut);
        QFETCH(QString, message);
        TCtlConverter c;
        c.SetFault(Fault::CorruptChecksum);
        WriteFile("label.json", R"({"format": "tq36-settings", "version": 1, "settings": {"label": "B3"}})");
        message.replace("@port", c.Path());
        args.replaceInStrings("@port", c.Path()).replaceInStrings("@dir", dir_.path());
        const TRun r = Ctl(args);
        QCOMPARE(r.exit, 4);
        QVERIFY2((toOut ? r.out : r.err).startsWith(message), qPrintable(toOut ? r.out : r.err));
        QVERIFY(!c.Written());
    }

    void readGivesTheConvertersFile()
    {
        TCtlConverter c;
        const TRun toStdout = Ctl({"read", c.Path()});
        QCOMPARE(toStdout.exit, 0);
        const config::ReadResult read = config::ReadSettingsFile(toStdout.out.toUtf8());
        QVERIFY(read.file);
        QVERIFY(read.file->settings == config::FromBlock(c.Block()));
        QVERIFY(read.file->block == c.Block());

        const TRun toFile = Ctl({"read", c.Path(), "-o", Path("saved.json")});
        QCOMPARE(toFile.exit, 0);
        QCOMPARE(toFile.out, c.Path() + ": saved to " + Path("saved.json") + '\n');
        QFile saved(Path("saved.json"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(config::ReadSettingsFile(saved.readAll()).file->settings == read.file->settings);
    }

    void jsonKeepsBytesWithoutACharacter()
    {
        TCtlConverter c;
        SettingsBlock block = c.Block();
        StoreText(block, kName, Bytes{'T', 'Q', 0x81, '6'});
        c.SetBlock(block);
        const TRun r = Ctl({"read", c.Path(), "--json"});
        QCOMPARE(r.exit, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QJsonObject port = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(port.value("type").toString(), QString("port"));
        QCOMPARE(port.value("status").toInt(), 0);
        const QJsonValue label = port.value("settings").toObject().value("label");
        QCOMPARE(label.toString(), QString::fromUtf16(u"TQ\u00816"));
        // Back through the file's reader: the same four bytes, no "?".
        const auto back = config::FromJson(Key::Label, label);
        QVERIFY(std::get<config::Value>(back) == config::Value(Bytes{'T', 'Q', 0x81, '6'}));
        const QJsonObject summary = QJsonDocument::fromJson(lines[1].toUtf8()).object();
        QCOMPARE(summary.value("type").toString(), QString("summary"));
        QCOMPARE(summary.value("status").toInt(), 0);
    }

    // The settings report of a converter or of a file; the PDF's text holds
    // the source's values. On failure, the start of the message instead.
    void reportOfConverterOrFile_data()
    {
        QTest::addColumn<QStringList>("args"); // @port, @file (another converter's settings), @dir
        QTest::addColumn<bool>("invalid");     // the converter holds InvalidBytes
        QTest::addColumn<int>("exit");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("converter, English")
            << QStringList{"report", "@port", "-o", "@dir/r.pdf", "--lang", "en"} << false << 0
            << QStringList{"36012345", "Boiler 2", "Read from the converter on port @port", "(400 °C, 20 mA)"};
        QTest::newRow("file, Czech") << QStringList{"report", "@file", "-o", "@dir/r.pdf"} << false << 0
                                     << QStringList{"36099999", "Clone 7", "Ze souboru @file", "(450 °C; 20 mA)"};
        QTest::newRow("invalid bytes, English")
            << QStringList{"report", "@port", "-o", "@dir/r.pdf", "--lang", "en"} << true << 0
            << QStringList{"Input (unreadable: 9)", "Output (unreadable: 4)", "Output limit: (unreadable: 2).",
                           "The characteristic cannot be drawn: the converter's output (4) is unreadable."};
        // The page's language is Czech; the command's own message stays English.
        QTest::newRow("unwritable") << QStringList{"report", "@port", "-o", "@dir/none/r.pdf"} << false << 2
                                    << QStringList{"@port: Cannot save the settings report to @dir/none/r.pdf: "};
        const QString own = ": is the settings file the report is made from; choose another name for the report\n";
        QTest::newRow("onto its own file") << QStringList{"report", "@file", "-o", "@file"} << false << 2
                                           << QStringList{"tq36ctl: @file" + own};
        QTest::newRow("onto its own file, spelt otherwise")
            << QStringList{"report", "@file", "-o", "@dir/./other.json"} << false << 2
            << QStringList{"tq36ctl: @dir/./other.json" + own};
        QTest::newRow("no output") << QStringList{"report", "@file"} << false << 2
                                   << QStringList{"tq36ctl: report needs -o OUT.pdf\n"};
    }
    void reportOfConverterOrFile()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, invalid);
        QFETCH(int, exit);
        QFETCH(QStringList, expected);
        TCtlConverter c;
        if (invalid)
            c.SetBlock(InvalidBytes(c.Block()));
        const QString file = WriteFile("other.json", OtherConvertersFile(c.Block()));
        const QString pdf = Path("r.pdf");
        QFile::remove(pdf);
        auto place = [&](QString s) { return s.replace("@port", c.Path()).replace("@file", file).replace("@dir", dir_.path()); };
        for (QString& a : args)
            a = place(a);
        const TRun r = Ctl(args);
        QCOMPARE(r.exit, exit);
        if (exit != 0) {
            QVERIFY2(r.err.startsWith(AsTheReportSays(place(expected[0]))), qPrintable(r.err));
            QVERIFY(!QFile::exists(pdf));
            QFile settings(file);
            QVERIFY(settings.open(QIODevice::ReadOnly));
            QVERIFY(config::ReadSettingsFile(settings.readAll()).file); // still the settings file
            return;
        }
        QCOMPARE(r.out, args[1] + ": report saved to " + pdf + '\n');
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed, or is no program of this system; scripts/deps.sh installs it");
        QProcess text;
        text.start(pdftotext, {pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString said = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        for (const QString& e : expected)
            QVERIFY2(said.contains(place(e)), qPrintable(place(e) + " not in: " + said));
    }

    void showNamesSettingsAsTheWindow_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("invalid"); // input byte 9, output byte 4, limit byte 2
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("czech") << "cs" << false
                               << QStringList{"Označení:", "Boiler 2", "Výstup:", "4 - 20 mADC",
                                              "Pevně nastavená teplota:", "25,0 °C",
                                              "Výstupní rozsah ve °C, konec:", "400", "Datum:", "14.03.2026",
                                              "Kompenzace odporu vedení:", "12,34 Ω",
                                              "Způsob zapojení:", "2 nebo 4 vodič"};
        QTest::newRow("english") << "en" << false
                                 << QStringList{"Text label:", "Boiler 2", "Output:", "4 - 20 mADC",
                                                "Fixed set temperature:", "25.0 °C",
                                                "Output range in °C, end:", "400", "Date:", "2026-03-14",
                                                "Wiring resist. compens.:", "12.34 Ω"};
        QTest::newRow("invalid bytes, czech")
            << "cs" << true
            << QStringList{"Vstup:", "(nečitelné: 9)", "Výstup:", "(nečitelné: 4)",
                           "Omezit výstup na max. 10 VDC, 20 mADC:", "(nečitelné: 2)", "Označení:", "Boiler 2"};
        QTest::newRow("invalid bytes, english")
            << "en" << true
            << QStringList{"Input:", "(unreadable: 9)", "Output:", "(unreadable: 4)",
                           "Limit output to max. 10 VDC, 20 mADC:", "(unreadable: 2)"};
    }
    void showNamesSettingsAsTheWindow()
    {
        QFETCH(QString, lang);
        QFETCH(bool, invalid);
        QFETCH(QStringList, lines);
        TCtlConverter c;
        if (invalid)
            c.SetBlock(InvalidBytes(c.Block()));
        const TRun r = Ctl({"show", c.Path(), "--lang", lang});
        QCOMPARE(r.exit, 0);
        const QStringList out = r.out.split('\n');
        for (int i = 0; i < lines.size(); i += 2) {
            const auto row = std::find_if(out.begin(), out.end(), [&](const QString& l) { return l.startsWith(lines[i]); });
            QVERIFY2(row != out.end(), qPrintable(lines[i]));
            QCOMPARE(row->mid(lines[i].size()).trimmed(), lines[i + 1]);
        }
    }

    void diffListsWhatDiffers()
    {
        TCtlConverter c;
        const QString same = WriteFile("same.json", config::WriteSettingsFile(config::FileFromBlock(c.Block(), {}, {})));
        const TRun r0 = Ctl({"diff", c.Path(), same});
        QCOMPARE(r0.exit, 0);
        QCOMPARE(r0.out, c.Path() + ": no differences\n");

        const QString other = WriteFile("other.json", OtherConvertersFile(c.Block()));
        const TRun r1 = Ctl({"diff", c.Path(), other});
        QCOMPARE(r1.exit, 1);
        const QStringList rows = r1.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 5); // header, serial, label, set temperature, range end
        QCOMPARE(rows[2].simplified(), QString("label Boiler 2 Clone 7"));
        QCOMPARE(rows[4].simplified(), QString("range_end 400 450"));
        QVERIFY(!c.Written());

        // Bytes that hold no setting are stated with their number, as show does.
        c.SetBlock(InvalidBytes(c.Block()));
        const QString wanted = WriteFile("wanted.json", R"({"format": "tq36-settings", "version": 1,
            "settings": {"input": "K", "output": "4-20mA", "output_limit": true}})");
        for (const QStringList& args : {QStringList{"diff", c.Path(), wanted},
                                        QStringList{"write", wanted, c.Path(), "--dry-run"}}) {
            const QString out = Ctl(args).out.simplified();
            for (const char* row : {"input (unreadable: 9) ", "output (unreadable: 4) ", "output_limit (unreadable: 2) "})
                QVERIFY2(out.contains(row), qPrintable(args.first() + ": " + out));
        }
        QVERIFY(!c.Written());
    }

    void writeClonesWithBackupAndCheck()
    {
        TCtlConverter c;
        const SettingsBlock before = c.Block();
        const QString file = WriteFile("other.json", OtherConvertersFile(before));

        const TRun dry = Ctl({"write", file, c.Path(), "--dry-run"});
        QCOMPARE(dry.exit, 0);
        QVERIFY2(dry.out.startsWith(c.Path() + ": would write 3 settings"), qPrintable(dry.out));
        QVERIFY(!c.Written());
        QCOMPARE(Backups(), 0);

        const TRun r = Ctl({"write", file, c.Path()});
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.out.startsWith(c.Path() + ": 3 settings written and verified\n  backup " + QDir::toNativeSeparators(BackupDir() + "/36012345-")),
                 qPrintable(r.out));
        QVERIFY(r.out.contains("serial"));  // left out: the clone keeps its identity
        QCOMPARE(Label(c), QString("Clone 7"));
        QCOMPARE(DecodeTextField(c.Block(), kSerial), std::string("36012345"));
        QCOMPARE(Backups(), 1);

        const TRun again = Ctl({"write", file, c.Path()});
        QCOMPARE(again.exit, 0);
        QVERIFY2(again.out.startsWith(c.Path() + ": the converter already holds these settings"), qPrintable(again.out));
        QCOMPARE(Backups(), 1); // nothing to write, nothing to back up

        c.SetBlock(before);
        const TRun unsaved = Ctl({"write", file, c.Path(), "--no-backup"});
        QCOMPARE(unsaved.exit, 0);
        QCOMPARE(unsaved.out.section('\n', 0, 0), c.Path() + ": 3 settings written and verified");
        QCOMPARE(Label(c), QString("Clone 7"));
        QCOMPARE(Backups(), 1);
    }

    // A file that cannot be written, or is not proven on disk, fails the
    // run with the path and the system's reason: an existing file stays as
    // it was, and without its backup the converter is not written.
    void unwritableOutputs_data()
    {
        QTest::addColumn<QStringList>("args"); // @port, @dir, @file (another converter's settings)
        QTest::addColumn<QStringList>("env"); // @read-only: the older file is made read-only first
        QTest::addColumn<int>("fileLimit");  // bytes; 0: none
        QTest::addColumn<QString>("err");    // in what it says; @backup: the backup folder
        QTest::newRow("backup on a full disk") << QStringList{"write", "@file", "@port"} << QStringList{} << 100
                                               << "@port: nothing written: no backup: cannot write the backup @backup/36012345-";
        QTest::newRow("backup folder cannot be made")
            << QStringList{"write", "@file", "@port"} << QStringList{"XDG_DATA_HOME=@file"} << 0
            << "@port: nothing written: no backup: cannot make the backup folder @file/LK58/backups: Not a directory\n";
        QTest::newRow("no home for backups")
            << QStringList{"set", "@port", "label=X"} << QStringList{"XDG_DATA_HOME", "HOME"} << 0
            << "@port: nothing written: no backup: no folder for backups: neither HOME nor XDG_DATA_HOME is set to a full "
               "path; set one of them\n";
        QTest::newRow("change log on a full disk")
            << QStringList{"write", "@file", "@port", "--no-backup"} << QStringList{} << 100
            << "@port: nothing written: cannot write the change log @history/TQ36-36012345.jsonl: File too large\n";
        QTest::newRow("read -o on a full disk") << QStringList{"read", "@port", "-o", "@dir/old.json"} << QStringList{}
                                                << 100 << "@port: @dir/old.json: cannot save: File too large\n";
        QTest::newRow("report on a full disk")
            << QStringList{"report", "@port", "-o", "@dir/old.json"} << QStringList{} << 100
            << "@port: Cannot save the settings report to @dir/old.json: File too large\n";
        // Made read-only by its owner: refused even for root, whom cp would let through.
        QTest::newRow("read -o over a read-only file") << QStringList{"read", "@port", "-o", "@dir/old.json"}
                                                       << QStringList{"@read-only"} << 0
                                                       << "@port: @dir/old.json: cannot save: the file is read-only\n";
        QTest::newRow("report over a read-only file")
            << QStringList{"report", "@file", "-o", "@dir/old.json"} << QStringList{"@read-only"} << 0
            << "Cannot save the settings report to @dir/old.json: the file is read-only\n";
    }
    void unwritableOutputs()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, env);
        QFETCH(int, fileLimit);
        QFETCH(QString, err);
        for (auto [needed, need] : {std::pair{fileLimit > 0, TNeed::FileLimit},
                                    std::pair{!env.isEmpty() && env != QStringList{"@read-only"}, TNeed::DataFolders}})
            if (const char* why = needed ? Missing(need) : nullptr)
                QSKIP(why);
        TCtlConverter c;
        const SettingsBlock before = c.Block();
        QTemporaryDir work;
        const QString file = work.filePath("other.json"), kept = work.filePath("old.json");
        const QByteArray old = "an older file\n";
        for (const auto& [path, bytes] : {std::pair{file, OtherConvertersFile(before)}, std::pair{kept, old}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        auto place = [&](QString s) {
            return s.replace("@port", c.Path()).replace("@file", file).replace("@dir", work.path()).replace("@backup", BackupDir())
                .replace("@history", Path("data/LK58/history"));
        };
        for (QString& a : args)
            a = place(a);
        const auto writable = qScopeGuard([&] { QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner); });
        if (env.removeAll("@read-only"))
            QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        for (QString& e : env)
            e = place(e);
        const TRun r = CtlLimited(args, env, fileLimit);
        QVERIFY2((r.out + r.err).contains(AsTheReportSays(place(err))), qPrintable(r.out + r.err));
        QCOMPARE(r.exit, 2);
        QVERIFY(!c.Written());
        QVERIFY(c.Block() == before);
        QFile older(kept);
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), old);
        QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.json", "other.json"}));
        QCOMPARE(Backups(), 0);
    }

    // A file reported saved survives a power cut: after the rename that
    // puts it in place, its folder is synced too, as the system calls
    // that strace sees show.
    void savedFilesSurviveAPowerCut_data()
    {
        QTest::addColumn<QStringList>("args"); // @port, @file (a settings file), @out
        QTest::newRow("read -o") << QStringList{"read", "@port", "-o", "@out"};
        QTest::newRow("report") << QStringList{"report", "@file", "-o", "@out"};
        QTest::newRow("backup before a write") << QStringList{"set", "@port", "label=Pec 5"};
    }
    void savedFilesSurviveAPowerCut()
    {
        QFETCH(QStringList, args);
        if (const char* why = Missing(TNeed::SystemCalls))
            QSKIP(why);
        const QString strace = QStandardPaths::findExecutable("strace");
        if (strace.isEmpty())
            QSKIP("strace is not installed; scripts/deps.sh installs it");
        TCtlConverter c;
        QTemporaryDir work;
        const QString file = WriteFile("other.json", OtherConvertersFile(c.Block()));
        const QString out = work.filePath("saved.out");
        args.replaceInStrings("@port", c.Path()).replaceInStrings("@file", file).replaceInStrings("@out", out);
        const QString log = work.filePath("strace.log");
        // LeakSanitizer cannot work under ptrace: the traced run checks no leaks.
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "detect_leaks=0");
        QProcess p;
        Start(p, QStringList{"-f", "-qq", "-e", "trace=rename,renameat,renameat2,fsync,openat", "-o", log, TQ36CTL} + args,
              strace);
        qputenv("ASAN_OPTIONS", asan);
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QFile traced(log);
        QVERIFY(traced.open(QIODevice::ReadOnly));
        // After the rename into the folder: the folder opened, then that descriptor synced.
        const QString folder = args.contains("-o") ? work.path() : BackupDir();
        enum { Rename, Open, Sync, Done } step = Rename;
        QString fd;
        for (const QString& line : QString::fromUtf8(traced.readAll()).split('\n')) {
            const QString call = line.section(' ', 1).trimmed();
            if (step == Rename && call.startsWith("rename") && call.contains(", \"" + folder + "/"))
                step = Open;
            else if (step == Open && call.startsWith("openat(AT_FDCWD, \"" + folder + "\", ") && call.contains("O_DIRECTORY")) {
                fd = call.section(" = ", 1).trimmed();
                step = Sync;
            } else if (step == Sync && (call.startsWith("fsync(" + fd + ")") || call.startsWith("fsync(" + fd + " ")))
                step = Done;
        }
        QVERIFY2(step == Done, qPrintable(QStringLiteral("stopped at step %1").arg(int(step))));
    }

    // set, write and the way back all land in the converter's change log,
    // which reads back the very changes made; the settings before a change,
    // written back, make the converter what it was (as read back whole).
    void historyAndTheWayBack()
    {
        TCtlConverter c;
        const SettingsBlock original = c.Block();
        QCOMPARE(Ctl({"set", c.Path(), "label=Kotel 9", "range_end=450"}).exit, 0);
        const SettingsBlock afterSet = c.Block();
        const QString other = WriteFile("other.json", OtherConvertersFile(original));
        QCOMPARE(Ctl({"write", other, c.Path()}).exit, 0);

        const TRun json = Ctl({"history", c.Path(), "--json"});
        QCOMPARE(json.exit, 0);
        QStringList changes;
        for (const QString& line : json.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(o.value("program").toString(), QString("tq36ctl 0.2.1.7"));
            QCOMPARE(o.value("port").toString(), c.Path());
            changes << QStringLiteral("%1 %2 %3 -> %4 %5")
                           .arg(o.value("id").toInt())
                           .arg(o.value("key").toString(),
                                QString::fromUtf8(QJsonDocument(QJsonArray{o.value("before")}).toJson(QJsonDocument::Compact)),
                                QString::fromUtf8(QJsonDocument(QJsonArray{o.value("after")}).toJson(QJsonDocument::Compact)),
                                o.value("outcome").toString());
        }
        QCOMPARE(changes, (QStringList{"4 set_temperature [25] -> [30.5] verified",
                                       "3 label [\"Kotel 9\"] -> [\"Clone 7\"] verified",
                                       "2 range_end [400] -> [450] verified",
                                       "1 label [\"Boiler 2\"] -> [\"Kotel 9\"] verified"}));
        // The same log by the serial number, without the converter.
        const TRun table = Ctl({"history", "36012345", "--since", "2000-01-01"});
        QCOMPARE(table.exit, 0);
        QCOMPARE(table.out.count('\n'), 5); // the heading and four changes
        QVERIFY2(table.out.section('\n', 4, 4).contains(QRegularExpression("^1 .* label +Boiler 2 -> Kotel 9 +verified$")),
                 qPrintable(table.out));
        QCOMPARE(Ctl({"history", "36012345", "--since", "2096-01-01"}).out, QString());

        // Back to before the file was written, and proven by a read-all.
        const TRun back = Ctl({"history", "36012345", "--before", "3", "-o", Path("before.json")});
        QCOMPARE(back.exit, 0);
        QCOMPARE(back.out, "36012345: the settings before change 3 saved to " + Path("before.json") + '\n');
        QCOMPARE(Ctl({"write", Path("before.json"), c.Path()}).exit, 0);
        const TRun read = Ctl({"read", c.Path()});
        QCOMPARE(config::ReadSettingsFile(read.out.toUtf8()).file->settings, config::FromBlock(afterSet));
        QVERIFY(c.Block() == afterSet);
        // The way back is in the log too.
        QCOMPARE(Ctl({"history", c.Path(), "--json"}).out.count('\n'), 6);
    }

    void setWritesOnlyThePairs()
    {
        TCtlConverter c;
        const TRun r = Ctl({"set", c.Path(), "label=Boiler 3", "range_end=450", "output=0-10V", "-q"});
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.out, QString()); // quiet: success says nothing
        QCOMPARE(Label(c), QString("Boiler 3"));
        QCOMPARE(DecodeNumber(c.Block(), kRangeEnd), 450);
        QCOMPARE(ChoiceByte(c.Block(), kOutputType), std::uint8_t(1));
        QCOMPARE(Backups(), 1);
    }

    void severalPortsAtOnceOneFaulty()
    {
        TCtlConverter a, b, faulty;
        // Answers the read, then acknowledges no write.
        faulty.SetFault(Fault::Silent, kEveryReply, kOnWrite);
        const QString file = WriteFile("other.json", OtherConvertersFile(a.Block()));
        const TRun r = Ctl({"write", file, a.Path(), faulty.Path(), b.Path()});
        QCOMPARE(r.exit, 4);
        QCOMPARE(Label(a), QString("Clone 7"));
        QCOMPARE(Label(b), QString("Clone 7"));
        QCOMPARE(Label(faulty), QString("Boiler 2"));
        const QStringList out = r.out.split('\n');
        QVERIFY(out.contains(a.Path() + ": 3 settings written and verified"));
        QVERIFY(out.contains(b.Path() + ": 3 settings written and verified"));
        QVERIFY2(r.out.contains(faulty.Path() + ": the converter did not acknowledge"), qPrintable(r.out));
        QVERIFY(out.contains("3 ports: 2 succeeded, 1 did not"));
        // Plain progress lines when standard error is not a terminal.
        QVERIFY2(r.err.contains(a.Path() + ": writing label "), qPrintable(r.err));

        const TRun json = Ctl({"write", file, a.Path(), faulty.Path(), "--json"});
        QCOMPARE(json.exit, 4);
        const QStringList lines = json.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(QJsonDocument::fromJson(lines[0].toUtf8()).object().value("outcome").toString(), QString("unchanged"));
        const QJsonObject lost = QJsonDocument::fromJson(lines[1].toUtf8()).object();
        QCOMPARE(lost.value("port").toString(), faulty.Path());
        QCOMPARE(lost.value("status").toInt(), 4);
        QCOMPARE(lost.value("outcome").toString(), QString("lost"));
        QCOMPARE(lost.value("settings").toArray().first().toObject().value("status").toString(), QString("failed"));
        QCOMPARE(QJsonDocument::fromJson(lines[2].toUtf8()).object().value("status").toInt(), 4);
    }

    // A text is written whole or not at all: the write under way finishes,
    // then every port stops and reports what its converter holds.
    void interruptStopsAfterTheCurrentWrite_data()
    {
        QTest::addColumn<QString>("signal"); // as Interrupt() names it
        QTest::addColumn<int>("ports");
        QTest::newRow("Ctrl+C to the parent of two ports") << "INT" << 2;
        QTest::newRow("Ctrl+C, one port") << "INT" << 1;
        QTest::newRow("hang-up to the parent of two ports") << "HUP" << 2;
        QTest::newRow("hang-up, one port") << "HUP" << 1;
        QTest::newRow("SIGTERM, one port") << "TERM" << 1;
    }
    void interruptStopsAfterTheCurrentWrite()
    {
        QFETCH(QString, signal);
        QFETCH(int, ports);
        if (const char* why = signal != "INT" ? Missing(TNeed::Signals) : nullptr)
            QSKIP(why);
        TCtlConverter a, b;
        a.SetPacing(true);
        b.SetPacing(true);
        const SettingsBlock before = a.Block();
        const QString file = WriteFile("many.json", ManyChangesFile(before));
        const QList<TCtlConverter*> converters = QList<TCtlConverter*>{&a, &b}.mid(0, ports);
        QStringList args{"write", file};
        for (TCtlConverter* c : converters)
            args << c->Path();
        QProcess p;
        PrepareToInterrupt(p);
        Start(p, args << "--json");
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p.readAllStandardError())).contains(": writing "), 20000);
        QVERIFY(Interrupt(p, signal));
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 4);
        const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
        for (int i = 0; i < ports; ++i) {
            const QJsonObject port = QJsonDocument::fromJson(lines[i]).object();
            QCOMPARE(port.value("outcome").toString(), QString("interrupted"));
            const QJsonArray settings = port.value("settings").toArray();
            QCOMPARE(settings.last().toObject().value("status").toString(), QString("not written"));
            for (const QJsonValue& v : settings) {
                const QString status = v.toObject().value("status").toString();
                QVERIFY2(status == "verified" || status == "not written", qPrintable(status));
            }
        }
        for (TCtlConverter* c : converters)
            VerifyOldOrNew(*c, before, ManyChangesFile(before));
    }

    // A reader that goes away (`| head -c1`) stops no write: every setting
    // is written and checked, and what standard output would not take is
    // told on standard error. Output that is the product of its command and
    // did not go out whole (a full disk, a closed pipe) is exit 2; write,
    // set and ping keep the status of their work.
    void lostOutput_data()
    {
        QTest::addColumn<QStringList>("args"); // @file: most settings changed; @port, @port2
        QTest::addColumn<QString>("sink");     // the shell's redirection after tq36ctl, or "closed pipe"
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("err"); // in standard error
        const QStringList write{"write", "@file", "@port"};
        const QString full = "tq36ctl: standard output: No space left on device";
        const QString broken = "tq36ctl: standard output: Broken pipe";
        QTest::newRow("both streams, one port") << write << "2>&1 | head -c1" << 0 << "";
        QTest::newRow("both streams, two ports") << write + QStringList{"@port2"} << "2>&1 | head -c1" << 0 << "";
        QTest::newRow("standard output only, one port")
            << write << "| true" << 0
            << broken + "; what it did not take follows here\n@port: 13 settings written and verified\n";
        QTest::newRow("read to a full disk") << QStringList{"read", "@port"} << "> /dev/full" << 2 << full;
        QTest::newRow("read to a closed pipe") << QStringList{"read", "@port"} << "closed pipe" << 2 << broken;
        QTest::newRow("read -o, its note lost") << QStringList{"read", "@port", "-o", "@dir/saved.json"} << "> /dev/full"
                                                << 2 << full;
        QTest::newRow("show to a full disk") << QStringList{"show", "@port"} << "> /dev/full" << 2 << full;
        QTest::newRow("diff to a closed pipe") << QStringList{"diff", "@port", "@file"} << "closed pipe" << 2 << broken;
        QTest::newRow("ports --json to a full disk") << QStringList{"ports", "--json"} << "> /dev/full" << 2 << full;
        QTest::newRow("report's note to a full disk")
            << QStringList{"report", "@file", "-o", "@dir/r.pdf"} << "> /dev/full" << 2 << full;
        QTest::newRow("ping --json to a closed pipe") << QStringList{"ping", "@port", "--json"} << "closed pipe" << 2
                                                      << broken;
        QTest::newRow("ping to a full disk") << QStringList{"ping", "@port"} << "> /dev/full" << 0 << full;
        QTest::newRow("write to a full disk") << write << "> /dev/full" << 0 << full;
        QTest::newRow("set --json to a full disk") << QStringList{"set", "@port", "label=Pec 4", "--json"}
                                                   << "> /dev/full" << 0 << full;
        QTest::newRow("help to a full disk") << QStringList{"--help"} << "> /dev/full" << 2 << full;
    }
    void lostOutput()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, sink);
        QFETCH(int, exit);
        QFETCH(QString, err);
        if (const char* why = sink != "closed pipe" ? Missing(TNeed::Shell) : nullptr)
            QSKIP(why);
        TCtlConverter a, b;
        a.SetPacing(true);
        b.SetPacing(true);
        const QByteArray wanted = ManyChangesFile(a.Block());
        const QString file = WriteFile("many.json", wanted);
        QFile::remove(Path("saved.json"));
        auto place = [&](QString s) {
            return s.replace("@port2", b.Path()).replace("@port", a.Path()).replace("@file", file).replace("@dir", dir_.path());
        };
        for (QString& arg : args)
            arg = place(arg);
        QProcess p;
        if (sink == "closed pipe") {
            // A pipe whose reader is gone before anything is written.
            GiveClosedPipe(p);
            Start(p, args);
        } else {
            // pipefail: the status is tq36ctl's, not that of the reader.
            Start(p, QStringList{"-c", "set -o pipefail; \"$0\" \"$@\" " + sink, TQ36CTL} + args, "bash");
        }
        QVERIFY(p.waitForFinished(60000));
        const QString said = OutputText(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == exit, qPrintable(QString::number(p.exitCode()) + ": " + said));
        QVERIFY2(said.contains(SystemText(place(err))), qPrintable(said));
        if (args[0] == "write")
            for (TCtlConverter* c : {&a, &b})
                if (args.contains(c->Path()))
                    QVERIFY(config::FromBlock(c->Block()) == config::ReadSettingsFile(wanted).file->settings);
        if (args[0] == "set")
            QCOMPARE(Label(a), QString("Pec 4"));
        if (args.contains("-o"))
            QVERIFY(QFile::exists(args.last())); // the file is the product, and it was saved
    }

    // A settings file from a pipe is read once, by the parent: every port
    // of a several-port write gets it.
    void settingsFileFromAPipe()
    {
        TCtlConverter a, b;
        TPipedFile pipe(OtherConvertersFile(a.Block()));
        QProcess p;
        Start(p, {"write", pipe.Name(), a.Path(), b.Path()});
        QVERIFY(pipe.Feed(p));
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QCOMPARE(Label(a), QString("Clone 7"));
        QCOMPARE(Label(b), QString("Clone 7"));
    }

    // A worker that ends before it reports: its own exit status is what it
    // met, not a converter that did not answer.
    void workerEndingUnreported_data()
    {
        QTest::addColumn<QStringList>("args"); // @port
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::newRow("bad settings file")
            << QStringList{"write", "bad.json", "@port"}
            << QByteArray(R"({"format": "tq36-settings", "version": 1, "settings": {"range_end": 10000}})") << 2;
        QTest::newRow("usage error") << QStringList{"write", "only-a-file.json"} << QByteArray() << 2;
    }
    void workerEndingUnreported()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        TCtlConverter c;
        std::FILE* log = std::tmpfile();
        ctl::TConsole console(log, false, true);
        const std::vector<ctl::TPortResult> results = ctl::RunWorkers(
            {c.Path()}, [&](const QString& port) { return QStringList(args).replaceInStrings("@port", port); },
            console, input);
        std::fclose(log);
        QCOMPARE(results.size(), std::size_t(1));
        QCOMPARE(static_cast<int>(results[0].status), status);
        QVERIFY(!c.Written());
    }

    // A range end or begin alone is refused against the converter's other
    // end, named as the converter's.
    void setRangeAgainstTheConverter_data()
    {
        QTest::addColumn<QString>("pair");
        QTest::addColumn<QString>("problem");
        QTest::newRow("begin above the converter's end")
            << "range_begin=500" << "settings.range_begin = 500: must be below the converter's range_end (400)";
        QTest::newRow("end below the converter's begin")
            << "range_end=-5" << "settings.range_end = -5: must be above the converter's range_begin (0)";
    }
    void setRangeAgainstTheConverter()
    {
        QFETCH(QString, pair);
        QFETCH(QString, problem);
        TCtlConverter c;
        const TRun r = Ctl({"set", c.Path(), pair});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.out.contains("  " + problem + '\n'), qPrintable(r.out));
        QVERIFY(!c.Written());
        QCOMPARE(Backups(), 0);
    }

    void verboseShowsEveryRequestAndReply()
    {
        TCtlConverter c;
        const TRun r = Ctl({"ping", c.Path(), "-v"});
        QVERIFY2(r.exit == 0, qPrintable(QString::number(r.exit) + ": " + r.err));
        const QStringList err = r.err.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(err.contains(c.Path() + " > FF BF BF"), qPrintable(r.err));
        QVERIFY2(std::any_of(err.begin(), err.end(), [&](const QString& l) { return l.startsWith(c.Path() + " < FF "); }),
                 qPrintable(r.err));
    }

    void probeLeavesAHeldPortAlone()
    {
        if (const char* why = Missing(TNeed::HeldPort))
            QSKIP(why);
        TCtlConverter answering, held, silent;
        silent.SetFault(Fault::Silent);
        const std::shared_ptr<void> hold = HoldPort(held.Path());
        std::FILE* log = std::tmpfile();
        ctl::TConsole console(log, false, true);
        const std::vector<ctl::TPortResult> results = ctl::ProbePorts(
            {answering.Path(), held.Path(), silent.Path(), Path("ttyNONE")}, false, console);
        std::fclose(log);
        QCOMPARE(results.size(), std::size_t(4));
        QCOMPARE(results[0].status, ctl::TExit::Ok);
        QCOMPARE(results[1].status, ctl::TExit::NoPort);
        QCOMPARE(results[1].json.value("error_code").toInt(), EBUSY);
        QCOMPARE(results[2].status, ctl::TExit::NoAnswer);
        QCOMPARE(results[3].status, ctl::TExit::NoPort);
        QCOMPARE(held.Counters()->requests, std::size_t(0));
        QCOMPARE(answering.Counters()->requests, answering.Counters()->pings);
        QCOMPARE(silent.Counters()->requests, silent.Counters()->pings);
    }

    void portsListsTheMachinesPorts()
    {
        std::vector<std::string> names;
        TComPort::ListPorts(names);
        QString expected;
        for (const std::string& n : names)
            expected += QString::fromStdString(n) + '\n';
        const TRun r = Ctl({"ports"});
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.out, expected);
    }
};

QTEST_GUILESS_MAIN(TstCtlProgram)
#include "tst_ctlprogram.moc"

// Writing settings files to the simulated converter: what it ends up
// holding, what the report says, and the backup taken before.
#include "config/restore.h"
#include "config/values.h"
#include "linkpeer.h"
#include "sim/simulator.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

using namespace lk58;
using namespace lk58::config;
using namespace lk58::test;

Q_DECLARE_METATYPE(lk58::config::RunStatus)

namespace {

SettingsBlock Factory()
{
    const Tq36Block b = DefaultBlock();
    return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
}

Tq36Block Raw(const SettingsBlock& block)
{
    Tq36Block b;
    std::copy(block.Data().begin(), block.Data().end(), b.begin());
    return b;
}

// Another converter: other settings everywhere, its own identity, and
// its own data in the words that are no settings of ours.
SettingsBlock Another()
{
    SettingsBlock b = Factory();
    for (int n = 6; n <= 19; ++n)
        b.SetWord(n, std::uint16_t(0xA000 + n));
    for (int n = 47; n <= 60; ++n)
        b.SetWord(n, std::uint16_t(0xB000 + n));
    StoreText(b, kSerial, Bytes{'3', '6', '0', '9', '9', '9', '9', '9'});
    StoreText(b, kName, Bytes{'P', 'u', 'm', 'p', ' ', '7'});
    StoreText(b, kDate, Bytes{'0', '1', '.', '0', '2', '.', '2', '0'});
    StoreText(b, kPerson, Bytes{'E', 'v', 'a'});
    StoreValue(b, kInputType, 1);
    StoreValue(b, kColdComp, 0);
    StoreValue(b, kSetTemp, -15);
    StoreValue(b, kResComp, 9999);
    StoreValue(b, kOutputType, 1);
    StoreValue(b, kRangeBegin, 500);
    StoreValue(b, kRangeEnd, 900);
    StoreValue(b, kOutputLimit, 1);
    StoreValue(b, kInputError, 2);
    StoreValue(b, kWiring, 2);
    return b;
}

Settings Parse(const QByteArray& settings)
{
    const ReadResult r = ReadSettingsFile(R"({"format": "tq36-settings", "version": 1, "settings": {)" + settings + "}}");
    if (!r.file)
        qFatal("test file does not read: %s", r.problems.front().Message().c_str());
    return r.file->settings;
}

QStringList Report(const RestoreOutcome& o)
{
    QStringList out;
    for (const SettingReport& r : o.settings)
        out << QString("%1 %2").arg(KeyName(r.key).data(), StatusName(r.status).data());
    return out;
}

// The writes the converter took, a write repeated at once counted once: a
// slow machine may let an acknowledgement come after its attempt's budget,
// and then the link sends the same write again.
std::vector<WriteRecord> Distinct(const std::vector<WriteRecord>& writes)
{
    std::vector<WriteRecord> out;
    for (const WriteRecord& w : writes)
        if (out.empty() || !(out.back() == w))
            out.push_back(w);
    return out;
}

std::vector<int> WrittenNumbers(const Tq36Simulator& sim)
{
    std::vector<int> numbers;
    for (const WriteRecord& w : Distinct(sim.AppliedWrites()))
        numbers.push_back(w.number);
    return numbers;
}

} // namespace

class TstRestore : public QObject {
    Q_OBJECT

    std::string simPort;
    std::unique_ptr<Tq36Simulator> sim;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TDeviceLink> link;
    std::unique_ptr<QTemporaryDir> home;
    // The converter falls silent after this many applied writes (-1: never)
    // for `silentFor` requests.
    std::atomic<int> loseAfter{-1};
    std::atomic<int> silentFor{kEveryReply};
    std::atomic<int> applied{0};
    std::atomic<bool> rangeCrossed{false};
    Bytes lastWrite; // the simulator's thread only, while it runs

    RestoreOptions Options() const
    {
        RestoreOptions o;
        o.backupDir = home->filePath("backups");
        o.historyDir = home->filePath("history");
        o.now = QDateTime::fromString("2026-12-07T22:40:00.123+01:00", Qt::ISODateWithMs);
        return o;
    }

    // The backup must hold exactly the block the converter had before.
    void VerifyBackup(const RestoreOutcome& o, const SettingsBlock& before)
    {
        QFile file(o.backupPath);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(o.backupPath));
        const ReadResult r = ReadSettingsFile(file.readAll());
        QVERIFY(r.file);
        QVERIFY(r.file->block == before);
        QVERIFY(r.file->settings == FromBlock(before));
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        loseAfter = -1;
        silentFor = kEveryReply;
        applied = 0;
        rangeCrossed = false;
        lastWrite.clear();
        simPort = NewSimulatorPort();
        sim = SimulatorOn(simPort);
        sim->SetPacing(false);
        sim->SetObserver([this](const TrafficEvent& e) {
            if (!e.blockChanged)
                return;
            if (std::int16_t(sim->Word(21)) <= std::int16_t(sim->Word(20)))
                rangeCrossed = true;
            if (e.bytes == lastWrite)
                return; // the same write again
            lastWrite = e.bytes;
            if (++applied == loseAfter)
                sim->SetFault(Fault::Silent, silentFor);
        });
        sim->Start();
        port = std::make_unique<TComPort>();
        link = std::make_unique<TDeviceLink>(*port);
        OpenPort(*port, simPort);
    }

    void cleanup()
    {
        link.reset();
        port.reset();
        sim.reset();
        home.reset();
    }

    // Converter -> file -> another converter: the settings arrive, the
    // other's identity and its own words stay.
    void cloneToAnotherConverter()
    {
        const ReadResult saved = ReadSettingsFile(WriteSettingsFile(FileFromBlock(*ReadBlock(*link), {}, {})));
        QVERIFY(saved.file);
        const SettingsBlock target = Another();
        sim->SetBlock(Raw(target));
        std::vector<std::pair<Key, int>> progress;
        RestoreOptions options = Options();
        options.onProgress = [&](Key key, int n, int count) {
            progress.emplace_back(key, n);
            QCOMPARE(count, 13);
        };
        const RestoreOutcome o = Restore(*link, saved.file->settings, options);
        QCOMPARE(o.status, RunStatus::Done);
        QCOMPARE(o.leftOut, std::vector<Key>{Key::Serial});
        QCOMPARE(progress.size(), std::size_t(13));
        QVERIFY(progress.front() == std::make_pair(Key::Label, 1));
        QCOMPARE(int(std::count_if(o.settings.begin(), o.settings.end(),
                                   [](const SettingReport& r) { return r.status == SettingStatus::Verified; })),
                 13);
        const SettingsBlock after(std::span<const std::uint8_t, kSettingsBlockSize>(sim->Block()));
        Settings expected = FromBlock(Factory());
        expected[Key::Serial] = FromBlock(target)[Key::Serial];
        QVERIFY(FromBlock(after) == expected);
        for (int n : {6, 7, 19, 47, 55, 60})
            QCOMPARE(after.Word(n), target.Word(n));
        QCOMPARE(after.Long(63), 1234);
        QVERIFY(!rangeCrossed);
        VerifyBackup(o, target);
        QCOMPARE(QFileInfo(o.backupPath).fileName(), "36099999-20261207-224000-123.json");
    }

    // Words 6-19 and 47-60 are never written, whatever a write covers.
    void onlySettingWords()
    {
        sim->SetBlock(Raw(Another()));
        RestoreOptions options = Options();
        options.includeIdentity = true;
        const RestoreOutcome o = Restore(*link, FromBlock(Factory()), options);
        QCOMPARE(o.status, RunStatus::Done);
        for (int n : WrittenNumbers(*sim))
            QVERIFY2((n >= 1 && n <= 5) || (n >= 20 && n <= 46) || n >= 61, qPrintable(QString::number(n)));
        QCOMPARE(sim->Word(26), std::uint16_t(0x3336)); // the identity, as asked
    }

    void whatIsWritten_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("identity");
        QTest::addColumn<std::vector<int>>("written");
        QTest::newRow("template") << QByteArray(R"("output": "0-10V", "range_begin": 500, "range_end": 900)") << false
                                  << std::vector<int>{5, 21, 20};
        QTest::newRow("unchanged file") << QByteArray(R"("label": "Boiler 2", "set_temperature": 25.0)") << false
                                        << std::vector<int>{};
        QTest::newRow("identity not asked") << QByteArray(R"("serial": "36099999", "type": "TQ99")") << false
                                            << std::vector<int>{};
        QTest::newRow("identity asked") << QByteArray(R"("serial": "36099999")") << true
                                        << std::vector<int>{26, 27, 28, 29};
        QTest::newRow("range down") << QByteArray(R"("range_begin": -100, "range_end": -50)") << false
                                    << std::vector<int>{20, 21};
        QTest::newRow("end only") << QByteArray(R"("range_end": 1)") << false << std::vector<int>{21};
        QTest::newRow("date and resistance") << QByteArray(R"("calibration_date": "1999-12-31", "wiring_resistance": -0.01)")
                                             << false << std::vector<int>{35, 36, 37, 38, 63};
    }
    void whatIsWritten()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, identity);
        QFETCH(std::vector<int>, written);
        RestoreOptions options = Options();
        options.includeIdentity = identity;
        const RestoreOutcome o = Restore(*link, Parse(file), options);
        QCOMPARE(WrittenNumbers(*sim), written);
        QCOMPARE(o.status, written.empty() ? RunStatus::Unchanged : RunStatus::Done);
        QCOMPARE(o.backupPath.isEmpty(), written.empty());
        QCOMPARE(QDir(home->filePath("backups")).exists(), !written.empty());
        QVERIFY(!rangeCrossed);
    }

    // The range check against the converter's other end, before anything
    // is written or backed up.
    void rangeAgainstConverter()
    {
        const RestoreOutcome o = Restore(*link, Parse(R"("label": "X", "range_begin": 400)"), Options());
        QCOMPARE(o.status, RunStatus::Rejected);
        QCOMPARE(o.problems.size(), std::size_t(1));
        QCOMPARE(o.problems[0].Message(), "settings.range_begin = 400: must be below the converter's range_end (400)");
        const RestoreOutcome p = Restore(*link, Parse(R"("range_end": -1)"), Options());
        QCOMPARE(p.problems[0].Message(), "settings.range_end = -1: must be above the converter's range_begin (0)");
        QCOMPARE(sim->Counters().writes, std::size_t(0));
        QVERIFY(!QDir(home->filePath("backups")).exists());
    }

    void noBackupNoWrite()
    {
        QFile blocker(home->filePath("backups"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        RestoreOptions options = Options();
        options.backupDir = home->filePath("backups/sub");
        const RestoreOutcome o = Restore(*link, Parse(R"("label": "X")"), options);
        QCOMPARE(o.status, RunStatus::BackupFailed);
        QVERIFY(o.backupPath.isEmpty());
        QCOMPARE(o.error, "cannot make the backup folder " + QDir::toNativeSeparators(options.backupDir).toStdString() +
                              ": Not a directory");
        QCOMPARE(sim->Counters().writes, std::size_t(0));
    }

    // Two backups of one converter in the same millisecond keep both.
    void backupNeverReplaced()
    {
        const QString dir = home->filePath("b");
        const QDateTime t = QDateTime::fromString("2026-12-07T22:40:00.123+01:00", Qt::ISODateWithMs);
        const QString first = WriteBackup(Factory(), dir, t, "x");
        const QString second = WriteBackup(Another(), dir, t, "x");
        QCOMPARE(QFileInfo(first).fileName(), "36012345-20261207-224000-123.json");
        QCOMPARE(QFileInfo(second).fileName(), "36099999-20261207-224000-123.json");
        const QString third = WriteBackup(Factory(), dir, t, "x");
        QCOMPARE(QFileInfo(third).fileName(), "36012345-20261207-224000-123-2.json");
    }

    void cancelBetweenWrites()
    {
        int asked = 0;
        RestoreOptions options = Options();
        options.cancelRequested = [&] { return ++asked == 2; };
        const RestoreOutcome o = Restore(*link, Parse(R"("label": "X", "output": "0-10V", "wiring": "3-wire")"), options);
        QCOMPARE(o.status, RunStatus::Cancelled);
        QCOMPARE(Report(o), (QStringList{"label verified", "output not written", "wiring not written"}));
        QCOMPARE(WrittenNumbers(*sim), (std::vector<int>{30, 31, 32, 33, 34}));
    }

    // A converter that stops answering, or whose acknowledgements arrive
    // damaged, part-way: the report says exactly what it holds, and the
    // backup stays whole.
    void faults_data()
    {
        QTest::addColumn<int>("after");  // applied writes before the fault
        QTest::addColumn<int>("fault");  // -1: silent for `count` requests
        QTest::addColumn<int>("count");
        QTest::addColumn<RunStatus>("status");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<int>("acknowledged");
        QTest::addColumn<int>("took"); // writes the converter took
        const QStringList all{"label", "wiring_resistance", "output", "range_begin", "range_end"};
        auto report = [&](QStringList statuses) {
            for (int i = 0; i < statuses.size(); ++i)
                statuses[i] = all[i] + " " + statuses[i];
            return statuses;
        };
        const QString v = "verified", f = "failed", u = "not verified", n = "not written";
        // Lost for good after each write: no read-back either.
        QTest::newRow("lost before the first write") << 0 << -1 << kEveryReply << RunStatus::Lost
                                                     << report({f, n, n, n, n}) << 0 << 0;
        for (int w = 1; w <= 4; ++w)
            QTest::newRow(qPrintable(QString("lost after label word %1").arg(w)))
                << w << -1 << kEveryReply << RunStatus::Lost << report({f, n, n, n, n}) << w << w;
        QTest::newRow("lost after label") << 5 << -1 << kEveryReply << RunStatus::Lost << report({u, f, n, n, n}) << 5 << 5;
        QTest::newRow("lost after resistance") << 6 << -1 << kEveryReply << RunStatus::Lost << report({u, u, f, n, n}) << 6 << 6;
        QTest::newRow("lost after output") << 7 << -1 << kEveryReply << RunStatus::Lost << report({u, u, u, f, n}) << 7 << 7;
        QTest::newRow("lost after range begin") << 8 << -1 << kEveryReply << RunStatus::Lost << report({u, u, u, u, f}) << 8 << 8;
        QTest::newRow("lost after the last write") << 9 << -1 << kEveryReply << RunStatus::CheckFailed
                                                   << report({u, u, u, u, u}) << 9 << 9;
        // Silent for one write's every attempt, then back for the check.
        QTest::newRow("silent inside label") << 2 << -1 << 10 << RunStatus::Lost << report({f, n, n, n, n}) << 2 << 2;
        QTest::newRow("silent on output") << 6 << -1 << 10 << RunStatus::Lost << report({v, v, f, n, n}) << 6 << 6;
        // Applied, but never a good acknowledgement: not reported written.
        QTest::newRow("corrupt acknowledgement") << 6 << int(Fault::CorruptChecksum) << 10 << RunStatus::Lost
                                                 << report({v, v, f, n, n}) << 6 << 7;
    }
    void faults()
    {
        QFETCH(int, after);
        QFETCH(int, fault);
        QFETCH(int, count);
        QFETCH(RunStatus, status);
        QFETCH(QStringList, report);
        QFETCH(int, acknowledged);
        QFETCH(int, took);
        RestoreOptions options = Options();
        if (fault < 0 && after > 0) {
            loseAfter = after;
            silentFor = count;
        } else {
            // Before the first write, or before output (the third).
            options.onProgress = [&](Key, int n, int) {
                if (n == (fault < 0 ? 1 : 3))
                    sim->SetFault(fault < 0 ? Fault::Silent : Fault(fault), count, fault < 0 ? kOnAny : kOnWrite);
            };
        }
        const SettingsBlock before = Factory();
        const RestoreOutcome o = Restore(
            *link, Parse(R"("label": "Pump 7", "wiring_resistance": 5.0, "output": "0-10V", "range_begin": 50, "range_end": 150)"),
            options);
        QCOMPARE(o.status, status);
        QCOMPARE(Report(o), report);
        QCOMPARE(o.framesAcknowledged, acknowledged);
        QCOMPARE(o.framesPlanned, 9);
        QCOMPARE(Distinct(sim->AppliedWrites()).size(), std::size_t(took));
        QCOMPARE(o.after.has_value(), count != kEveryReply);
        if (o.after) {
            QVERIFY(*o.after == SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(sim->Block())));
            for (const SettingReport& r : o.settings)
                QVERIFY(r.readBack == BlockValue(r.key, *o.after));
            // Two of the label's words went in before the silence.
            if (after == 2)
                QCOMPARE(FormatValue(Key::Label, *o.settings[0].readBack), "Pumper 2");
        }
        VerifyBackup(o, before);
        QVERIFY(!rangeCrossed);
    }

    // One glitch on a read-all or a 32-bit write costs a retry, not the
    // run; a read-back that fails is a lost converter only when a ping goes
    // unanswered too.
    void glitchCostsARetry_data()
    {
        QTest::addColumn<int>("before");   // the fault is set before this write (1 based; 0: before the run)
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("count");
        QTest::addColumn<unsigned>("kinds");
        QTest::addColumn<RunStatus>("status");
        QTest::addColumn<bool>("lost");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("took"); // writes the converter took
        const int silent = int(Fault::Silent), corrupt = int(Fault::CorruptChecksum);
        // Writes: label, wiring_resistance (32-bit), output, range_begin, range_end.
        QTest::newRow("first read-all unanswered once") << 0 << silent << 1 << kOnReadAll << RunStatus::Done << false << QString() << 9;
        QTest::newRow("32-bit write unanswered once") << 2 << silent << 1 << kOnWrite << RunStatus::Done << false << QString() << 9;
        QTest::newRow("read-back unanswered once") << 5 << silent << 1 << kOnReadAll << RunStatus::Done << false << QString() << 9;
        QTest::newRow("read-back damaged twice, converter pings")
            << 5 << corrupt << 2 << kOnReadAll << RunStatus::CheckFailed << false
            << QString("the converter answered the read-back with a damaged reply, though it answers a ping") << 9;
        QTest::newRow("read-back and ping unanswered")
            << 5 << silent << kEveryReply << (kOnReadAll | kOnPing) << RunStatus::CheckFailed << true
            << QString("the converter did not answer the read-back, nor a ping") << 9;
        QTest::newRow("32-bit write unanswered twice")
            << 2 << silent << 2 << kOnWrite << RunStatus::Lost << false << QString("the converter did not acknowledge wiring_resistance") << 5;
        QTest::newRow("first read-all damaged twice")
            << 0 << corrupt << 2 << kOnReadAll << RunStatus::NotRead << false << QString("the converter answered with a damaged reply") << 0;
    }
    void glitchCostsARetry()
    {
        QFETCH(int, before);
        QFETCH(int, fault);
        QFETCH(int, count);
        QFETCH(unsigned, kinds);
        QFETCH(RunStatus, status);
        QFETCH(bool, lost);
        QFETCH(QString, error);
        QFETCH(int, took);
        RestoreOptions options = Options();
        if (before == 0)
            sim->SetFault(Fault(fault), count, kinds);
        options.onProgress = [&](Key, int n, int) {
            if (n == before)
                sim->SetFault(Fault(fault), count, kinds);
        };
        const RestoreOutcome o = Restore(
            *link, Parse(R"("label": "Pump 7", "wiring_resistance": 5.0, "output": "0-10V", "range_begin": 50, "range_end": 150)"),
            options);
        QCOMPARE(o.status, status);
        QCOMPARE(o.lost, lost);
        QCOMPARE(QString::fromStdString(o.error), error);
        QCOMPARE(int(Distinct(sim->AppliedWrites()).size()), took);
        if (status == RunStatus::Done)
            QCOMPARE(Report(o), (QStringList{"label verified", "wiring_resistance verified", "output verified",
                                             "range_begin verified", "range_end verified"}));
        if (status == RunStatus::CheckFailed)
            QCOMPARE(Report(o), (QStringList{"label not verified", "wiring_resistance not verified",
                                             "output not verified", "range_begin not verified",
                                             "range_end not verified"}));
    }

    void converterNotThere()
    {
        sim->SetFault(Fault::Silent);
        const RestoreOutcome o = Restore(*link, Parse(R"("label": "X")"), Options());
        QCOMPARE(o.status, RunStatus::NotRead);
        QCOMPARE(o.error, "the converter did not answer");
        QVERIFY(o.backupPath.isEmpty());
        QCOMPARE(sim->Counters().writes, std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TstRestore)
#include "tst_restore.moc"

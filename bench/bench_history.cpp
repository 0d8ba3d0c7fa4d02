// The converter's change log against the exchange it records: appending a
// record (synced to disk before the write goes out) and settling its outcome
// after the acknowledgement, per write, beside the 54 ms a 16-bit write
// takes on a 4800-baud line. Then reading a long log back.
//
// Usage: bench_history [records] [folder]   (200 records, a temporary
//        folder: put it on the disk the user's data folder is on)
//        bench_history --make-log FOLDER COUNT
//        writes FOLDER/LK58/history/TQ36-36012345.jsonl with COUNT records,
//        for timing `XDG_DATA_HOME=FOLDER tq36ctl history 36012345`.
//        bench_history --time-history [COUNT [RUNS]]
//        times the tq36ctl built beside it printing such a log of COUNT
//        records (100,000) as a table and as JSON Lines, RUNS times each
//        (10) after one run that fills the page cache, its standard
//        output thrown away.
#include "config/history.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace lk58;
using namespace lk58::config;
using Clock = std::chrono::steady_clock;

namespace {

// A 16-bit write: 7 bytes out, 7 back at 2.083 ms a byte, and the
// converter's 25 ms pause between them.
constexpr double kWriteExchangeMs = 54.0;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

HistoryRecord Sample(int i)
{
    HistoryRecord r = NewRecord(QStringLiteral("tq36ctl 0.2.1.7"), QStringLiteral("/dev/ttyUSB0"), Key::RangeEnd,
                                Value(std::int32_t(400 + i % 500)), Value(std::int32_t(401 + i % 500)));
    r.id = i + 1;
    r.outcome = Outcome::Verified;
    return r;
}

int MakeLog(const QString& folder, int count)
{
    const QString dir = folder + "/LK58/history";
    QDir().mkpath(dir);
    QFile file(dir + "/TQ36-36012345.jsonl");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "%s\n", qPrintable(file.errorString()));
        return 1;
    }
    for (int i = 0; i < count; ++i)
        file.write(RecordLine(Sample(i)) + '\n');
    std::printf("%d records, %lld bytes in %s\n", count, static_cast<long long>(file.size()), qPrintable(file.fileName()));
    return 0;
}

// The whole command, start-up included, as a user waits for it.
int TimeHistory(int count, int runs)
{
    const QString ctl = QStringLiteral(LK58_TQ36CTL);
    QTemporaryDir folder;
    if (MakeLog(folder.path(), count) != 0)
        return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", folder.path());
    environment.insert("LOCALAPPDATA", QDir::toNativeSeparators(folder.path()));
    for (const QStringList& args : {QStringList{"history", "36012345"}, QStringList{"history", "36012345", "--json"}}) {
        std::vector<double> ms;
        for (int i = 0; i <= runs; ++i) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setStandardOutputFile(QProcess::nullDevice());
            const auto start = Clock::now();
            process.start(ctl, args);
            if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
                std::fprintf(stderr, "%s %s: failed: %s%s\n", qPrintable(ctl), qPrintable(args.join(' ')),
                             qPrintable(process.errorString()), process.readAllStandardError().constData());
                return 1;
            }
            if (i > 0)
                ms.push_back(Ms(Clock::now() - start));
        }
        std::sort(ms.begin(), ms.end());
        std::printf("tq36ctl %s: median %.0f ms, fastest %.0f ms, slowest %.0f ms (%d runs; aimed at under 500 ms)\n",
                    qPrintable(args.join(' ')), ms[ms.size() / 2], ms.front(), ms.back(), runs);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == "--make-log" && args.size() == 3)
        return MakeLog(args[1], args[2].toInt());
    if (args.value(0) == "--time-history")
        return TimeHistory(args.size() > 1 ? args[1].toInt() : 100000, args.size() > 2 ? std::max(1, args[2].toInt()) : 10);
    const int records = args.isEmpty() ? 200 : std::max(1, args[0].toInt());
    QTemporaryDir temporary(args.size() > 1 ? args[1] + "/bench_history-XXXXXX" : QString());
    const QString path = temporary.filePath("TQ36-36012345.jsonl");

    QString reason;
    std::unique_ptr<THistoryLog> log = THistoryLog::Open(path, reason);
    if (!log) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    // Per write: the record appended and synced before it goes out, its
    // outcome settled after (synced with the next record, or at the end).
    std::vector<double> perWrite;
    for (int i = 0; i < records; ++i) {
        HistoryRecord r = Sample(i);
        const auto start = Clock::now();
        reason = log->Append(r);
        if (reason.isEmpty())
            reason = log->Settle(r, Outcome::Acknowledged);
        perWrite.push_back(Ms(Clock::now() - start));
        if (!reason.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(reason));
            return 1;
        }
    }
    std::sort(perWrite.begin(), perWrite.end());
    const double median = perWrite[perWrite.size() / 2], p90 = perWrite[perWrite.size() * 9 / 10];
    std::printf("log in %s\n", qPrintable(QDir::toNativeSeparators(temporary.path())));
    std::printf("per write (append + sync + settle): median %.3f ms, 90th percentile %.3f ms, max %.3f ms\n", median,
                p90, perWrite.back());
    std::printf("against a 16-bit write's %.0f ms exchange: median %.1f %%, 90th percentile %.1f %%\n",
                kWriteExchangeMs, 100 * median / kWriteExchangeMs, 100 * p90 / kWriteExchangeMs);

    const auto start = Clock::now();
    const HistoryReading reading = ReadHistory(path);
    std::printf("reading the %zu records back: %.1f ms\n", reading.records.size(), Ms(Clock::now() - start));
    return 0;
}

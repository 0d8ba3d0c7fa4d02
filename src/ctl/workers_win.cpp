// The workers of a several-port run on Windows: QProcess in place of
// posix_spawn and poll. The report lines are the same as on Linux.
#include "ctl/workers.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

namespace lk58::ctl {

namespace {

constexpr int kRefreshMs = 100;

QString& WorkerProgram()
{
    static QString program;
    return program;
}

void WriteLine(std::FILE* out, const QJsonObject& object)
{
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    line += '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out);
    std::fflush(out);
}

struct TWorker {
    QString port;
    std::unique_ptr<QProcess> process;
    QByteArray pending;
    bool running = false;
    std::optional<TPortResult> result;
};

TPortResult MissingResult(const TWorker& w)
{
    const QProcess& p = *w.process;
    const QString why = p.exitStatus() == QProcess::CrashExit
                            ? QStringLiteral("it crashed, code 0x%1").arg(quint32(p.exitCode()), 0, 16)
                            : QStringLiteral("exit status %1").arg(p.exitCode());
    // Its exit status is what it met (a bad file 2, a port that would not
    // open 3); one that crashed may have left its converter anyhow.
    TExit status = TExit::NoAnswer;
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() > 0 && p.exitCode() <= static_cast<int>(TExit::NoAnswer))
        status = static_cast<TExit>(p.exitCode());
    return TPortResult{w.port, status, {}, "the port's work ended without a report (" + why + ")", {}};
}

// Every whole line that has arrived from worker `index`.
void TakeLines(TWorker& w, int index, TConsole& console)
{
    w.pending += w.process->readAllStandardOutput();
    for (qsizetype end; (end = w.pending.indexOf('\n')) >= 0;) {
        TPortResult result{w.port, TExit::Ok, {}, {}, {}};
        // The C library of a worker ends its lines with CR LF.
        if (HandleWorkerLine(w.pending.left(end).trimmed(), index, console, result)) {
            w.result = result;
            const QString failed = result.error.isEmpty() ? "failed" : "failed: " + result.error;
            console.Progress(index, result.status == TExit::Ok ? "done" : failed, 0, 0);
        }
        w.pending.remove(0, end + 1);
    }
}

} // namespace

void SetWorkerProgram(const QString& path)
{
    WorkerProgram() = path;
}

void TWorkerEvents::Progress(const QString& step, int n, int count)
{
    WriteLine(out_, {{"e", "progress"}, {"step", step}, {"n", n}, {"count", count}});
}

void TWorkerEvents::Trace(const QString& what, const Bytes& bytes)
{
    WriteLine(out_, {{"e", "trace"}, {"what", what}, {"hex", HexBytes(bytes)}});
}

void TWorkerEvents::Result(const TPortResult& result)
{
    WriteLine(out_, {{"e", "result"},
                     {"status", static_cast<int>(result.status)},
                     {"text", result.text},
                     {"error", result.error},
                     {"data", result.isData},
                     {"json", result.json}});
}

bool HandleWorkerLine(const QByteArray& line, int index, TConsole& console, TPortResult& result)
{
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    const QString e = o.value("e").toString();
    if (e == "progress") {
        console.Progress(index, o.value("step").toString(), o.value("n").toInt(), o.value("count").toInt());
    } else if (e == "trace") {
        Bytes bytes;
        for (const QString& h : o.value("hex").toString().split(' ', Qt::SkipEmptyParts))
            bytes.push_back(static_cast<std::uint8_t>(h.toUInt(nullptr, 16)));
        console.Trace(index, o.value("what").toString(), bytes);
    } else if (e == "result") {
        const int status = o.value("status").toInt(static_cast<int>(TExit::NoAnswer));
        result.status = static_cast<TExit>(std::clamp(status, 0, static_cast<int>(TExit::NoAnswer)));
        result.text = o.value("text").toString();
        result.error = o.value("error").toString();
        result.json = o.value("json").toObject();
        result.isData = o.value("data").toBool();
        return true;
    }
    return false;
}

// The workers share this console: Ctrl+C and closing the console reach
// each of them from Windows, and each finishes its write under way.
std::vector<TPortResult> RunWorkers(const QStringList& ports,
                                    const std::function<QStringList(const QString&)>& argsFor,
                                    TConsole& console, const QByteArray& input)
{
    const QString self = WorkerProgram().isEmpty() ? QCoreApplication::applicationFilePath() : WorkerProgram();
    std::vector<TWorker> workers(ports.size());
    QEventLoop loop;
    int running = 0;
    for (int i = 0; i < ports.size(); ++i) {
        TWorker& w = workers[i];
        w.port = ports[i];
        w.process = std::make_unique<QProcess>();
        // A worker's messages of its own go straight to this console.
        w.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(w.process.get(), &QProcess::readyReadStandardOutput, &loop,
                         [&w, i, &console] { TakeLines(w, i, console); });
        QObject::connect(w.process.get(), &QProcess::finished, &loop, [&w, i, &console, &running, &loop] {
            TakeLines(w, i, console);
            w.running = false;
            if (--running == 0)
                loop.quit();
        });
        w.process->start(self, QStringList{"--worker"} + argsFor(ports[i]));
        if (w.process->waitForStarted()) {
            // The worker reads its input whole before it reports anything.
            w.process->write(input);
            w.process->closeWriteChannel();
            w.running = true;
            ++running;
        } else {
            w.result = TPortResult{w.port, TExit::NoAnswer, {}, "cannot start its work: " + w.process->errorString(), {}};
        }
    }
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &loop, [&console] { console.Refresh(); });
    refresh.start(kRefreshMs);
    if (running > 0)
        loop.exec();
    console.Refresh();

    std::vector<TPortResult> results;
    for (TWorker& w : workers)
        results.push_back(w.result ? *w.result : MissingResult(w));
    return results;
}

} // namespace lk58::ctl

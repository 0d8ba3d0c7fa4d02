// The workers of a several-port run on Windows: QProcess in place of
// posix_spawn and poll. The report lines are the same as on Linux.
#include "ctl/workers.h"
#include "ctl/workers_platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <optional>

#include <windows.h>

namespace lk58::ctl {

namespace {

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
    const TExit status = p.exitStatus() == QProcess::NormalExit ? WorkerExitStatus(p.exitCode()) : TExit::NoAnswer;
    return TPortResult{w.port, status, {}, "the port's work ended without a report (" + why + ")", {}};
}

// Every whole line that has arrived from worker `index`.
void TakeLines(TWorker& w, int index, TConsole& console)
{
    w.pending += w.process->readAllStandardOutput();
    TakeWorkerLines(w.pending, w.port, index, console, w.result);
}

} // namespace

// The workers share this console: Ctrl+C and closing the console reach
// each of them from Windows, and each finishes its write under way.
std::vector<TPortResult> RunWorkers(const QStringList& ports,
                                    const std::function<QStringList(const QString&)>& argsFor,
                                    TConsole& console, const QByteArray& input)
{
    const QString self = WorkerExecutable();
    std::vector<TWorker> workers(ports.size());
    QEventLoop loop;
    int running = 0;
    for (int i = 0; i < ports.size(); ++i) {
        TWorker& w = workers[i];
        w.port = ports[i];
        w.process = std::make_unique<QProcess>();
        // A worker's messages of its own go straight to this console.
        w.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // And the worker is on it, so that Ctrl+C reaches it: Qt starts a
        // console program on a console of its own where this one has no
        // window (tq36ctl started by a program without one, Wine's console
        // without a display). With no console at all that stays so.
        if (DWORD process = 0; ::GetConsoleProcessList(&process, 1) != 0)
            w.process->setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
                args->flags &= ~DWORD(CREATE_NO_WINDOW);
            });
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

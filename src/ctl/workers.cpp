// The workers' report lines, the same on every system: the worker writes
// them, the parent reads them.
#include "ctl/workers.h"
#include "ctl/workers_platform.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>

namespace lk58::ctl {

namespace {

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

} // namespace

QString WorkerExecutable()
{
    return WorkerProgram().isEmpty() ? QCoreApplication::applicationFilePath() : WorkerProgram();
}

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

void TakeWorkerLines(QByteArray& pending, const QString& port, int index, TConsole& console,
                     std::optional<TPortResult>& result)
{
    for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
        TPortResult line{port, TExit::Ok, {}, {}, {}};
        // A Windows worker's C library ends its lines with CR LF.
        if (HandleWorkerLine(pending.left(end).trimmed(), index, console, line)) {
            result = line;
            const QString failed = line.error.isEmpty() ? "failed" : "failed: " + line.error;
            console.Progress(index, line.status == TExit::Ok ? "done" : failed, 0, 0);
        }
        pending.remove(0, end + 1);
    }
}

TExit WorkerExitStatus(int code)
{
    return code > 0 && code <= static_cast<int>(TExit::NoAnswer) ? static_cast<TExit>(code) : TExit::NoAnswer;
}

} // namespace lk58::ctl

#include "ctl/commands.h"

#include "config/diskfile.h"
#include "ctl/console.h"
#include "ctl/keyvalue.h"
#include "ctl/output.h"
#include "ctl/portopen.h"
#include "ctl/portwork.h"
#include "ctl/showtable.h"
#include "ctl/workers.h"
#include "report/report.h"
#include "serial/comport.h"
#include "serial/serialdevice.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>

namespace lk58::ctl {

namespace {

// Events of the work on this process's own port, shown on the console.
class TConsoleEvents : public TPortEvents {
public:
    TConsoleEvents(TConsole& console, int index) : console_(console), index_(index) {}
    void Progress(const QString& step, int n, int count) override { console_.Progress(index_, step, n, count); }
    void Trace(const QString& what, const Bytes& bytes) override { console_.Trace(index_, what, bytes); }

private:
    TConsole& console_;
    int index_;
};

void Print(std::FILE* out, const QString& text)
{
    PrintText(out, text);
}

void PrintJson(const QJsonObject& o)
{
    Print(stdout, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + '\n');
}

// Each port's outcome on its own line(s) or JSON object, then with several
// ports (or JSON) a summary; the worst status.
TExit Report(const TInvocation& inv, const std::vector<TPortResult>& results)
{
    TExit worst = TExit::Ok;
    int ok = 0;
    const bool json = inv.Flag("json"), quiet = inv.Flag("quiet");
    for (const TPortResult& r : results) {
        worst = Worst(worst, r.status);
        ok += r.status == TExit::Ok;
        if (json) {
            QJsonObject o{{"type", "port"}, {"command", inv.command->name}, {"port", r.port},
                          {"status", static_cast<int>(r.status)}};
            if (!r.error.isEmpty())
                o.insert("error", r.error);
            for (auto it = r.json.begin(); it != r.json.end(); ++it)
                o.insert(it.key(), it.value());
            PrintJson(o);
            continue;
        }
        if (!r.text.isEmpty() && (r.isData || !quiet || r.status != TExit::Ok))
            Print(stdout, r.text);
        if (!r.error.isEmpty())
            Print(stderr, r.port + ": " + r.error + '\n');
    }
    const int n = static_cast<int>(results.size());
    if (json)
        PrintJson({{"type", "summary"}, {"command", inv.command->name}, {"ports", n}, {"ok", ok},
                   {"failed", n - ok}, {"status", static_cast<int>(worst)}});
    else if (n > 1 && !quiet)
        Print(stdout, QStringLiteral("%1 ports: %2 succeeded, %3 did not\n").arg(n).arg(ok).arg(n - ok));
    return worst;
}

using TWork = std::function<TPortResult(const TPortJob&)>;

TExit RunHere(const TInvocation& inv, const QString& port, const TWork& work)
{
    const bool trace = inv.Flag("verbose");
    if (inv.worker) {
        TWorkerEvents events(stdout);
        const TPortResult r = work(TPortJob{port, events, trace});
        events.Result(r);
        return r.status;
    }
    TConsole console(stderr, TConsole::StderrIsTerminal(), inv.Flag("quiet"));
    console.SetPorts({port});
    TConsoleEvents events(console, 0);
    const TPortResult r = work(TPortJob{port, events, trace});
    console.Finish();
    return Report(inv, {r});
}

// The work for several ports, each in a worker of its own, all at once.
std::vector<TPortResult> RunEverywhere(bool verbose, const QStringList& ports,
                                       const std::function<QStringList(const QString&)>& argsFor, TConsole& console,
                                       const QByteArray& input = {})
{
    console.SetPorts(ports);
    auto withVerbose = [&](const QString& port) {
        QStringList args = argsFor(port);
        if (verbose)
            args << "--verbose";
        return args;
    };
    std::vector<TPortResult> results = RunWorkers(ports, withVerbose, console, input);
    console.Finish();
    return results;
}

QByteArray ReadSettingsBytes(const QString& path)
{
    const auto bytes = config::ReadSettingsBytes(path);
    if (const QString* reason = std::get_if<QString>(&bytes))
        throw TFailure{TExit::Usage, path + ": " + *reason};
    return std::get<QByteArray>(bytes);
}

// A worker's settings file, as its parent read it (see RunWorkers).
QByteArray ReadStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw TFailure{TExit::Usage, "standard input: " + in.errorString()};
    return in.readAll();
}

// The settings file `path` holds `bytes`, validated as a whole; every
// problem is printed.
config::SettingsFile ParseSettingsFile(const QString& path, const QByteArray& bytes)
{
    const config::ReadResult read = config::ReadSettingsFile(bytes);
    if (!read.file) {
        QStringList lines;
        for (const config::Problem& p : read.problems)
            lines << path + ": " + QString::fromStdString(p.Message());
        throw TFailure{TExit::Usage, lines.join('\n')};
    }
    return *read.file;
}

// A regular file (or a link to one) is a settings file; so is a name ending
// in ".json" that is no device, which then may not exist: it is reported
// as a missing file, not as a missing port.
bool IsSettingsFileName(const QString& source)
{
    const QFileInfo info(source);
    if (info.isFile())
        return true;
    return !info.exists() && source.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
}

config::SettingsFile LoadSettingsFile(const QString& path)
{
    return ParseSettingsFile(path, ReadSettingsBytes(path));
}

config::Settings LoadFile(const QString& path)
{
    return LoadSettingsFile(path).settings;
}

// `ports --probe`: what answers where. A held port was not touched: its
// exclusive open failed before anything was sent.
void PrintProbe(const TInvocation& inv, const std::vector<TPortResult>& results)
{
    int width = 0, converters = 0;
    for (const TPortResult& r : results)
        width = std::max<int>(width, r.port.size());
    for (const TPortResult& r : results) {
        const int code = r.json.value("error_code").toInt();
        QString state = "cannot open";
        if (r.status == TExit::Ok)
            state = "converter", ++converters;
        else if (r.status == TExit::NoAnswer)
            state = "no answer";
        else if (platform::IsBusyError(code))
            state = "busy";
        if (inv.Flag("json")) {
            QJsonObject o{{"type", "port"}, {"command", "ports"}, {"port", r.port}, {"state", state},
                          {"converter", r.status == TExit::Ok}};
            if (r.status == TExit::NoPort)
                o.insert("reason", r.error);
            PrintJson(o);
            continue;
        }
        QString line = r.port.leftJustified(width) + "  " + state;
        if (r.status == TExit::NoPort && state != "busy")
            line += " (" + r.error + ")";
        Print(stdout, line + '\n');
    }
    if (inv.Flag("json"))
        PrintJson({{"type", "summary"}, {"command", "ports"}, {"ports", static_cast<int>(results.size())},
                   {"converters", converters}, {"status", 0}});
}

TExit Fail(const TFailure& f)
{
    Print(stderr, "tq36ctl: " + QString(f.message).replace("\n", "\ntq36ctl: ") + '\n');
    return f.status;
}

} // namespace

TExit FinishRun(const TInvocation& inv, TExit status)
{
    // A worker's standard output is its parent, which tells a lost worker apart.
    if (FinishStandardOutput() || inv.worker)
        return status;
    const bool converterWork = inv.command->writes || (inv.command->name == "ping" && !inv.Flag("json"));
    return converterWork ? status : Worst(status, TExit::Usage);
}

TExit RunPorts(const TInvocation& inv)
{
    std::vector<std::string> names;
    TComPort::ListPorts(names);
    QStringList ports;
    for (const std::string& n : names)
        ports << QString::fromStdString(n);
    if (!inv.Flag("probe")) {
        for (const QString& p : ports)
            inv.Flag("json") ? PrintJson({{"type", "port"}, {"command", "ports"}, {"port", p}}) : Print(stdout, p + '\n');
        if (inv.Flag("json"))
            PrintJson({{"type", "summary"}, {"command", "ports"}, {"ports", static_cast<int>(ports.size())}, {"status", 0}});
        return TExit::Ok;
    }
    TConsole console(stderr, TConsole::StderrIsTerminal(), inv.Flag("quiet"));
    PrintProbe(inv, ProbePorts(ports, inv.Flag("verbose"), console));
    // A listing: which ports answer is its content, not a failure.
    return TExit::Ok;
}

std::vector<TPortResult> ProbePorts(const QStringList& ports, bool verbose, TConsole& console)
{
    return RunEverywhere(verbose, ports, [](const QString& port) { return QStringList{"ping", port}; }, console);
}

TExit RunPing(const TInvocation& inv)
{
    return RunHere(inv, inv.operands[0], PingWork);
}

TExit RunRead(const TInvocation& inv)
{
    const QString output = inv.Value("output");
    return RunHere(inv, inv.operands[0], [&](const TPortJob& job) { return ReadWork(job, output); });
}

TExit RunShow(const TInvocation& inv)
{
    const int lang = inv.Value("lang") == "en" ? kEnglish : kCzech;
    return RunHere(inv, inv.operands[0], [&](const TPortJob& job) { return ShowWork(job, lang); });
}

TExit RunDiff(const TInvocation& inv)
{
    try {
        const config::Settings file = LoadFile(inv.operands[1]);
        return RunHere(inv, inv.operands[0], [&](const TPortJob& job) { return DiffWork(job, file); });
    } catch (const TFailure& f) {
        return Fail(f);
    }
}

TExit RunWrite(const TInvocation& inv)
{
    const QString path = inv.operands[0];
    const QStringList ports = inv.operands.mid(1);
    QByteArray bytes;
    config::Settings file;
    try {
        if (const auto same = RepeatedPort(ports)) {
            const QString a = ports[same->first], b = ports[same->second];
            throw TFailure{TExit::Usage, (a == b ? a + " is named twice" : a + " and " + b + " are the same port")
                                             + "; name each port once"};
        }
        // Read once: the file may be a pipe (/dev/stdin, <(...)), which
        // the workers could not read again; they get these bytes.
        bytes = inv.worker ? ReadStandardInput() : ReadSettingsBytes(path);
        file = ParseSettingsFile(path, bytes).settings;
    } catch (const TFailure& f) {
        return Fail(f);
    }
    const TWriteOptions options{inv.Flag("include-identity"), inv.Flag("dry-run"), inv.Flag("no-backup")};
    if (ports.size() == 1)
        return RunHere(inv, ports[0], [&](const TPortJob& job) { return WriteWork(job, file, options); });
    TConsole console(stderr, TConsole::StderrIsTerminal(), inv.Flag("quiet"));
    const auto args = [&](const QString& port) {
        QStringList a{"write", path, port};
        for (const char* flag : {"include-identity", "dry-run", "no-backup"})
            if (inv.Flag(flag))
                a << QString("--") + flag;
        return a;
    };
    return Report(inv, RunEverywhere(inv.Flag("verbose"), ports, args, console, bytes));
}

TExit RunSet(const TInvocation& inv)
{
    auto parsed = ParseKeyValues(inv.operands.mid(1));
    if (auto* errors = std::get_if<std::vector<TKeyValueError>>(&parsed)) {
        QStringList lines;
        for (const TKeyValueError& e : *errors)
            lines << QString::fromStdString(e.message);
        return Fail({TExit::Usage, lines.join('\n') + "\nnothing written"});
    }
    const config::Settings settings = std::get<config::Settings>(parsed);
    // Naming type or serial number on the command line is asking for them.
    const TWriteOptions options{settings.Has(config::Key::Type) || settings.Has(config::Key::Serial), false, false};
    return RunHere(inv, inv.operands[0], [&](const TPortJob& job) { return WriteWork(job, settings, options); });
}

TExit RunReport(const TInvocation& inv)
{
    const QString source = inv.operands[0];
    const QString output = inv.Value("output");
    const int lang = inv.Value("lang") == "en" ? kReportEnglish : kReportCzech;
    try {
        if (output.isEmpty())
            throw TFailure{TExit::Usage, "report needs -o OUT.pdf"};
        int history = -1;
        if (inv.values.contains("history")) {
            bool ok = false;
            history = inv.Value("history").toInt(&ok);
            if (!ok || history < 1)
                throw TFailure{TExit::Usage, "--history takes a number of changes, not '" + inv.Value("history") + "'"};
            if (IsSettingsFileName(source))
                throw TFailure{TExit::Usage, "--history needs a converter: a settings file has no change log"};
        }
        if (!IsSettingsFileName(source))
            return RunHere(inv, source, [&](const TPortJob& job) { return ReportWork(job, output, lang, history); });
        // The report would take the place of what it reports on.
        if (config::SameFile(source, output))
            throw TFailure{TExit::Usage,
                           output + ": is the settings file the report is made from; choose another name for the report"};
        return Report(inv, {SaveReport(source, output, ReportFromFile(LoadSettingsFile(source), source), lang)});
    } catch (const TFailure& f) {
        return Fail(f);
    }
}

} // namespace lk58::ctl

#include "ctl/portwork.h"

#include "config/history.h"
#include "config/restore.h"
#include "ctl/interrupt.h"
#include "ctl/session.h"
#include "ctl/showtable.h"
#include "report/report.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <functional>

namespace lk58::ctl {

using config::Key;

namespace {

QString KeyText(Key key)
{
    return QString::fromUtf8(config::KeyName(key).data(), static_cast<qsizetype>(config::KeyName(key).size()));
}

QString ProgramName()
{
    return "LK58 " + QCoreApplication::applicationVersion();
}

// Runs one port's work; whatever stops it becomes the port's outcome.
TPortResult Guard(const QString& port, const std::function<TPortResult()>& work)
{
    try {
        TPortResult result = work();
        result.port = port;
        return result;
    } catch (const TFailure& f) {
        return TPortResult::Failed(port, f);
    } catch (const EComError& e) {
        // The port failed under way (a USB adapter pulled): the converter
        // is as good as silent.
        return TPortResult::Failed(port, {TExit::NoAnswer, "port error: " + QString::fromLocal8Bit(e.what())});
    } catch (const std::exception& e) {
        return TPortResult::Failed(port, {TExit::NoAnswer, QString::fromLocal8Bit(e.what())});
    }
}

QJsonValue OptionalJson(Key key, const std::optional<config::Value>& value)
{
    return value ? config::ToJson(key, *value) : QJsonValue();
}

QString Row(const QString& key, const QString& a, const QString& b = {})
{
    QString row = "  " + key.leftJustified(22) + ' ' + a;
    if (!b.isEmpty())
        row = row.leftJustified(50) + ' ' + b;
    return row + '\n';
}

QString KeyListText(const std::vector<Key>& keys)
{
    QStringList names;
    for (Key k : keys)
        names << KeyText(k);
    return names.join(", ");
}

QJsonArray KeyListJson(const std::vector<Key>& keys)
{
    QJsonArray a;
    for (Key k : keys)
        a.append(KeyText(k));
    return a;
}

const char* RunStatusName(config::RunStatus s)
{
    using config::RunStatus;
    switch (s) {
    case RunStatus::Done: return "done";
    case RunStatus::Unchanged: return "unchanged";
    case RunStatus::NotRead: return "not read";
    case RunStatus::Rejected: return "rejected";
    case RunStatus::BackupFailed: return "backup failed";
    case RunStatus::Cancelled: return "interrupted";
    case RunStatus::Lost: return "lost";
    case RunStatus::CheckFailed: return "check failed";
    case RunStatus::LogFailed: return "change log failed";
    }
    return "";
}

TExit RunStatusExit(config::RunStatus s)
{
    using config::RunStatus;
    switch (s) {
    case RunStatus::Done:
    case RunStatus::Unchanged: return TExit::Ok;
    case RunStatus::Rejected:
    case RunStatus::BackupFailed:
    case RunStatus::LogFailed: return TExit::Usage; // no write goes out unlogged
    default: return TExit::NoAnswer;
    }
}

QString Headline(const config::RestoreOutcome& o)
{
    using config::RunStatus;
    int verified = 0;
    for (const auto& s : o.settings)
        verified += s.status == config::SettingStatus::Verified;
    const QString error = QString::fromStdString(o.error);
    switch (o.status) {
    case RunStatus::Done: return QStringLiteral("%1 settings written and verified").arg(verified);
    case RunStatus::Unchanged: return "the converter already holds these settings; nothing written";
    case RunStatus::NotRead: return (error.isEmpty() ? QStringLiteral("the converter did not answer") : error) + "; nothing written";
    case RunStatus::Rejected: return "nothing written: the settings do not fit this converter";
    case RunStatus::BackupFailed: return "nothing written: no backup: " + error;
    case RunStatus::Cancelled: return QStringLiteral("interrupted; %1 settings written and verified").arg(verified);
    case RunStatus::Lost: return error + QStringLiteral("; %1 settings written and verified").arg(verified);
    case RunStatus::CheckFailed: return "the read-back check failed" + (error.isEmpty() ? QString() : ": " + error);
    case RunStatus::LogFailed:
        return (o.framesAcknowledged == 0 ? QStringLiteral("nothing written: ")
                                          : QStringLiteral("stopped after %1 settings written and verified: ").arg(verified))
            + error;
    }
    return {};
}

TPortResult RestoreReport(const config::RestoreOutcome& o)
{
    TPortResult r;
    r.status = RunStatusExit(o.status);
    QString text = Headline(o);
    if (!o.backupPath.isEmpty())
        text += "\n  backup " + o.backupPath;
    text += '\n';
    QJsonArray settings;
    for (const config::SettingReport& s : o.settings) {
        QString status = QString::fromUtf8(config::StatusName(s.status).data());
        if (s.status == config::SettingStatus::Failed && s.readBack)
            status += " (reads " + ValueText(s.key, *s.readBack) + ")";
        text += Row(KeyText(s.key), ValueText(s.key, s.wanted), status);
        settings.append(QJsonObject{{"key", KeyText(s.key)},
                                    {"wanted", config::ToJson(s.key, s.wanted)},
                                    {"status", QString::fromUtf8(config::StatusName(s.status).data())},
                                    {"before", OptionalJson(s.key, s.before)},
                                    {"read_back", OptionalJson(s.key, s.readBack)},
                                    {"acknowledged", s.acknowledged}});
    }
    if (!o.leftOut.empty())
        text += Row(KeyListText(o.leftOut), "differ, not written (identity; --include-identity writes them)");
    for (const config::Problem& p : o.problems)
        text += "  " + QString::fromStdString(p.Message()) + '\n';
    r.text = text;
    r.json = {{"outcome", RunStatusName(o.status)},
              {"backup", o.backupPath.isEmpty() ? QJsonValue() : QJsonValue(o.backupPath)},
              {"settings", settings},
              {"left_out", KeyListJson(o.leftOut)}};
    if (!o.error.empty())
        r.json.insert("reason", QString::fromStdString(o.error));
    return r;
}

// The converter's value in a comparison; where its bytes hold no setting,
// the number they hold, as `show` states it: "(unreadable: 9)".
QString ConverterText(config::Key key, const std::optional<config::Value>& value, const SettingsBlock& block)
{
    if (value)
        return ValueText(key, *value);
    const config::BlockReading reading = config::ReadBlockSetting(key, block);
    // A range whose end is not above its begin: each end reads, the pair not.
    if (reading.value)
        return "(unreadable: " + ValueText(key, *reading.value) + ')';
    return ShownValue(key, reading, kEnglish);
}

TPortResult DryRun(TConverterSession& session, const config::Settings& file, const TWriteOptions& options)
{
    const SettingsBlock block = session.ReadBlock();
    const auto diff = config::Diff(file, block);
    const config::WritePlan plan = config::MakePlan(diff, block, {options.includeIdentity});
    TPortResult r;
    QString text = session.Port() + ": ";
    text += plan.writes.empty() ? QStringLiteral("nothing to write")
                                       : QStringLiteral("would write %1 settings (dry run: nothing written)").arg(plan.writes.size());
    text += '\n';
    QJsonArray writes;
    for (const config::PlannedWrite& w : plan.writes) {
        const auto d = std::find_if(diff.begin(), diff.end(), [&](const config::Difference& x) { return x.key == w.key; });
        const std::optional<config::Value> now = d != diff.end() ? d->converter : std::nullopt;
        text += Row(KeyText(w.key), ConverterText(w.key, now, block),
                    "-> " + ValueText(w.key, w.wanted));
        writes.append(QJsonObject{{"key", KeyText(w.key)},
                                  {"converter", OptionalJson(w.key, now)},
                                  {"wanted", config::ToJson(w.key, w.wanted)}});
    }
    if (!plan.leftOut.empty())
        text += Row(KeyListText(plan.leftOut), "differ, not written (identity; --include-identity writes them)");
    for (const config::Problem& p : plan.problems)
        text += "  " + QString::fromStdString(p.Message()) + '\n';
    if (!plan.problems.empty())
        r.status = TExit::Usage;
    r.text = text;
    r.json = {{"outcome", plan.problems.empty() ? "dry run" : "rejected"},
              {"settings", writes},
              {"left_out", KeyListJson(plan.leftOut)}};
    return r;
}

} // namespace

QString ValueText(Key key, const config::Value& value)
{
    if (const Bytes* text = std::get_if<Bytes>(&value))
        return PrintableText(*text);
    return QString::fromStdString(config::FormatValue(key, value));
}

TPortResult PingWork(const TPortJob& job)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("ping", 0, 0);
        TPortResult r;
        const bool answered = session.Ping();
        r.json = {{"answered", answered}};
        if (answered) {
            r.text = job.port + ": a converter answers\n";
        } else {
            r.status = TExit::NoAnswer;
            r.error = session.Link().Damaged() ? "a converter answered with a damaged reply" : "no converter answers";
        }
        return r;
    });
}

TPortResult ReadWork(const TPortJob& job, const QString& output)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("reading", 0, 0);
        const SettingsBlock block = session.ReadBlock();
        const config::SettingsFile file = config::FileFromBlock(block, QDateTime::currentDateTime(), ProgramName());
        const QByteArray text = config::WriteSettingsFile(file);
        TPortResult r;
        const QJsonObject document = QJsonDocument::fromJson(text).object();
        r.json = {{"settings", document.value("settings")}, {"block", document.value("block")}};
        if (output.isEmpty()) {
            r.text = QString::fromUtf8(text);
            r.isData = true;
            return r;
        }
        const QString reason = config::SaveSettingsFile(output, file);
        if (!reason.isEmpty())
            throw TFailure{TExit::Usage, output + ": cannot save: " + reason};
        r.text = job.port + ": saved to " + output + '\n';
        r.json.insert("file", output);
        return r;
    });
}

TPortResult ShowWork(const TPortJob& job, int lang)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("reading", 0, 0);
        const SettingsBlock block = session.ReadBlock();
        TPortResult r;
        r.text = SettingsTable(block, lang);
        r.isData = true;
        QJsonArray rows;
        std::vector<Key> unreadable;
        for (Key key : config::kKeys) {
            const config::BlockReading reading = config::ReadBlockSetting(key, block);
            QJsonObject row{{"key", KeyText(key)},
                            {"name", SettingName(key, lang)},
                            {"value", OptionalJson(key, reading.value)},
                            {"shown", ShownValue(key, reading, lang)}};
            if (!reading.value && !reading.noSelection)
                unreadable.push_back(key);
            if (!reading.value && reading.raw)
                row.insert("raw", *reading.raw);
            rows.append(row);
        }
        r.json = {{"settings", rows}, {"unreadable", KeyListJson(unreadable)}};
        return r;
    });
}

TPortResult DiffWork(const TPortJob& job, const config::Settings& file)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("reading", 0, 0);
        const SettingsBlock block = session.ReadBlock();
        const std::vector<config::Difference> diff = config::Diff(file, block);
        TPortResult r;
        QJsonArray rows;
        QString text;
        for (const config::Difference& d : diff) {
            const QString converter = ConverterText(d.key, d.converter, block);
            text += Row(KeyText(d.key), converter, ValueText(d.key, d.file));
            rows.append(QJsonObject{{"key", KeyText(d.key)},
                                    {"converter", OptionalJson(d.key, d.converter)},
                                    {"file", config::ToJson(d.key, d.file)}});
        }
        if (diff.empty()) {
            r.text = job.port + ": no differences\n";
        } else {
            r.status = TExit::Differences;
            r.text = Row("setting", "converter", "file") + text;
            r.isData = true;
        }
        r.json = {{"differences", rows}};
        return r;
    });
}

TPortResult WriteWork(const TPortJob& job, const config::Settings& file, const TWriteOptions& options)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("reading", 0, 0);
        if (options.dryRun)
            return DryRun(session, file, options);
        config::RestoreOptions restore;
        restore.includeIdentity = options.includeIdentity;
        restore.backup = !options.noBackup;
        restore.program = ProgramName();
        restore.onProgress = [&](Key key, int n, int count) { job.events.Progress("writing " + KeyText(key), n, count); };
        restore.cancelRequested = [] { return Interrupted(); };
        restore.port = job.port;
        restore.historyProgram = "tq36ctl " + QCoreApplication::applicationVersion();
        TPortResult r = RestoreReport(config::Restore(session.Link(), file, restore));
        r.text.prepend(job.port + ": ");
        return r;
    });
}

TPortResult SaveReport(const QString& source, const QString& output, const ReportInput& input, int lang)
{
    const QString error = WriteSettingsReport(output, input, lang, kReportEnglish);
    if (!error.isEmpty())
        throw TFailure{TExit::Usage, error};
    TPortResult r;
    r.port = source;
    r.text = source + ": report saved to " + output + '\n';
    r.json.insert("file", output);
    return r;
}

TPortResult ReportWork(const TPortJob& job, const QString& output, int lang, int history)
{
    return Guard(job.port, [&] {
        TConverterSession session(job.port, job.events, job.trace);
        job.events.Progress("reading", 0, 0);
        const SettingsBlock block = session.ReadBlock();
        ReportInput input = ReportFromConverter(block, job.port, QDateTime::currentDateTime());
        if (history >= 0)
            input.history = ReportChanges(config::HistoryPath(config::DefaultHistoryDir(), block), history);
        return SaveReport(job.port, output, input, lang);
    });
}

} // namespace lk58::ctl

// `history`: a converter's change log, newest first, and the settings as
// they stood before one of its changes.
#include "config/history.h"

#include "config/restore.h"
#include "ctl/commands.h"
#include "ctl/output.h"
#include "ctl/portwork.h"
#include "ctl/session.h"
#include "serial/comport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimeZone>

#include <array>
#include <optional>

namespace lk58::ctl {

namespace {

using config::HistoryRecord;

class TSilentEvents : public TPortEvents {
public:
    void Progress(const QString&, int, int) override {}
    void Trace(const QString&, const Bytes&) override {}
};

// What the log is of: its path, and what the converter holds now as far
// as it is known (read from the converter, or from its backups and log).
struct TLogSource {
    QString path;
    std::optional<SettingsBlock> block; // read from the converter on a port
    Bytes serial;
};

TFailure Usage(const QString& message)
{
    return {TExit::Usage, message};
}

// "2026-12-08" (midnight UTC) or a full time ("2026-12-08T14:00:00Z").
QDateTime SinceTime(const QString& text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        throw Usage("--since takes a date (2026-12-08) or a time (2026-12-08T14:00:00Z), not '" + text + "'");
    return time;
}

// A serial number that names a log is the converter of that log;
// anything else is a port, which the converter on it answers for.
TLogSource FindLog(const QString& who, const QString& dir)
{
    const QStringList logs = config::HistoryPathsBySerial(dir, who);
    if (logs.size() > 1)
        throw Usage("converters of several types have the serial number " + who + ": "
                    + QDir::toNativeSeparators(logs.join(", ")) + "; name the converter's port instead");
    if (logs.size() == 1)
        return {logs[0], std::nullopt, std::get<Bytes>(std::get<config::Value>(config::FromJson(config::Key::Serial, who)))};
    TSilentEvents events;
    TConverterSession session(who, events, false);
    const SettingsBlock block = session.ReadBlock();
    const std::optional<config::Value> serial = config::FromBlock(block)[config::Key::Serial];
    return {config::HistoryPath(dir, block), block, serial ? std::get<Bytes>(*serial) : Bytes{}};
}

QString Text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString ValueOrNone(config::Key key, const std::optional<config::Value>& value)
{
    return value ? ValueText(key, *value) : QStringLiteral("(unreadable)");
}

// One row a change, each column as wide as its widest cell.
QString Table(const std::vector<const HistoryRecord*>& shown)
{
    constexpr int kColumns = 8;
    const QStringList heads{"id", "time (UTC)", "user@host", "program", "port", "setting", "before -> after", "outcome"};
    std::vector<QString> cells;
    cells.reserve((shown.size() + 1) * kColumns);
    for (const QString& h : heads)
        cells.push_back(h);
    for (const HistoryRecord* r : shown) {
        QByteArray time = config::UtcText(r->time).left(19);
        time[10] = ' ';
        cells.push_back(QString::number(r->id));
        cells.push_back(QString::fromLatin1(time));
        cells.push_back(r->user + '@' + r->host);
        cells.push_back(r->program);
        cells.push_back(r->port);
        cells.push_back(Text(config::KeyName(r->key)));
        cells.push_back(ValueOrNone(r->key, r->before) + " -> " + ValueOrNone(r->key, r->after));
        cells.push_back(Text(config::OutcomeName(r->outcome)));
    }
    std::array<qsizetype, kColumns> widths{};
    qsizetype total = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        widths[i % kColumns] = std::max(widths[i % kColumns], cells[i].size());
        total += cells[i].size();
    }
    QString out;
    out.reserve(total + qsizetype(cells.size()) * 4);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out += cells[i];
        if (i % kColumns == kColumns - 1)
            out += '\n';
        else
            out += QString(widths[i % kColumns] + 2 - cells[i].size(), ' ');
    }
    return out;
}

TExit Print(const TInvocation& inv, const std::vector<HistoryRecord>& records, const QDateTime& since)
{
    std::vector<const HistoryRecord*> shown;
    for (auto it = records.crbegin(); it != records.crend(); ++it)
        if (!since.isValid() || it->time >= since)
            shown.push_back(&*it);
    if (inv.Flag("json")) {
        QByteArray out;
        for (const HistoryRecord* r : shown)
            out += config::RecordLine(*r, false) + '\n';
        PrintText(stdout, QString::fromUtf8(out));
    } else if (!shown.empty()) {
        PrintText(stdout, Table(shown));
    }
    return TExit::Ok;
}

// Saves the settings as they stood before change `id`.
TExit SaveBefore(const TInvocation& inv, const TLogSource& source, const std::vector<HistoryRecord>& records)
{
    const qint64 id = inv.Value("before").toLongLong();
    if (std::none_of(records.begin(), records.end(), [&](const HistoryRecord& r) { return r.id == id; }))
        throw Usage("the change log holds no change " + inv.Value("before"));
    config::Settings now;
    if (source.block) {
        now = config::FromBlock(*source.block);
    } else {
        now = config::LatestKnown(config::FindBackups(config::DefaultBackupDir(), std::nullopt, source.serial), records);
    }
    config::SettingsFile file;
    file.saved = QDateTime::currentDateTime();
    file.program = "tq36ctl " + QCoreApplication::applicationVersion();
    file.settings = config::SettingsBefore(now, records, id);
    const QString output = inv.Value("output");
    const QString reason = config::SaveSettingsFile(output, file);
    if (!reason.isEmpty())
        throw Usage(output + ": cannot save: " + reason);
    QStringList unknown;
    for (config::Key key : config::kKeys)
        if (!file.settings.Has(key))
            unknown << Text(config::KeyName(key));
    QString text = QStringLiteral("%1: the settings before change %2 saved to %3\n").arg(inv.operands[0]).arg(id).arg(output);
    if (!unknown.isEmpty())
        text += "  not known, left out: " + unknown.join(", ") + '\n';
    if (!inv.Flag("quiet"))
        PrintText(stdout, text);
    return TExit::Ok;
}

} // namespace

TExit RunHistory(const TInvocation& inv)
{
    try {
        if (inv.values.contains("before") != inv.values.contains("output"))
            throw Usage("history takes --before ID and -o FILE together");
        bool idOk = true;
        if (inv.values.contains("before") && (inv.Value("before").toLongLong(&idOk) < 1 || !idOk))
            throw Usage("--before takes the id of a change, not '" + inv.Value("before") + "'");
        const QDateTime since = inv.values.contains("since") ? SinceTime(inv.Value("since")) : QDateTime();
        QString dir;
        try {
            dir = config::DefaultHistoryDir();
        } catch (const std::exception& e) {
            throw Usage(QString::fromLocal8Bit(e.what()));
        }
        TLogSource source;
        try {
            source = FindLog(inv.operands[0], dir);
        } catch (const EComError& e) {
            throw TFailure{TExit::NoAnswer, "port error: " + QString::fromLocal8Bit(e.what())};
        }
        const config::HistoryReading reading = config::ReadHistory(source.path);
        if (!reading.error.isEmpty())
            throw Usage(reading.error);
        for (const QString& w : reading.warnings)
            PrintText(stderr, "tq36ctl: " + w + '\n');
        if (reading.records.empty() && !inv.Flag("quiet"))
            PrintText(stderr, "tq36ctl: " + inv.operands[0] + ": no changes recorded in " + QDir::toNativeSeparators(source.path) + '\n');
        if (inv.values.contains("before"))
            return SaveBefore(inv, source, reading.records);
        return Print(inv, reading.records, since);
    } catch (const TFailure& f) {
        PrintText(stderr, "tq36ctl: " + inv.operands[0] + ": " + f.message + '\n');
        return f.status;
    } catch (const std::exception& e) {
        PrintText(stderr, "tq36ctl: " + inv.operands[0] + ": " + QString::fromLocal8Bit(e.what()) + '\n');
        return TExit::Usage;
    }
}

} // namespace lk58::ctl

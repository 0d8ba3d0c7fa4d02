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
#include <charconv>
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

// The table's cells one after another in one UTF-8 text, each with its
// width in UTF-16 code units, the unit its columns are measured in.
class TCells {
public:
    static constexpr int kColumns = 8;

    // Room for rows of the usual width: what is reserved and not used
    // costs nothing.
    explicit TCells(std::size_t rows)
    {
        text_.reserve(qsizetype(rows + 1) * 256);
        ends_.reserve((rows + 1) * kColumns);
    }

    TCells& operator<<(QByteArrayView ascii)
    {
        text_ += ascii;
        width_ += ascii.size();
        return *this;
    }
    TCells& operator<<(QStringView text)
    {
        config::AppendUtf8(text_, text);
        width_ += text.size();
        return *this;
    }
    // Ends the cell.
    void Next()
    {
        ends_.push_back({text_.size(), width_});
        width_ = 0;
    }

    // The rows, each cell padded to its column's widest and two spaces.
    QByteArray Table() const
    {
        std::array<qsizetype, kColumns> widths{};
        for (std::size_t i = 0; i < ends_.size(); ++i)
            widths[i % kColumns] = std::max(widths[i % kColumns], ends_[i].width);
        qsizetype size = text_.size();
        for (std::size_t i = 0; i < ends_.size(); ++i)
            size += i % kColumns == kColumns - 1 ? 1 : widths[i % kColumns] + 2 - ends_[i].width;
        QByteArray out(size, Qt::Uninitialized);
        char* to = out.data();
        qsizetype from = 0;
        for (std::size_t i = 0; i < ends_.size(); ++i) {
            to = std::copy(text_.constData() + from, text_.constData() + ends_[i].end, to);
            from = ends_[i].end;
            if (i % kColumns == kColumns - 1)
                *to++ = '\n';
            else
                to = std::fill_n(to, widths[i % kColumns] + 2 - ends_[i].width, ' ');
        }
        Q_ASSERT(to == out.constData() + out.size());
        return out;
    }

private:
    struct TEnd {
        qsizetype end;   // in text_
        qsizetype width; // in UTF-16 code units
    };
    QByteArray text_;
    std::vector<TEnd> ends_;
    qsizetype width_ = 0;
};

void PutValue(TCells& cells, config::Key key, const std::optional<config::Value>& value)
{
    if (value)
        cells << ValueText(key, *value);
    else
        cells << QByteArrayView("(unreadable)");
}

TExit Print(const TInvocation& inv, const std::vector<HistoryRecord>& records, const QDateTime& since)
{
    std::vector<const HistoryRecord*> shown;
    for (auto it = records.crbegin(); it != records.crend(); ++it)
        if (!since.isValid() || it->time >= since)
            shown.push_back(&*it);
    if (inv.Flag("json")) {
        QByteArray out;
        out.reserve(qsizetype(shown.size()) * 256);
        for (const HistoryRecord* r : shown) {
            config::AppendRecordLine(out, *r, false);
            out += '\n';
        }
        PrintUtf8(stdout, out);
    } else if (!shown.empty()) {
        PrintUtf8(stdout, HistoryTable(shown));
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

QByteArray HistoryTable(const std::vector<const HistoryRecord*>& shown)
{
    TCells cells(shown.size());
    for (const char* head : {"id", "time (UTC)", "user@host", "program", "port", "setting", "before -> after", "outcome"}) {
        cells << QByteArrayView(head);
        cells.Next();
    }
    char id[24];
    for (const HistoryRecord* r : shown) {
        cells << QByteArrayView(id, std::to_chars(std::begin(id), std::end(id), r->id).ptr - id);
        cells.Next();
        QByteArray time = config::UtcText(r->time);
        time[10] = ' ';
        cells << QByteArrayView(time).first(19);
        cells.Next();
        cells << r->user << QByteArrayView("@") << r->host;
        cells.Next();
        cells << r->program;
        cells.Next();
        cells << r->port;
        cells.Next();
        cells << config::KeyName(r->key);
        cells.Next();
        PutValue(cells, r->key, r->before);
        cells << QByteArrayView(" -> ");
        PutValue(cells, r->key, r->after);
        cells.Next();
        cells << config::OutcomeName(r->outcome);
        cells.Next();
    }
    return cells.Table();
}

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

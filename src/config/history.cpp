#include "config/history.h"

#include "config/diskfile.h"
#include "config/datafolder.h"
#include "config/diskfile_platform.h"
#include "config/restore.h"
#include "config/values.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace lk58::config {

namespace {

constexpr std::string_view kOutcomeField = ",\"outcome\":";
// The widest outcome with its quotes: every outcome is padded to it.
constexpr int kOutcomeWidth = 14;

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error).c_str());
}

QByteArray OutcomeText(Outcome outcome, bool padded)
{
    QByteArray text = '"' + QByteArray(OutcomeName(outcome).data(), qsizetype(OutcomeName(outcome).size())) + '"';
    return padded ? text.leftJustified(kOutcomeWidth, ' ') : text;
}

// A JSON string: UTF-8, with quotes, backslashes and control characters
// escaped.
QByteArray QuotedUtf8(QByteArrayView utf8)
{
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (u < 0x20)
            out += "\\u00", out += "0123456789abcdef"[u >> 4], out += "0123456789abcdef"[u & 15];
        else
            out += c;
    }
    out += '"';
    return out;
}

void AppendQuoted(QByteArray& out, const QString& text)
{
    const qsizetype from = out.size();
    out += '"';
    AppendUtf8(out, text);
    // Most texts need no escape; those that do are quoted afresh.
    const QByteArrayView utf8 = QByteArrayView(out).sliced(from + 1);
    if (std::none_of(utf8.begin(), utf8.end(), [](char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; })) {
        out += '"';
        return;
    }
    const QByteArray quoted = QuotedUtf8(utf8);
    out.truncate(from);
    out += quoted;
}

void AppendValue(QByteArray& out, Key key, const std::optional<Value>& value)
{
    if (!value)
        out += "null";
    else if (const Bytes* text = std::get_if<Bytes>(&*value))
        out += QuotedUtf8(QByteArray::fromStdString(DecodeExact(*text)));
    else
        out += ValueJsonText(key, *value);
}

// "2026-12-08T14:55:02.123Z" into `text`.
void PutUtcText(const QDateTime& time, char (&text)[25])
{
    const QDateTime utc = time.toUTC();
    int year = 0, month = 0, day = 0;
    utc.date().getDate(&year, &month, &day);
    const QTime t = utc.time();
    if (!utc.isValid() || year < 0 || year > 9999) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day, t.hour(),
                      t.minute(), t.second(), t.msec());
        return;
    }
    auto put = [&](int at, int digits, int number) {
        for (int i = at + digits - 1; i >= at; --i, number /= 10)
            text[i] = char('0' + number % 10);
    };
    std::memcpy(text, "0000-00-00T00:00:00.000Z", sizeof text);
    put(0, 4, year), put(5, 2, month), put(8, 2, day);
    put(11, 2, t.hour()), put(14, 2, t.minute()), put(17, 2, t.second()), put(20, 3, t.msec());
}

// The log's own lines are read by a scanner of their fixed shape, ten
// times faster than a general JSON parse; a line of another shape (edited
// by hand) goes to the general parse.
class TLineScanner {
public:
    // The last text a field held and its string: the program, user, host
    // and port mostly repeat from one record to the next, and then share
    // one string.
    struct TSeen {
        QByteArrayView raw;
        QString text;
    };

    explicit TLineScanner(QByteArrayView line) : s_(line) {}

    bool Expect(QByteArrayView text)
    {
        if (!s_.sliced(at_).startsWith(text))
            return false;
        at_ += text.size();
        return true;
    }

    bool Integer(qint64& value)
    {
        const qsizetype from = at_;
        value = 0;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9' && at_ - from < 18)
            value = value * 10 + (s_[at_++] - '0');
        return at_ > from;
    }

    // A JSON string, unescaped.
    bool String(QString& value, TSeen* seen = nullptr)
    {
        QByteArrayView raw;
        if (!Plain(raw))
            return Escaped(value);
        if (seen && seen->raw == raw && !seen->raw.isNull()) {
            value = seen->text;
            return true;
        }
        value = QString::fromUtf8(raw);
        if (seen)
            *seen = {raw, value};
        return true;
    }

    // A JSON string as UTF-8: the line's own bytes when it holds no
    // escape, else unescaped into `holder`.
    bool Utf8(QByteArrayView& value, QByteArray& holder)
    {
        if (Plain(value))
            return true;
        QString text;
        if (!Escaped(text))
            return false;
        holder = text.toUtf8();
        value = holder;
        return true;
    }

    // A value: a string, a number, true, false or null.
    bool AnyValue(QJsonValue& value)
    {
        if (at_ < s_.size() && s_[at_] == '"') {
            QString text;
            if (!String(text))
                return false;
            value = text;
            return true;
        }
        for (const auto& [word, v] : {std::pair{QByteArrayView("null"), QJsonValue()}, std::pair{QByteArrayView("true"), QJsonValue(true)},
                                      std::pair{QByteArrayView("false"), QJsonValue(false)}})
            if (Expect(word)) {
                value = v;
                return true;
            }
        const qsizetype from = at_;
        while (at_ < s_.size() && (QByteArrayView("-+.eE0123456789").contains(s_[at_])))
            ++at_;
        bool ok = false;
        value = s_.sliced(from, at_ - from).toDouble(&ok);
        return ok;
    }

    bool AtEnd(QByteArrayView tail)
    {
        while (at_ < s_.size() && s_[at_] == ' ')
            ++at_;
        return Expect(tail) && at_ == s_.size();
    }

private:
    // A string without escapes: its bytes between the quotes. Nothing is
    // taken when it holds an escape (or is not a string).
    bool Plain(QByteArrayView& raw)
    {
        if (at_ >= s_.size() || s_[at_] != '"')
            return false;
        qsizetype end = at_ + 1;
        while (end < s_.size() && s_[end] != '"' && s_[end] != '\\')
            ++end;
        if (end >= s_.size() || s_[end] != '"')
            return false;
        raw = s_.sliced(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        return true;
    }

    bool Escaped(QString& value)
    {
        if (at_ >= s_.size() || s_[at_] != '"')
            return false;
        qsizetype end = at_ + 1;
        while (end < s_.size() && s_[end] != '"')
            end += s_[end] == '\\' ? 2 : 1;
        if (end >= s_.size())
            return false;
        const QJsonDocument doc = QJsonDocument::fromJson("[" + s_.sliced(at_, end + 1 - at_).toByteArray() + "]");
        if (!doc.isArray())
            return false;
        value = doc.array().at(0).toString();
        at_ = end + 1;
        return true;
    }

    QByteArrayView s_;
    qsizetype at_ = 0;
};

// "2026-12-08T14:55:02.123Z" read digit by digit; any other spelling of a
// time as the general parse reads it.
QDateTime UtcTime(QByteArrayView text)
{
    constexpr QByteArrayView kShape = "0000-00-00T00:00:00.000Z";
    bool shaped = text.size() == kShape.size();
    for (qsizetype i = 0; shaped && i < text.size(); ++i)
        shaped = kShape[i] == '0' ? text[i] >= '0' && text[i] <= '9' : text[i] == kShape[i];
    if (!shaped)
        return QDateTime::fromString(QString::fromUtf8(text), Qt::ISODateWithMs);
    auto n = [&](int from, int count) {
        int number = 0;
        for (int i = from; i < from + count; ++i)
            number = number * 10 + (text[i] - '0');
        return number;
    };
    return QDateTime(QDate(n(0, 4), n(5, 2), n(8, 2)), QTime(n(11, 2), n(14, 2), n(17, 2), n(20, 3)), Qt::UTC);
}

bool ReadValue(Key key, const QJsonValue& json, std::optional<Value>& value);
std::optional<Outcome> OutcomeByName(QByteArrayView name);

// What the fields of the records read so far held, shared with the next.
struct TSeenFields {
    TLineScanner::TSeen program, user, host, port;
};

std::optional<HistoryRecord> ScanRecord(QByteArrayView line, TSeenFields& seen)
{
    TLineScanner scan(line);
    HistoryRecord r;
    QByteArrayView time, key, outcome;
    QByteArray timeHolder, keyHolder, outcomeHolder;
    QJsonValue before, after;
    if (!(scan.Expect("{\"id\":") && scan.Integer(r.id) && scan.Expect(",\"time\":") && scan.Utf8(time, timeHolder)
          && scan.Expect(",\"program\":") && scan.String(r.program, &seen.program) && scan.Expect(",\"user\":")
          && scan.String(r.user, &seen.user) && scan.Expect(",\"host\":") && scan.String(r.host, &seen.host)
          && scan.Expect(",\"port\":") && scan.String(r.port, &seen.port) && scan.Expect(",\"key\":")
          && scan.Utf8(key, keyHolder) && scan.Expect(",\"before\":") && scan.AnyValue(before)
          && scan.Expect(",\"after\":") && scan.AnyValue(after) && scan.Expect(",\"outcome\":")
          && scan.Utf8(outcome, outcomeHolder) && scan.AtEnd("}")))
        return std::nullopt;
    r.time = UtcTime(time);
    const std::optional<Key> k = KeyByName(std::string_view(key.data(), std::size_t(key.size())));
    const std::optional<Outcome> o = OutcomeByName(outcome);
    if (r.id < 1 || !r.time.isValid() || !k || !o)
        return std::nullopt;
    r.key = *k;
    r.outcome = *o;
    if (!ReadValue(r.key, before, r.before) || !ReadValue(r.key, after, r.after))
        return std::nullopt;
    return r;
}

// A line in any shape JSON allows: the scanner's, or the general parse's.
std::optional<HistoryRecord> ReadRecord(QByteArrayView line, TSeenFields& seen)
{
    if (std::optional<HistoryRecord> r = ScanRecord(line, seen))
        return r;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    HistoryRecord r;
    const QJsonValue id = o.value("id");
    r.id = id.toInteger(-1);
    r.time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
    r.program = o.value("program").toString();
    r.user = o.value("user").toString();
    r.host = o.value("host").toString();
    r.port = o.value("port").toString();
    const std::optional<Key> key = KeyByName(o.value("key").toString().toStdString());
    const std::optional<Outcome> outcome = OutcomeByName(o.value("outcome").toString().toUtf8());
    if (r.id < 1 || !r.time.isValid() || !key || !outcome)
        return std::nullopt;
    r.key = *key;
    r.outcome = *outcome;
    if (!ReadValue(r.key, o.value("before"), r.before) || !ReadValue(r.key, o.value("after"), r.after))
        return std::nullopt;
    return r;
}

std::optional<Outcome> OutcomeByName(QByteArrayView name)
{
    for (Outcome o : {Outcome::Acknowledged, Outcome::Verified, Outcome::Failed})
        if (name == QByteArrayView(OutcomeName(o).data(), qsizetype(OutcomeName(o).size())))
            return o;
    return std::nullopt;
}

// A value of the record: null, or one the settings form could write.
bool ReadValue(Key key, const QJsonValue& json, std::optional<Value>& value)
{
    if (json.isNull())
        return true;
    auto read = FromJson(key, json);
    if (std::holds_alternative<Problem>(read))
        return false;
    value = std::get<Value>(std::move(read));
    return true;
}

// USER or LOGNAME on POSIX systems, USERNAME on Windows; where a service
// starts the program with none of them, the name of the home folder.
QString UserName()
{
    for (const char* name : {"USER", "LOGNAME", "USERNAME"})
        if (const QString user = qEnvironmentVariable(name); !user.isEmpty())
            return user;
    return QDir::home().dirName();
}

} // namespace

void AppendUtf8(QByteArray& out, QStringView text)
{
    // Names, hosts and ports are nearly always ASCII, their own UTF-8.
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; })) {
        out += text.toUtf8();
        return;
    }
    const qsizetype from = out.size();
    out.resize(from + text.size());
    std::transform(text.begin(), text.end(), out.data() + from, [](QChar c) { return char(c.unicode()); });
}

std::string_view OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Acknowledged: return "acknowledged";
    case Outcome::Verified: return "verified";
    case Outcome::Failed: return "failed";
    }
    return "";
}

HistoryRecord NewRecord(const QString& program, const QString& port, Key key, std::optional<Value> before,
                        std::optional<Value> after)
{
    HistoryRecord r;
    r.time = QDateTime::currentDateTimeUtc();
    r.program = program;
    r.user = UserName();
    r.host = QSysInfo::machineHostName();
    r.port = port;
    r.key = key;
    r.before = std::move(before);
    r.after = std::move(after);
    return r;
}

QByteArray UtcText(const QDateTime& time)
{
    char text[25];
    PutUtcText(time, text);
    return QByteArray(text, 24);
}

void AppendRecordLine(QByteArray& out, const HistoryRecord& r, bool padded)
{
    char text[25];
    out += "{\"id\":";
    out += QByteArrayView(text, std::to_chars(text, text + sizeof text, r.id).ptr - text);
    PutUtcText(r.time, text);
    out += ",\"time\":\"";
    out += QByteArrayView(text, 24);
    out += "\",\"program\":";
    AppendQuoted(out, r.program);
    out += ",\"user\":";
    AppendQuoted(out, r.user);
    out += ",\"host\":";
    AppendQuoted(out, r.host);
    out += ",\"port\":";
    AppendQuoted(out, r.port);
    out += ",\"key\":\"";
    out += QByteArrayView(KeyName(r.key).data(), qsizetype(KeyName(r.key).size()));
    out += "\",\"before\":";
    AppendValue(out, r.key, r.before);
    out += ",\"after\":";
    AppendValue(out, r.key, r.after);
    out += QByteArrayView(kOutcomeField.data(), qsizetype(kOutcomeField.size()));
    out += OutcomeText(r.outcome, padded);
    out += '}';
}

QByteArray RecordLine(const HistoryRecord& r, bool padded)
{
    QByteArray line;
    AppendRecordLine(line, r, padded);
    return line;
}

std::optional<HistoryRecord> ParseRecord(QByteArrayView line)
{
    TSeenFields seen;
    return ReadRecord(line, seen);
}

HistoryReading ReadHistory(const QString& path)
{
    HistoryReading reading;
    QFile file(path);
    if (!file.exists())
        return reading;
    if (!file.open(QIODevice::ReadOnly)) {
        reading.error = QDir::toNativeSeparators(path) + ": " + file.errorString();
        return reading;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reading.error = QDir::toNativeSeparators(path) + ": " + file.errorString();
        return reading;
    }
    const QByteArrayView all(bytes);
    auto lineEnd = [&](qsizetype from) {
        if (from >= all.size()) // an empty log has no bytes to look through at all
            return qsizetype(-1);
        const void* newline = std::memchr(all.data() + from, '\n', std::size_t(all.size() - from));
        return newline ? static_cast<const char*>(newline) - all.data() : qsizetype(-1);
    };
    std::size_t lines = 0;
    for (qsizetype end = 0; (end = lineEnd(end)) >= 0; ++end)
        ++lines;
    reading.records.reserve(lines);
    TSeenFields seen;
    qsizetype start = 0;
    int lineNumber = 0;
    while (start < all.size()) {
        const qsizetype end = lineEnd(start);
        ++lineNumber;
        const QByteArrayView line = all.sliced(start, (end < 0 ? all.size() : end) - start);
        start = end < 0 ? all.size() : end + 1;
        if (line.trimmed().isEmpty())
            continue;
        auto where = [&] { return QStringLiteral("%1:%2").arg(QDir::toNativeSeparators(path)).arg(lineNumber); };
        if (end < 0) {
            reading.warnings << where() + ": the last line is cut short (the log was cut while it was written); skipped";
            break;
        }
        if (std::optional<HistoryRecord> r = ReadRecord(line, seen))
            reading.records.push_back(std::move(*r));
        else
            reading.warnings << where() + ": holds no change record; skipped";
    }
    return reading;
}

QString DefaultHistoryDir()
{
    return UserDataFolder("history", "the change log");
}

QString HistoryPath(const QString& dir, const SettingsBlock& block)
{
    auto text = [&](Key key) {
        const std::optional<Value> v = BlockValue(key, block);
        return v ? std::get<Bytes>(*v) : Bytes{};
    };
    return dir + "/" + SafeFileStem(text(Key::Type)) + "-" + SafeFileStem(text(Key::Serial)) + ".jsonl";
}

QStringList HistoryPathsBySerial(const QString& dir, const QString& serial)
{
    const std::optional<Bytes> bytes = EncodeExact(serial);
    if (!bytes)
        return {};
    const QString tail = "-" + SafeFileStem(*bytes) + ".jsonl";
    QStringList paths;
    for (const QString& name : QDir(dir).entryList({"*" + tail}, QDir::Files, QDir::Name))
        paths << dir + "/" + name;
    return paths;
}

std::unique_ptr<THistoryLog> THistoryLog::Open(const QString& path, QString& reason)
{
    std::error_code error;
    std::filesystem::create_directories(QFileInfo(path).absoluteDir().filesystemAbsolutePath(), error);
    if (error) {
        reason = "cannot make the folder of the change log " + QDir::toNativeSeparators(QFileInfo(path).absolutePath())
            + ": " + QString::fromLocal8Bit(error.message().c_str());
        return nullptr;
    }
    std::unique_ptr<THistoryLog> log(new THistoryLog);
    log->file_.setFileName(path);
    // Unbuffered: a failed write is seen at once, not at a later flush.
    if (!log->file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        reason = log->Failure(log->file_.errorString());
        return nullptr;
    }
    // The last complete record gives the last id; only the log's end is
    // read, however long it has grown.
    const qint64 size = log->file_.size();
    const qint64 from = std::max<qint64>(0, size - 64 * 1024);
    log->file_.seek(from);
    const QByteArray tail = log->file_.readAll();
    log->startsLine_ = tail.isEmpty() || tail.endsWith('\n');
    QList<QByteArray> lines = tail.split('\n');
    if (!log->startsLine_ || lines.last().isEmpty())
        lines.removeLast(); // cut short, or the empty piece after the last newline
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (const auto r = ParseRecord(*it)) {
            log->lastId_ = r->id;
            break;
        }
    return log;
}

QString THistoryLog::Failure(const QString& what)
{
    return "cannot write the change log " + QDir::toNativeSeparators(file_.fileName()) + ": " + what;
}

QString THistoryLog::Append(HistoryRecord& record)
{
    record.id = lastId_ + 1;
    record.outcome = Outcome::Failed;
    const QByteArray line = RecordLine(record);
    // A line cut short by a power cut stays alone on its line.
    const QByteArray bytes = (startsLine_ ? QByteArray() : QByteArray("\n")) + line + '\n';
    const qint64 at = file_.size();
    if (!file_.seek(at))
        return Failure(file_.errorString());
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file_.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = file_.error() != QFileDevice::NoError ? file_.errorString() : QStringLiteral("nothing written");
            // Nothing half written may stay behind to glue onto the next record.
            file_.resize(at);
            return Failure(reason);
        }
        done += n;
    }
    startsLine_ = true;
    lastId_ = record.id;
    outcomeAt_[record.id] = at + bytes.size() - 1 - 1 - kOutcomeWidth; // before "}\n"
    return Sync();
}

QString THistoryLog::Settle(const HistoryRecord& record, Outcome outcome)
{
    const auto at = outcomeAt_.find(record.id);
    if (at == outcomeAt_.end())
        return Failure(QStringLiteral("record %1 was not written here").arg(record.id));
    const QByteArray text = OutcomeText(outcome, true);
    if (!file_.seek(at->second) || file_.write(text) != text.size())
        return Failure(file_.errorString());
    unsynced_ = true;
    return {};
}

QString THistoryLog::Sync()
{
    if (const int error = SyncToDisk(file_.handle()))
        return Failure(SystemText(error));
    unsynced_ = false;
    return {};
}

} // namespace lk58::config

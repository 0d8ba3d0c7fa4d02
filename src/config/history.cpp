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
#include <cstdio>
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

QByteArray Quoted(const QString& text)
{
    return QuotedUtf8(text.toUtf8());
}

QByteArray ValueText(Key key, const std::optional<Value>& value)
{
    if (!value)
        return QByteArrayLiteral("null");
    if (const Bytes* text = std::get_if<Bytes>(&*value))
        return QuotedUtf8(QByteArray::fromStdString(DecodeExact(*text)));
    return QByteArray::fromStdString(ValueJsonText(key, *value));
}

// The log's own lines are read by a scanner of their fixed shape, ten
// times faster than a general JSON parse; a line of another shape (edited
// by hand) goes to the general parse.
class TLineScanner {
public:
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
    bool String(QString& value)
    {
        if (!Expect("\""))
            return false;
        const qsizetype from = at_;
        while (at_ < s_.size() && s_[at_] != '"' && s_[at_] != '\\')
            ++at_;
        if (at_ < s_.size() && s_[at_] == '"') {
            value = QString::fromUtf8(s_.sliced(from, at_ - from));
            ++at_;
            return true;
        }
        at_ = from - 1; // escapes: the general parse
        return Escaped(value);
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
        value = s_.sliced(from, at_ - from).toByteArray().toDouble(&ok);
        return ok;
    }

    bool AtEnd(QByteArrayView tail)
    {
        while (at_ < s_.size() && s_[at_] == ' ')
            ++at_;
        return Expect(tail) && at_ == s_.size();
    }

private:
    bool Escaped(QString& value)
    {
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

// "2026-12-08T14:55:02.123Z"
QDateTime UtcTime(const QString& text)
{
    if (text.size() != 24 || text[10] != u'T' || text[23] != u'Z')
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    auto n = [&](int from, int count) { return QStringView(text).mid(from, count).toInt(); };
    return QDateTime(QDate(n(0, 4), n(5, 2), n(8, 2)), QTime(n(11, 2), n(14, 2), n(17, 2), n(20, 3)), Qt::UTC);
}

bool ReadValue(Key key, const QJsonValue& json, std::optional<Value>& value);
std::optional<Outcome> OutcomeByName(const QString& name);

std::optional<HistoryRecord> ScanRecord(const QByteArray& line)
{
    TLineScanner scan(line);
    HistoryRecord r;
    QString time, key, outcome;
    QJsonValue before, after;
    if (!(scan.Expect("{\"id\":") && scan.Integer(r.id) && scan.Expect(",\"time\":") && scan.String(time)
          && scan.Expect(",\"program\":") && scan.String(r.program) && scan.Expect(",\"user\":") && scan.String(r.user)
          && scan.Expect(",\"host\":") && scan.String(r.host) && scan.Expect(",\"port\":") && scan.String(r.port)
          && scan.Expect(",\"key\":") && scan.String(key) && scan.Expect(",\"before\":") && scan.AnyValue(before)
          && scan.Expect(",\"after\":") && scan.AnyValue(after) && scan.Expect(",\"outcome\":") && scan.String(outcome)
          && scan.AtEnd("}")))
        return std::nullopt;
    r.time = UtcTime(time);
    const std::optional<Key> k = KeyByName(key.toStdString());
    const std::optional<Outcome> o = OutcomeByName(outcome);
    if (r.id < 1 || !r.time.isValid() || !k || !o)
        return std::nullopt;
    r.key = *k;
    r.outcome = *o;
    if (!ReadValue(r.key, before, r.before) || !ReadValue(r.key, after, r.after))
        return std::nullopt;
    return r;
}

std::optional<Outcome> OutcomeByName(const QString& name)
{
    for (Outcome o : {Outcome::Acknowledged, Outcome::Verified, Outcome::Failed})
        if (name == QLatin1String(OutcomeName(o).data()))
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
    const QDateTime utc = time.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(), d.month(), d.day(),
                                t.hour(), t.minute(), t.second(), t.msec());
    return QByteArray(text, n);
}

QByteArray RecordLine(const HistoryRecord& r, bool padded)
{
    QByteArray line = "{\"id\":" + QByteArray::number(r.id);
    line += ",\"time\":\"" + UtcText(r.time) + '"';
    line += ",\"program\":" + Quoted(r.program) + ",\"user\":" + Quoted(r.user) + ",\"host\":" + Quoted(r.host);
    line += ",\"port\":" + Quoted(r.port);
    line += ",\"key\":\"" + QByteArray(KeyName(r.key).data(), qsizetype(KeyName(r.key).size())) + '"';
    line += ",\"before\":" + ValueText(r.key, r.before) + ",\"after\":" + ValueText(r.key, r.after);
    line += QByteArray(kOutcomeField.data(), qsizetype(kOutcomeField.size())) + OutcomeText(r.outcome, padded) + '}';
    return line;
}

std::optional<HistoryRecord> ParseRecord(const QByteArray& line)
{
    if (std::optional<HistoryRecord> r = ScanRecord(line))
        return r;
    const QJsonDocument doc = QJsonDocument::fromJson(line);
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
    const std::optional<Outcome> outcome = OutcomeByName(o.value("outcome").toString());
    if (r.id < 1 || !r.time.isValid() || !key || !outcome)
        return std::nullopt;
    r.key = *key;
    r.outcome = *outcome;
    if (!ReadValue(r.key, o.value("before"), r.before) || !ReadValue(r.key, o.value("after"), r.after))
        return std::nullopt;
    return r;
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
    reading.records.reserve(std::size_t(bytes.count('\n')));
    qsizetype start = 0;
    int lineNumber = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        ++lineNumber;
        const QByteArray line = bytes.mid(start, (end < 0 ? bytes.size() : end) - start);
        start = end < 0 ? bytes.size() : end + 1;
        if (line.trimmed().isEmpty())
            continue;
        const QString where = QStringLiteral("%1:%2").arg(QDir::toNativeSeparators(path)).arg(lineNumber);
        if (end < 0) {
            reading.warnings << where + ": the last line is cut short (the log was cut while it was written); skipped";
            break;
        }
        if (std::optional<HistoryRecord> r = ParseRecord(line))
            reading.records.push_back(std::move(*r));
        else
            reading.warnings << where + ": holds no change record; skipped";
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

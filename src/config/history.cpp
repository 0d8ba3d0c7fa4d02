#include "config/history.h"

#include "config/diskfile.h"
#include "config/datafolder.h"
#include "config/diskfile_platform.h"
#include "config/restore.h"
#include "config/values.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>
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

QByteArray Quoted(const QString& text)
{
    return QByteArray::fromStdString(JsonText(text));
}

QByteArray ValueText(Key key, const std::optional<Value>& value)
{
    return value ? QByteArray::fromStdString(ValueJsonText(key, *value)) : QByteArrayLiteral("null");
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

QByteArray RecordLine(const HistoryRecord& r, bool padded)
{
    QByteArray line = "{\"id\":" + QByteArray::number(r.id);
    line += ",\"time\":" + Quoted(r.time.toUTC().toString(Qt::ISODateWithMs));
    line += ",\"program\":" + Quoted(r.program) + ",\"user\":" + Quoted(r.user) + ",\"host\":" + Quoted(r.host);
    line += ",\"port\":" + Quoted(r.port);
    line += ",\"key\":\"" + QByteArray(KeyName(r.key).data(), qsizetype(KeyName(r.key).size())) + '"';
    line += ",\"before\":" + ValueText(r.key, r.before) + ",\"after\":" + ValueText(r.key, r.after);
    line += QByteArray(kOutcomeField.data(), qsizetype(kOutcomeField.size())) + OutcomeText(r.outcome, padded) + '}';
    return line;
}

std::optional<HistoryRecord> ParseRecord(const QByteArray& line)
{
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

Settings SettingsBefore(Settings now, const std::vector<HistoryRecord>& records, qint64 id)
{
    for (auto it = records.crbegin(); it != records.crend(); ++it)
        if (it->id >= id)
            now[it->key] = it->before;
    return now;
}

std::vector<BackupEntry> FindBackups(const QString& dir, const std::optional<Bytes>& type, const Bytes& serial)
{
    std::vector<BackupEntry> backups;
    const QDir folder(dir);
    for (const QFileInfo& info : folder.entryInfoList({SafeFileStem(serial) + "-*.json"}, QDir::Files)) {
        const auto bytes = ReadSettingsBytes(info.filePath());
        if (!std::holds_alternative<QByteArray>(bytes))
            continue;
        const ReadResult read = ReadSettingsFile(std::get<QByteArray>(bytes));
        if (!read.file || read.file->settings[Key::Serial] != Value(serial)
            || (type && read.file->settings[Key::Type] != Value(*type)))
            continue;
        // The name holds the time to the millisecond (local time), which
        // orders a backup among the changes of the same second.
        const QString stamp = info.completeBaseName().mid(SafeFileStem(serial).size() + 1, 19);
        QDateTime time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        if (!time.isValid())
            time = read.file->saved.isValid() ? read.file->saved : info.lastModified();
        backups.push_back({info.filePath(), time.toUTC(), read.file->settings});
    }
    std::sort(backups.begin(), backups.end(), [](const BackupEntry& a, const BackupEntry& b) { return a.time < b.time; });
    return backups;
}

Settings LatestKnown(const std::vector<BackupEntry>& backups, const std::vector<HistoryRecord>& records)
{
    Settings known = backups.empty() ? Settings{} : backups.back().settings;
    const QDateTime since = backups.empty() ? QDateTime() : backups.back().time;
    for (const HistoryRecord& r : records)
        if (r.outcome != Outcome::Failed && (!since.isValid() || r.time >= since))
            known[r.key] = r.after;
    return known;
}

} // namespace lk58::config

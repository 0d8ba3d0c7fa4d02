#pragma once

// A converter's change log: one JSON Lines file per converter (its type and
// serial number) beside the backups, one record per setting written.
//
//     {"id":7,"time":"2026-12-08T14:55:02.123Z","program":"tq36ctl 0.2.1.7","user":"jan","host":"bench2",
//      "port":"/dev/ttyUSB0","key":"label","before":"Boiler 2","after":"Boiler 3","outcome":"verified"    }
//
// A record is appended and synced before its write goes out, with the
// outcome "failed"; once the converter has acknowledged it, and again after
// a read-back, the outcome is rewritten in place. Its value is padded to the
// width of the longest word, so the line keeps its length: a write whose
// answer never came (a power cut, a crash) stays "failed" in the log.

#include "config/settingsfile.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace lk58::config {

enum class Outcome { Acknowledged, Verified, Failed };
// "acknowledged", "verified", "failed".
std::string_view OutcomeName(Outcome outcome);

struct HistoryRecord {
    qint64 id = 0;   // grows within the log; given by THistoryLog::Append
    QDateTime time;  // UTC, to the millisecond
    QString program; // with its version: "tq36ctl 0.2.1.7"
    QString user;
    QString host;
    QString port;
    Key key = Key::Type;
    std::optional<Value> before; // empty: the converter held no readable value
    std::optional<Value> after;
    Outcome outcome = Outcome::Failed;
};

// A record with the time, user and host of this moment and machine.
HistoryRecord NewRecord(const QString& program, const QString& port, Key key, std::optional<Value> before,
                        std::optional<Value> after);

// Appends `text` as UTF-8, byte for byte as QString::toUtf8 gives it (a
// lone surrogate as "?"), without a string of its own for ASCII.
void AppendUtf8(QByteArray& out, QStringView text);

// A time as the log writes it, in UTC: "2026-12-08T14:55:02.123Z".
QByteArray UtcText(const QDateTime& time);

// The record's line, without its newline. `padded`: the outcome's value is
// followed by the spaces that make every outcome as wide as the longest.
QByteArray RecordLine(const HistoryRecord& record, bool padded = true);
// The same line appended to `out`.
void AppendRecordLine(QByteArray& out, const HistoryRecord& record, bool padded = true);
// The record a line holds, or nothing when it holds none.
std::optional<HistoryRecord> ParseRecord(QByteArrayView line);

struct HistoryReading {
    std::vector<HistoryRecord> records; // oldest first
    QStringList warnings;               // lines skipped, and why
    QString error;                      // the log could not be read at all
};
// Every record of the log at `path`; a log that does not exist holds none.
// A last line cut short (a power cut while it was written) and a line that
// holds no record are skipped with a warning.
HistoryReading ReadHistory(const QString& path);

// $XDG_DATA_HOME/LK58/history, by default ~/.local/share/LK58/history; on
// Windows %LOCALAPPDATA%\LK58\history. Throws std::runtime_error as
// DefaultBackupDir does.
QString DefaultHistoryDir();
// The log of the converter whose block this is: "<type>-<serial>.jsonl",
// the characters a file name cannot safely hold replaced by "_".
QString HistoryPath(const QString& dir, const SettingsBlock& block);
// The logs in `dir` of converters whose serial number is `serial`.
QStringList HistoryPathsBySerial(const QString& dir, const QString& serial);

// A log open for appending, by one writer at a time (the converter's port
// is held by the writer).
class THistoryLog {
public:
    // Opens the log at `path`, making its folder; nothing, and `reason`,
    // when it cannot be had.
    static std::unique_ptr<THistoryLog> Open(const QString& path, QString& reason);
    QString Path() const { return file_.fileName(); }

    // Appends `record` (outcome failed) with the next id, which it sets,
    // and syncs the log to disk with every outcome set before. Empty, or
    // why it failed.
    QString Append(HistoryRecord& record);
    // Rewrites the outcome of a record appended here; on disk at the next
    // Append or Sync.
    QString Settle(const HistoryRecord& record, Outcome outcome);
    QString Sync();

private:
    THistoryLog() = default;
    QString Failure(const QString& what);

    QFile file_;
    qint64 lastId_ = 0;
    bool startsLine_ = true;             // the file ends in a newline (or is empty)
    std::map<qint64, qint64> outcomeAt_; // id -> offset of its outcome's value
    bool unsynced_ = false;
};

// The settings as they stood before record `id`: `now` with every change
// from `id` on taken back, the newest first. A setting whose value before
// such a change was not readable is left out.
Settings SettingsBefore(Settings now, const std::vector<HistoryRecord>& records, qint64 id);

// A backup of one converter, as the backup folder holds it.
struct BackupEntry {
    QString path;
    QDateTime time; // when it was saved
    Settings settings;
};
// The backups in `dir` of the converter with this serial number (and type,
// when given), oldest first.
std::vector<BackupEntry> FindBackups(const QString& dir, const std::optional<Bytes>& type, const Bytes& serial);

// What the log and the backups say the converter holds now: the newest
// backup with every acknowledged change after it. Only the settings they
// know of.
Settings LatestKnown(const std::vector<BackupEntry>& backups, const std::vector<HistoryRecord>& records);

} // namespace lk58::config

#include "config/history.h"

#include "config/diskfile.h"
#include "config/values.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// The way back: the settings as they stood before a change, from the
// converter's state now or from its backups and the log.
namespace lk58::config {

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

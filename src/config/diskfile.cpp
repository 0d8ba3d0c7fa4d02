#include "config/diskfile.h"

#include "config/diskfile_platform.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <system_error>

namespace lk58::config {
namespace {

std::function<void(const QString&)>& BeforeReadBack()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

// A name beside `target` that no file has, opened for writing: hidden, so
// that a run killed part way leaves nothing a file dialog offers.
bool OpenNew(QFile& file, const QString& target, QString& reason)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString suffix = QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16);
        file.setFileName(info.absolutePath() + "/." + info.fileName() + "." + suffix + ".part");
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!file.exists()) {
            reason = file.errorString();
            return false;
        }
    }
    reason = file.errorString();
    return false;
}

// Empty when `written` is on disk as `bytes` and passes `check`.
QString ReadBack(const QString& written, const QByteArray& bytes, const TDiskCheck& check)
{
    QFile back(written);
    if (!back.open(QIODevice::ReadOnly))
        return "cannot read it back: " + back.errorString();
    const QByteArray onDisk = back.read(bytes.size() + 1);
    if (back.error() != QFileDevice::NoError)
        return "cannot read it back: " + back.errorString();
    if (onDisk.size() != bytes.size())
        return QStringLiteral("read back from disk, it holds %1 of %2 bytes").arg(onDisk.size()).arg(bytes.size());
    if (onDisk != bytes)
        return QStringLiteral("read back from disk, it differs from what was written");
    return check ? check(onDisk) : QString();
}

// Writes, syncs and proves the new file; empty on success.
QString WriteNew(QFile& file, const QString& target, const QByteArray& bytes, const TDiskCheck& check)
{
    if (QFileInfo::exists(target))
        file.setPermissions(QFile::permissions(target));
    // Unbuffered: every write reaches the system at once and its failure
    // is seen here, not lost in a flush at close. A short write is tried
    // again for the rest, which then gives the system's reason.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("nothing more was written");
        done += n;
    }
    if (const int error = SyncToDisk(file.handle()))
        return QString::fromLocal8Bit(std::generic_category().message(error).c_str());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (BeforeReadBack())
        BeforeReadBack()(file.fileName());
    return ReadBack(file.fileName(), bytes, check);
}

// Removes the new file after a failure. Closed first: Windows removes no
// file that is still open. One that took the permissions of a read-only
// file is made writable, which Windows asks before it removes it.
void RemoveNew(QFile& file)
{
    file.close();
    if (!file.exists() || QFile::remove(file.fileName()))
        return;
    QFile::setPermissions(file.fileName(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(file.fileName());
}

} // namespace

QString SaveProven(const QString& path, const QByteArray& bytes, const TDiskCheck& check)
{
    const QFileInfo info(path);
    if (info.exists() && info.isDir())
        return QStringLiteral("it is a folder");
    if (info.exists() && !info.isFile())
        return QStringLiteral("not a regular file");
    // A link stays a link: its file is the one replaced.
    const QString target = info.exists() ? info.canonicalFilePath() : path;
    if (info.exists())
        if (const QString refused = ReplaceRefused(target); !refused.isEmpty())
            return refused;
    QFile file;
    QString reason;
    if (!OpenNew(file, target, reason))
        return reason;
    reason = WriteNew(file, target, bytes, check);
    if (reason.isEmpty())
        reason = MoveIntoPlace(file.fileName(), target);
    if (!reason.isEmpty())
        RemoveNew(file);
    return reason;
}

std::variant<QByteArray, QString> ReadSettingsBytes(const QString& path)
{
    QFile file(path);
    if (!OpenPipe(file)) {
        if (QFileInfo(path).isDir())
            return QStringLiteral("a folder, not a settings file");
        if (!file.open(QIODevice::ReadOnly))
            return file.errorString();
    }
    // A pipe or device may deliver in pieces, and may never end.
    QByteArray bytes;
    while (bytes.size() <= kSettingsFileLimit) {
        const QByteArray piece = file.read(kSettingsFileLimit + 1 - bytes.size());
        if (file.error() != QFileDevice::NoError)
            return file.errorString();
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > kSettingsFileLimit)
        return QStringLiteral("larger than 1 MiB: not a settings file");
    return bytes;
}

namespace testing {
void SetBeforeReadBack(std::function<void(const QString& written)> hook)
{
    BeforeReadBack() = std::move(hook);
}
} // namespace testing

} // namespace lk58::config

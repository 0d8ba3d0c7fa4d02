#include "config/restore.h"
#include "config/values.h"
#include "config/datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace lk58::config {

namespace {

[[noreturn]] void Fail(const QString& what, const QString& path, const QString& reason)
{
    throw std::runtime_error((what + " " + QDir::toNativeSeparators(path) + ": " + reason).toStdString());
}

void MakeFolder(const QString& dir)
{
    std::error_code error;
    std::filesystem::create_directories(QFileInfo(dir).filesystemAbsoluteFilePath(), error);
    if (error)
        Fail("cannot make the backup folder", dir, QString::fromLocal8Bit(error.message().c_str()));
}

// Claims a name that no file has yet; a second backup of the same
// converter within the same millisecond gets "-2", "-3"...
QString ClaimName(const QString& dir, const QString& stem)
{
    for (int n = 1; n < 100; ++n) {
        const QString path = dir + "/" + stem + (n == 1 ? QString() : QString("-%1").arg(n)) + ".json";
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!file.exists())
            Fail("cannot create the backup", path, file.errorString());
    }
    Fail("cannot create the backup", dir + "/" + stem + ".json", "too many backups of that name");
}

} // namespace

QString DefaultBackupDir()
{
    return UserDataFolder("backups", "backups");
}

QString WriteBackup(const SettingsBlock& block, const QString& dir, const QDateTime& when, const QString& program)
{
    MakeFolder(dir);
    const SettingsFile file = FileFromBlock(block, when, program);
    const Bytes serial = file.settings.Has(Key::Serial) ? std::get<Bytes>(*file.settings[Key::Serial]) : Bytes{};
    const QString stem = SafeFileStem(serial) + "-" + when.toString("yyyyMMdd-HHmmss-zzz");
    const QString path = ClaimName(dir, stem);
    // The converter is written only after this file is proven to restore
    // what was read from it.
    const QString reason = SaveSettingsFile(path, file);
    if (!reason.isEmpty()) {
        QFile::remove(path); // the claimed name, still empty
        Fail("cannot write the backup", path, reason);
    }
    return QDir::toNativeSeparators(path);
}

} // namespace lk58::config

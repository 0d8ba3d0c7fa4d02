#include "config/diskfile.h"
#include "config/diskfile_platform.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk58::config {

namespace {

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error).c_str());
}

} // namespace

int SyncToDisk(int handle)
{
    while (::fsync(handle) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// A FIFO, /dev/stdin or <(...) opens and ends as any file.
bool OpenPipe(QFile&)
{
    return false;
}

QString ReplaceRefused(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return {};
    // No write permission for anyone is the owner's word, and root, whom
    // the permissions do not stop, keeps to it too: a rename would need no
    // permission of the file at all.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("the file is read-only");
    if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM))
        return QStringLiteral("the file is read-only to you: its permissions do not let you write it");
    return {};
}

QString MoveIntoPlace(const QString& written, const QString& target)
{
    if (::rename(QFile::encodeName(written).constData(), QFile::encodeName(target).constData()) != 0)
        return SystemText(errno);
    // The new name is an entry of the folder: until the folder is synced,
    // a power cut may bring back the old file, or none.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {}; // a folder that may be written but not read (-wx) cannot be synced by us
    const int error = SyncToDisk(fd);
    ::close(fd);
    // Some file systems cannot sync a folder (EINVAL): they keep it as they can.
    if (error != 0 && error != EINVAL)
        return "saved, but its folder could not be synced to disk: " + SystemText(error);
    return {};
}

bool SameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace lk58::config

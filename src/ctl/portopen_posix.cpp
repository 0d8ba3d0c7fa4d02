#include "ctl/portopen.h"

#include "serial/deviceaccess.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk58::ctl {

namespace {

QString UserName()
{
    if (const passwd* p = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(p->pw_name);
    return QStringLiteral("$USER");
}

} // namespace

QString OpenErrorCause(int code, const QString& path)
{
    switch (code) {
    case EACCES:
    case EPERM: {
        // A group that is not there for devices (root) is never advised.
        const platform::TDeviceAccess access = platform::DeviceAccess(path.toStdString());
        const QString group = QString::fromLocal8Bit(access.group.c_str());
        if (!access.joinGroup)
            return QStringLiteral("permission denied: the permissions of %1 (group '%2', mode %3) keep you out; "
                                  "an administrator can change them (with a udev rule)")
                .arg(path, group, QString::number(access.mode, 8));
        return QStringLiteral("permission denied: only members of the group '%1' may open it; "
                              "add yourself with 'sudo usermod -aG %1 %2', then log in again")
            .arg(group, UserName());
    }
    case EBUSY:
    case EWOULDBLOCK:
        if (const auto lock = platform::LivePortLock(path.toStdString())) {
            const QString program = lock->program.empty() ? QString() : " (" + QString::fromLocal8Bit(lock->program.c_str()) + ")";
            return QStringLiteral("busy: process %1%2 holds the port by its lock file %3")
                .arg(QString::number(lock->pid), program, QString::fromLocal8Bit(lock->file.c_str()));
        }
        return QStringLiteral("busy: another program holds the port");
    case ENOTTY:
        return QStringLiteral("not a serial device");
    case ENOENT:
        return QStringLiteral("no such port");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("no device behind this name (unplugged?)");
    default:
        return QString();
    }
}

bool SamePort(const QString& a, const QString& b)
{
    struct stat sa{}, sb{};
    if (::stat(a.toLocal8Bit().constData(), &sa) == 0 && ::stat(b.toLocal8Bit().constData(), &sb) == 0) {
        // A device node is the device its number names, wherever the node lies.
        if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode))
            return sa.st_rdev == sb.st_rdev;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    // A name that does not exist fails to open anyway; the same spelling of
    // it is still the same port.
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

} // namespace lk58::ctl

#include "ctl/portopen.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk58::ctl {

namespace {

// The group that may open the device (dialout on Debian), read from the
// node itself where possible.
QString DeviceGroup(const QString& path)
{
    struct stat st{};
    if (::stat(path.toLocal8Bit().constData(), &st) == 0)
        if (const group* g = ::getgrgid(st.st_gid); g && g->gr_gid != 0)
            return QString::fromLocal8Bit(g->gr_name);
    return QStringLiteral("dialout");
}

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
        const QString group = DeviceGroup(path);
        return QStringLiteral("permission denied: only members of the group '%1' may open it; "
                              "add yourself with 'sudo usermod -aG %1 %2', then log in again")
            .arg(group, UserName());
    }
    case EBUSY:
    case EWOULDBLOCK:
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

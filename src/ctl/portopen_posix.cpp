#include "ctl/portopen.h"

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

} // namespace lk58::ctl

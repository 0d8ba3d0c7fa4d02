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

QString ExplainOpenError(int code, const std::string& systemText, const QString& path)
{
    const QString system = QString::fromLocal8Bit(systemText.c_str());
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
        return system.isEmpty() ? QStringLiteral("error %1").arg(code) : system;
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

std::optional<std::pair<int, int>> RepeatedPort(const QStringList& ports)
{
    for (int i = 0; i < ports.size(); ++i)
        for (int j = i + 1; j < ports.size(); ++j)
            if (SamePort(ports[i], ports[j]))
                return std::pair{i, j};
    return std::nullopt;
}

void OpenConverterPort(TComPort& port, const QString& path)
{
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
    port.SetDeviceName(path.toStdString());
    try {
        port.SetActive(true);
    } catch (const EComError& e) {
        throw TFailure{TExit::NoPort, "cannot open: " + ExplainOpenError(e.ErrorCode(), e.what(), path),
                       e.ErrorCode()};
    }
    port.AbortAndClearInput();
    port.AbortAndClearOutput();
    port.ClearInput();
    port.ClearOutput();
}

} // namespace lk58::ctl

#include "app/porterror.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lk58 {

namespace {

// The name of the group that owns a device node; "dialout", the serial
// ports' group on Debian, where the node's group cannot be told.
QString DeviceGroup(const std::string& device)
{
    struct stat st {};
    if (stat(device.c_str(), &st) == 0) {
        group g{};
        group* found = nullptr;
        std::vector<char> buffer(4096);
        if (getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
            return QString::fromLocal8Bit(found->gr_name);
    }
    return QStringLiteral("dialout");
}

} // namespace

QString PortOpenCause(const TMessages& msg, int code, const std::string& device)
{
    const QString path = QString::fromStdString(device);
    switch (code) {
    case EACCES:
    case EPERM: {
        // A user outside the device's group: the everyday case of a USB
        // adapter on a fresh installation.
        const QString group = DeviceGroup(device);
        return msg.MsgPortDenied.arg(group, QStringLiteral("sudo usermod -aG %1 $USER").arg(group));
    }
    case EBUSY:
        return msg.MsgPortBusy;
    case ENOENT:
        return msg.MsgPortMissing.arg(path);
    case ENOTTY:
    case ENXIO:
    case ENODEV:
    case EISDIR:
        return msg.MsgPortNotSerial.arg(path);
    default:
        return QString();
    }
}

} // namespace lk58

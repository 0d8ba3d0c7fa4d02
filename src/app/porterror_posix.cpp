#include "app/porterror.h"

#include "serial/deviceaccess.h"

#include <cerrno>

namespace lk58 {

QString PortOpenCause(const TMessages& msg, int code, const std::string& device)
{
    const QString path = QString::fromStdString(device);
    switch (code) {
    case EACCES:
    case EPERM: {
        // A user outside the device's group: the everyday case of a USB
        // adapter on a fresh installation. A group that is not there for
        // devices (root) is never advised.
        const platform::TDeviceAccess access = platform::DeviceAccess(device);
        const QString group = QString::fromLocal8Bit(access.group.c_str());
        if (!access.joinGroup)
            return msg.MsgPortDeniedByMode.arg(path, group, QString::number(access.mode, 8));
        return msg.MsgPortDenied.arg(group, QStringLiteral("sudo usermod -aG %1 $USER").arg(group));
    }
    case EBUSY:
        if (const auto lock = platform::LivePortLock(device)) {
            const QString program = lock->program.empty() ? QString() : ": " + QString::fromLocal8Bit(lock->program.c_str());
            return msg.MsgPortLocked.arg(QString::number(lock->pid), program, QString::fromLocal8Bit(lock->file.c_str()));
        }
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

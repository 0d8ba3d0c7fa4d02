#include "app/porterror.h"

#include "app/errorbox.h"
#include "serial/comport.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lk58 {

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

QString PortOpenErrorText(const TMessages& msg, const EComError& error, const std::string& device)
{
    // With nothing typed there is nothing more to say.
    if (device.empty())
        return msg.MsgInvalidPort;
    const QString path = QString::fromStdString(device);
    QString cause;
    switch (error.ErrorCode()) {
    case EACCES:
    case EPERM: {
        // A user outside the device's group: the everyday case of a USB
        // adapter on a fresh installation.
        const QString group = DeviceGroup(device);
        cause = msg.MsgPortDenied.arg(group, QStringLiteral("sudo usermod -aG %1 $USER").arg(group));
        break;
    }
    case EBUSY:
        cause = msg.MsgPortBusy;
        break;
    case ENOENT:
        cause = msg.MsgPortMissing.arg(path);
        break;
    case ENOTTY:
    case ENXIO:
    case ENODEV:
    case EISDIR:
        cause = msg.MsgPortNotSerial.arg(path);
        break;
    default:
        cause = ErrorBoxText(QString::fromLocal8Bit(error.what()));
        break;
    }
    return msg.MsgInvalidPort + QLatin1Char('\n') + cause;
}

} // namespace lk58

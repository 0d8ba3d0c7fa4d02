#include "app/porterror.h"

#include "app/errorbox.h"
#include "serial/comport.h"
#include "serial/serialdevice.h"

namespace lk58 {

QString PortOpenErrorText(const TMessages& msg, const EComError& error, const std::string& device)
{
    // With nothing typed there is nothing more to say.
    if (device.empty())
        return msg.MsgInvalidPort;
    // The port opened, but its driver would not keep the converter's line
    // (Windows says "not supported" for that and for a device that is no
    // serial port alike).
    if (!error.RefusedSetting().empty())
        return msg.MsgInvalidPort + QLatin1Char('\n') +
               msg.MsgPortRefused.arg(QString::fromStdString(device), QString::fromStdString(error.RefusedSetting()));
    QString cause = PortOpenCause(msg, error.ErrorCode(), device);
    if (cause.isEmpty())
        cause = ErrorBoxText(QString::fromLocal8Bit(error.what()));
    return msg.MsgInvalidPort + QLatin1Char('\n') + cause;
}

QString PortOpenReason(const TMessages& msg, int code, const std::string& device)
{
    const QString cause = PortOpenCause(msg, code, device);
    if (!cause.isEmpty() || code == 0)
        return cause;
    return ErrorBoxText(QString::fromLocal8Bit(platform::SystemMessage(code)));
}

} // namespace lk58

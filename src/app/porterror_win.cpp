#include "app/porterror.h"

#include <windows.h>

namespace lk58 {

QString PortOpenCause(const TMessages& msg, int code, const std::string& device)
{
    const QString name = QString::fromStdString(device);
    switch (code) {
    // Windows opens a COM port for one program at a time and tells a second
    // one "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return msg.MsgPortBusy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return msg.MsgComMissing.arg(name);
    // A device or file that takes no line settings.
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return msg.MsgPortNotSerial.arg(name);
    default:
        return QString();
    }
}

} // namespace lk58

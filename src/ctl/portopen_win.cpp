#include "ctl/portopen.h"

#include <windows.h>

namespace lk58::ctl {

QString OpenErrorCause(int code, const QString&)
{
    switch (code) {
    // Windows gives a COM port to one program at a time and tells a second
    // one "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return QStringLiteral("busy: another program holds the port");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return QStringLiteral("no such port (Device Manager lists the computer's ports)");
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return QStringLiteral("not a serial device");
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
        return QStringLiteral("no device behind this name (unplugged?)");
    default:
        return QString();
    }
}

// A COM port has one name; "\\.\COM3", "com3" and "COM3" all name it.
bool SamePort(const QString& a, const QString& b)
{
    auto bare = [](QString name) {
        if (name.startsWith(QLatin1String("\\\\.\\")))
            name.remove(0, 4);
        return name.trimmed().toUpper();
    };
    return bare(a) == bare(b);
}

} // namespace lk58::ctl

#include "ctl/portopen.h"

namespace lk58::ctl {

QString ExplainOpenError(int code, const std::string& systemText, const QString& path)
{
    const QString cause = OpenErrorCause(code, path);
    if (!cause.isEmpty())
        return cause;
    const QString system = QString::fromLocal8Bit(systemText.c_str());
    return system.isEmpty() ? QStringLiteral("error %1").arg(code) : system;
}

QString OpenFailureText(const EComError& error, const QString& path)
{
    // Windows says "not supported" both for a device that is no serial
    // port and for a line setting its driver would not keep.
    if (!error.RefusedSetting().empty())
        return "cannot set the converter's line: the port refused " + QString::fromStdString(error.RefusedSetting()) +
               " (4800 baud, 8 data bits, no parity, 1 stop bit)";
    return "cannot open: " + ExplainOpenError(error.ErrorCode(), error.what(), path);
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
        throw TFailure{TExit::NoPort, OpenFailureText(e, path), e.ErrorCode()};
    }
    port.AbortAndClearInput();
    port.AbortAndClearOutput();
    port.ClearInput();
    port.ClearOutput();
}

} // namespace lk58::ctl

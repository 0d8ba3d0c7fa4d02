#pragma once

// What the Windows tests of the serial port share: the COM port that
// with-sim.sh maps to the simulated converter, the hang-up of its line, and
// a port whose platform device the test can question.

#include "core/bytes.h"
#include "serial/comport.h"
#include "serial/serialdevice.h"

#include <QFile>
#include <QString>
#include <QtTest>

#include <memory>
#include <utility>

#include <windows.h>

namespace lk58::test {

// The port's name, such as COM13 (from with-sim.sh).
inline std::string TestCom()
{
    return qEnvironmentVariable("LK58_TEST_COM").toStdString();
}

// Stops the simulated converter: its line hangs up, as a pulled adapter's.
inline void HangUp()
{
    QFile file(qEnvironmentVariable("LK58_TEST_HANGUP"));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// Wine, not Windows, runs the program.
inline bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Runs f and gives the code and message of the EComError it raises (code
// -1 when none).
template <class F>
std::pair<int, QString> ComError(F f)
{
    try {
        f();
    } catch (const EComError& e) {
        return {e.ErrorCode(), QString::fromStdString(e.what())};
    }
    return {-1, QString()};
}

// A port that lets the test ask its platform device what the driver holds.
class TProbePort : public TComPort {
public:
    platform::TSerialDevice* device = nullptr;

    TDcb DriverState()
    {
        TDcb dcb;
        dcb.DCBlength = kDcbLength;
        if (!device || !device->GetCommState(dcb))
            qFatal("the driver's line state cannot be read");
        return dcb;
    }

protected:
    std::unique_ptr<platform::TSerialDevice> CreateDevice() override
    {
        auto real = platform::CreateSerialDevice();
        device = real.get();
        return real;
    }
};

// The program's line: 4800 8N1, DTR off, RTS on.
inline void SetConverterLine(TComPort& port)
{
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
}

// Collects what arrives, as the device link does in its received-data
// handler; with reading off it only counts the events.
class TReceiver : public QObject {
public:
    Bytes received;
    int calls = 0;
    bool reading = true;
    bool offUiThread = false;
    void ComPortRxChar(TComPort& port)
    {
        ++calls;
        offUiThread |= QThread::currentThread() != qApp->thread();
        if (!reading)
            return;
        Bytes chunk;
        port.ReadAvailable(chunk);
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
};

} // namespace lk58::test

// The device link's exchanges through the Win32 serial port, under Wine,
// against tq36-sim keeping the pace of a 4800-baud line (with-sim.sh runs
// it on a Wine COM port): wall time per exchange against the line's floor,
// and the CPU time of this process (the user-interface and event threads).
//
// Usage: LK58_SIM_ARGS= tests/wine/with-sim.sh bench_winlink.exe [runs]
//        (50 runs by default)
#include "link/devicelink.h"
#include "serial/comport.h"

#include "linkexchanges.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <windows.h>

using namespace lk58;

namespace {

// CPU time (user + kernel) of this process so far, in ms.
double CpuMs()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return double(ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const char* com = std::getenv("LK58_TEST_COM");
    if (!com) {
        std::fprintf(stderr, "run through tests/wine/with-sim.sh\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(com);
    port.SetBaudRate(br4800);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
    port.SetOnError([](TComPort&, const EComError& e, TComAction&) {
        std::fprintf(stderr, "port error %d: %s\n", int(e.ErrorCode()), e.what());
    });
    port.SetActive(true);
    if (!link.Ping()) {
        std::fprintf(stderr, "no converter answers on %s\n", com);
        return 1;
    }

    bench::MeasureExchanges(link, runs, CpuMs);
    port.SetActive(false);
    return 0;
}

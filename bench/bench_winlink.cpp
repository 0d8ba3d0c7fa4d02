// The device link's exchanges through the Win32 serial port, under Wine,
// against tq36-sim keeping the pace of a 4800-baud line (with-sim.sh runs
// it on a Wine COM port): wall time per exchange against the line's floor,
// and the CPU time of this process (the user-interface and event threads).
//
// Usage: LK58_SIM_ARGS= tests/wine/with-sim.sh bench_winlink.exe [runs]
//        (50 runs by default)
#include "link/devicelink.h"
#include "serial/comport.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

using namespace lk58;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 4800.0; // one byte at 4800 baud: 2.083 ms
constexpr double kPauseMs = 25.0;                  // before each ping and write

double FloorMs(int frames, int requestBytes, int replyBytes, bool pause)
{
    return frames * ((requestBytes + replyBytes) * kByteMs + (pause ? kPauseMs : 0));
}

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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct TKind {
    const char* Name;
    int Requests;     // frames sent per exchange
    int RequestBytes; // per frame
    int ReplyBytes;   // per frame
    bool Pause;
    std::function<bool(TDeviceLink&)> Run;
};

void Measure(TDeviceLink& link, const TKind& kind, int runs)
{
    std::vector<double> wall;
    double wallSum = 0, cpuSum = 0;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = CpuMs();
        const auto t0 = Clock::now();
        if (!kind.Run(link)) {
            std::fprintf(stderr, "%s failed on run %d\n", kind.Name, i);
            std::exit(1);
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        cpuSum += CpuMs() - cpu0;
        wallSum += ms;
        wall.push_back(ms);
    }
    const double floor = FloorMs(kind.Requests, kind.RequestBytes, kind.ReplyBytes, kind.Pause);
    const double median = Median(wall);
    std::printf("%-16s %4d %9.2f %9.2f %6.3f %9.2f %7.2f%%\n", kind.Name, runs, median, floor, median / floor,
                median - floor, 100.0 * cpuSum / wallSum);
    std::fflush(stdout);
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

    const Bytes label{'C', 'a', 'l', 'i', 'b', 'r', 'a', 't', 'e', 'd', ' ', 'b', 'y', ' ', 'X'};
    const std::vector<TKind> kinds = {
        {"ping", 1, 3, 7, true, [](TDeviceLink& l) { return l.Ping(); }},
        {"SendInt", 1, 7, 7, true, [](TDeviceLink& l) { return l.SendInt(20, -50); }},
        {"SendLong", 1, 7, 7, true, [](TDeviceLink& l) { return l.SendLong(63, 1234); }},
        {"SendString x8", 8, 7, 7, true, [&](TDeviceLink& l) { return l.SendString(label, 39, 8); }},
        {"read-all", 1, 3, 131, false, [](TDeviceLink& l) { return l.ReadAll(); }},
    };
    std::printf("%-16s %4s %9s %9s %6s %9s %8s\n", "exchange", "runs", "median ms", "floor ms", "ratio", "over ms",
                "CPU");
    for (const TKind& k : kinds)
        Measure(link, k, runs);
    port.SetActive(false);
    return 0;
}

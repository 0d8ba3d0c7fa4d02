// Wall and CPU time of each exchange of the device link against the
// simulated converter keeping the pace of a 4800-baud line both ways (a
// pseudo-terminal would carry the request at once; the simulator answers
// only once the request could have crossed the line).
//
// The converter runs in a child process, so that getrusage(RUSAGE_SELF)
// counts exactly this program: the UI thread and the port's event thread.
//
// Usage: bench_link [runs]   (50 by default)
#include "link/devicelink.h"
#include "serial/comport.h"
#include "sim/simulator.h"

#include "benchcommon.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lk58;
using namespace lk58::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct TKind {
    const char* Name;
    int Requests;       // frames sent per exchange
    int RequestBytes;   // per frame
    int ReplyBytes;     // per frame
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
    std::printf("%-16s %4d %9.2f %9.2f %6.3f %9.2f %7.2f%%\n", kind.Name, runs, median, floor,
                median / floor, median - floor, 100.0 * cpuSum / wallSum);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    PtyPair pty = OpenPtyPair();
    const pid_t converter = StartConverter(pty.master.Get()); // before any thread exists
    pty.master.Reset();

    QCoreApplication app(argc, argv);
    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(pty.slavePath);
    port.SetBaudRate(br4800);
    port.SetActive(true);
    if (!link.Ping()) {
        std::fprintf(stderr, "no converter answers\n");
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
    std::printf("%-16s %4s %9s %9s %6s %9s %8s\n", "exchange", "runs", "median ms", "floor ms", "ratio",
                "over ms", "CPU");
    for (const TKind& k : kinds)
        Measure(link, k, runs);

    port.SetActive(false);
    kill(converter, SIGKILL);
    waitpid(converter, nullptr, 0);
    return 0;
}

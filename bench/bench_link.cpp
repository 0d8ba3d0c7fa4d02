// Wall and CPU time of each exchange of the device link against the
// simulated converter keeping the pace of a 4800-baud line both ways (a
// pseudo-terminal would carry the request at once; the simulator answers
// only once the request could have crossed the line).
//
// The converter runs in a child process, so that getrusage(RUSAGE_SELF)
// counts exactly this program: the UI thread and the port's event thread.
//
// Usage: bench_link [runs] [port]   (50 runs by default). With a port such
// as sim:, the converter is the one inside this process instead (its CPU
// time then counts too).
#include "link/devicelink.h"
#include "serial/comport.h"
#include "sim/simport.h"
#include "sim/simulator.h"

#include "benchcommon.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lk58;
using namespace lk58::bench;

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    PtyPair pty;
    std::string name = argc > 2 ? argv[2] : "";
    pid_t converter = 0;
    if (name.empty()) {
        pty = OpenPtyPair();
        converter = StartConverter(pty.master.Get()); // before any thread exists
        pty.master.Reset();
        name = pty.slavePath;
    }
    sim::RegisterSimulatedPorts();

    QCoreApplication app(argc, argv);
    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(name);
    port.SetBaudRate(br4800);
    port.SetActive(true);
    if (!link.Ping()) {
        std::fprintf(stderr, "no converter answers\n");
        return 1;
    }

    MeasureExchanges(link, runs, CpuMs);

    port.SetActive(false);
    if (converter > 0) {
        kill(converter, SIGKILL);
        waitpid(converter, nullptr, 0);
    }
    return 0;
}

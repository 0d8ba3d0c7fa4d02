#pragma once

// What the benchmarks against the simulated converter share: the line's
// floor, CPU time, medians, and a converter in a child process.

#include "linkexchanges.h"
#include "sim/simulator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lk58::bench {

// CPU time (user + system) of this process so far, in ms.
inline double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// Serves the pty master from a child process, pacing at 4800 baud, until
// the parent goes; so getrusage(RUSAGE_SELF) counts the program alone. Call
// it before any thread exists.
inline pid_t StartConverter(int master)
{
    const pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        Tq36Simulator sim(master);
        sim.SetPacing(true);
        sim.Start();
        for (;;)
            pause();
    }
    return pid;
}

} // namespace lk58::bench

#pragma once

// The device link's exchanges measured against the 4800-baud line's floor,
// the same on every system; the caller gives the process's CPU clock.

#include "link/devicelink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace lk58::bench {

inline constexpr double kByteMs = 10.0 * 1000.0 / 4800.0; // one byte at 4800 baud: 2.083 ms
inline constexpr double kPauseMs = 25.0;                  // before each ping and write

// The line's floor of `frames` exchanges: request and reply bytes, plus the
// pause where there is one.
inline double FloorMs(int frames, int requestBytes, int replyBytes, bool pause)
{
    return frames * ((requestBytes + replyBytes) * kByteMs + (pause ? kPauseMs : 0));
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs each exchange of the link `runs` times and prints a row each: the
// median wall time, the floor, their ratio, and the CPU share that
// `cpuMs` (this process's CPU time so far, in ms) measured.
inline void MeasureExchanges(TDeviceLink& link, int runs, double (*cpuMs)())
{
    struct TKind {
        const char* name;
        int requests;     // frames sent per exchange
        int requestBytes; // per frame
        int replyBytes;   // per frame
        bool pause;
        std::function<bool(TDeviceLink&)> run;
    };
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
    for (const TKind& kind : kinds) {
        std::vector<double> wall;
        double wallSum = 0, cpuSum = 0;
        for (int i = 0; i < runs; ++i) {
            const double cpu0 = cpuMs();
            const auto t0 = std::chrono::steady_clock::now();
            if (!kind.run(link)) {
                std::fprintf(stderr, "%s failed on run %d\n", kind.name, i);
                std::exit(1);
            }
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            cpuSum += cpuMs() - cpu0;
            wallSum += ms;
            wall.push_back(ms);
        }
        const double floor = FloorMs(kind.requests, kind.requestBytes, kind.replyBytes, kind.pause);
        const double median = Median(wall);
        std::printf("%-16s %4d %9.2f %9.2f %6.3f %9.2f %7.2f%%\n", kind.name, runs, median, floor, median / floor,
                    median - floor, 100.0 * cpuSum / wallSum);
        std::fflush(stdout);
    }
}

} // namespace lk58::bench

#pragma once

// The device link's exchanges measured against the 4800-baud line's floor,
// the same on every system; the caller gives the process's CPU clock. The
// request frames and reply lengths of each exchange are here too, so that
// a program of the platform's own calls can run the same traffic as a
// reference.

#include "link/devicelink.h"
#include "link/frame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace lk58::bench {

inline constexpr double kByteMs = 10.0 * 1000.0 / 4800.0; // one byte at 4800 baud: 2.083 ms
inline constexpr double kPauseMs = 25.0;                  // before each ping and write

// One exchange of the link, and the traffic it makes when the converter
// answers at once.
struct TExchange {
    const char* name;
    std::vector<Bytes> requests; // the frames sent, in order
    std::size_t replyBytes;      // the reply to each
    bool pause;                  // 25 ms before each request
    int ticks;                   // of the link's 10 ms tick, for each reply
    std::function<bool(TDeviceLink&)> run;
};

inline std::vector<TExchange> Exchanges()
{
    const Bytes label{'C', 'a', 'l', 'i', 'b', 'r', 'a', 't', 'e', 'd', ' ', 'b', 'y', ' ', 'X'};
    std::vector<Bytes> words;
    const std::vector<std::uint16_t> text = TextWords(label, 8);
    for (std::size_t k = 0; k < text.size(); ++k)
        words.push_back(WriteRequest16(39 + std::int32_t(k), text[k]));
    return {
        {"ping", {PingRequest()}, kShortReplySize, true, 15, [](TDeviceLink& l) { return l.Ping(); }},
        {"SendInt", {WriteRequest16(20, -50)}, kShortReplySize, true, 15,
         [](TDeviceLink& l) { return l.SendInt(20, -50); }},
        {"SendLong", {WriteRequest32(63, 1234)}, kShortReplySize, true, 50,
         [](TDeviceLink& l) { return l.SendLong(63, 1234); }},
        {"SendString x8", words, kShortReplySize, true, 15,
         [label](TDeviceLink& l) { return l.SendString(label, 39, 8); }},
        {"read-all", {ReadAllRequest()}, kReadAllReplySize, false, 150, [](TDeviceLink& l) { return l.ReadAll(); }},
    };
}

// The line's floor of `frames` exchanges: request and reply bytes, plus the
// pause where there is one.
inline double FloorMs(int frames, int requestBytes, int replyBytes, bool pause)
{
    return frames * ((requestBytes + replyBytes) * kByteMs + (pause ? kPauseMs : 0));
}

inline double FloorMs(const TExchange& e)
{
    double ms = 0;
    for (const Bytes& request : e.requests)
        ms += FloorMs(1, int(request.size()), int(e.replyBytes), e.pause);
    return ms;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The median wall time of an exchange (ms) and the CPU share of its runs.
struct TTiming {
    double medianMs;
    double cpuShare;
};

// Wall and CPU times of runs, which may be gathered in several rounds.
class TSamples {
public:
    // Runs `once` `runs` times; `cpuMs` gives this process's CPU time so
    // far, in ms; `before`, when given, runs untimed ahead of each run. A
    // run that fails ends the program.
    void Run(const char* name, int runs, double (*cpuMs)(), const std::function<bool()>& once,
             const std::function<void()>& before = {})
    {
        for (int i = 0; i < runs; ++i) {
            if (before)
                before();
            const double cpu0 = cpuMs();
            const auto t0 = std::chrono::steady_clock::now();
            if (!once()) {
                std::fprintf(stderr, "%s failed on run %zu\n", name, wall_.size());
                std::exit(1);
            }
            const auto t1 = std::chrono::steady_clock::now();
            cpuSum_ += cpuMs() - cpu0;
            wall_.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            wallSum_ += wall_.back();
        }
    }
    int Count() const { return int(wall_.size()); }
    TTiming Timing() const { return {Median(wall_), wallSum_ > 0 ? cpuSum_ / wallSum_ : 0}; }

private:
    std::vector<double> wall_;
    double wallSum_ = 0, cpuSum_ = 0;
};

inline void PrintHeader(const std::string& title)
{
    std::printf("%s\n%-16s %4s %9s %9s %6s %9s %8s\n", title.c_str(), "exchange", "runs", "median ms", "floor ms",
                "ratio", "over ms", "CPU");
}

inline void PrintRow(const TExchange& e, const TSamples& samples)
{
    const double floor = FloorMs(e);
    const TTiming t = samples.Timing();
    std::printf("%-16s %4d %9.2f %9.2f %6.3f %9.2f %7.2f%%\n", e.name, samples.Count(), t.medianMs, floor,
                t.medianMs / floor, t.medianMs - floor, 100.0 * t.cpuShare);
    std::fflush(stdout);
}

// Runs each exchange of the link `runs` times and prints a row each: the
// median wall time, the floor, their ratio, and the CPU share.
inline void MeasureExchanges(TDeviceLink& link, int runs, double (*cpuMs)())
{
    PrintHeader("LK58's device link");
    for (const TExchange& e : Exchanges()) {
        TSamples samples;
        samples.Run(e.name, runs, cpuMs, [&] { return e.run(link); });
        PrintRow(e, samples);
    }
}

} // namespace lk58::bench

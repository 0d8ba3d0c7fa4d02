// How closely the simulated converter keeps to the 4800-baud line, and what
// its thread costs: the time from a request to the last byte of its reply
// against the line's floor, and the CPU time of the simulator's thread while
// it paces replies and while it sits idle.
//
// Usage: bench_sim [runs]   (20 by default)
#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace lk58;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 4800.0;

double Ms(const timeval& t)
{
    return t.tv_sec * 1000.0 + t.tv_usec / 1000.0;
}

// CPU time of every thread but this one: the simulator's.
double SimulatorCpuMs()
{
    rusage all{};
    rusage self{};
    getrusage(RUSAGE_SELF, &all);
    getrusage(RUSAGE_THREAD, &self);
    return Ms(all.ru_utime) + Ms(all.ru_stime) - Ms(self.ru_utime) - Ms(self.ru_stime);
}

// Sends the request and returns the ms until the last reply byte came.
double Exchange(int fd, const Bytes& request, std::size_t replySize)
{
    const auto start = Clock::now();
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        std::exit(1);
    std::size_t got = 0;
    while (got < replySize) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            std::exit(1);
        std::uint8_t buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got += static_cast<std::size_t>(n);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Report(const char* name, std::vector<double> ms, std::size_t replySize, double cpuMs)
{
    std::sort(ms.begin(), ms.end());
    const double floor = static_cast<double>(replySize) * kByteMs;
    std::printf("%-9s floor %7.2f ms  median %7.2f  max %7.2f  simulator CPU %.2f ms per reply\n", name,
                floor, ms[ms.size() / 2], ms.back(), cpuMs / static_cast<double>(ms.size()));
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim(pty.master.Get());
    sim.Start();
    const int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);

    struct Kind {
        const char* name;
        Bytes request;
        std::size_t replySize;
    } kinds[] = {{"ping", PingRequest(), kShortReplySize},
                 {"write", WriteRequest16(20, 5), kShortReplySize},
                 {"read-all", ReadAllRequest(), kReadAllReplySize}};
    for (const Kind& k : kinds) {
        std::vector<double> ms;
        const double cpu = SimulatorCpuMs();
        for (int i = 0; i < runs; ++i)
            ms.push_back(Exchange(fd, k.request, k.replySize));
        Report(k.name, ms, k.replySize, SimulatorCpuMs() - cpu);
    }
    const double idleCpu = SimulatorCpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("idle      simulator CPU %.2f ms in 2 s\n", SimulatorCpuMs() - idleCpu);
    close(fd);
    return 0;
}

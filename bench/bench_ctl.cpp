// tq36ctl write of one settings file to 1 and to 8 simulated converters,
// each a tq36-sim process pacing at 4800 baud on its own pseudo-terminal:
// wall time of the 8-port run over the 1-port run, and the CPU time the
// program (parent and workers) spent. Usage: bench_ctl [ROUNDS]

#include "config/restore.h"
#include "config/settingsfile.h"
#include "settings/parammap.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lk58;

namespace {

struct TSim {
    pid_t pid = -1;
    std::string path;
};

// Starts tq36-sim and reads the pseudo-terminal it prints.
TSim StartSim()
{
    int fds[2];
    if (::pipe(fds) < 0)
        std::exit(1);
    TSim s;
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(TQ36_SIM, TQ36_SIM, static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(fds[1]);
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        s.path += c;
    ::close(fds[0]);
    return s;
}

void StopSim(const TSim& s)
{
    ::kill(s.pid, SIGTERM);
    ::waitpid(s.pid, nullptr, 0);
}

struct TRun {
    double wallMs = 0;
    double cpuMs = 0; // the program and its workers
    int status = -1;
};

TRun RunCtl(const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(TQ36CTL)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(TQ36CTL, argv.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage); // the child's usage includes the workers it reaped
    TRun r;
    r.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    r.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

SettingsBlock FactoryBlock()
{
    const Tq36Block b = DefaultBlock();
    return SettingsBlock{std::span<const std::uint8_t, kSettingsBlockSize>(b)};
}

// A file that changes most settings of the factory block.
QByteArray CloneFile()
{
    SettingsBlock block = FactoryBlock();
    StoreText(block, kName, Bytes{'C', 'l', 'o', 'n', 'e', ' ', '7'});
    StoreText(block, kPerson, Bytes{'E', 'v', 'a', ' ', 'D', 'v', 'o', 'r', 'a', 'k', 'o', 'v', 'a'});
    StoreText(block, kDate, Bytes{'0', '1', '0', '2', '2', '7'});
    StoreValue(block, kInputType, 1);
    StoreValue(block, kOutputType, 2);
    StoreValue(block, kInputError, 2);
    StoreValue(block, kWiring, 2);
    StoreValue(block, kColdComp, 0);
    StoreValue(block, kOutputLimit, 1);
    StoreValue(block, kRangeBegin, -50);
    StoreValue(block, kRangeEnd, 450);
    StoreValue(block, kSetTemp, 305);
    StoreValue(block, kResComp, 4321);
    return config::WriteSettingsFile(config::FileFromBlock(block, QDateTime::currentDateTime(), "bench"));
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    ::setenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit().constData(), 1);
    const std::string file = (dir.path() + "/clone.json").toStdString();
    {
        QFile f(QString::fromStdString(file));
        if (!f.open(QIODevice::WriteOnly) || f.write(CloneFile()) < 0)
            return 1;
    }
    // The line's floor of one converter's write: the read, the writes
    // (each a 25 ms pause, 7 bytes out and 7 back) and the read-back.
    const config::Settings settings = config::ReadSettingsFile(CloneFile()).file->settings;
    const config::WritePlan plan = config::MakePlan(config::Diff(settings, FactoryBlock()), FactoryBlock());
    constexpr double kByteMs = 10.0 * 1000.0 / 4800.0;
    const double floorMs = 2 * (3 + 131) * kByteMs + plan.Frames() * (25.0 + 14 * kByteMs);
    std::vector<double> wall1, wall8, cpu1, cpu8;
    for (int round = 0; round < rounds; ++round) {
        // Fresh converters each round, so that every run writes the same.
        std::vector<TSim> sims;
        for (int i = 0; i < 9; ++i)
            sims.push_back(StartSim());
        std::vector<std::string> eight{"write", file};
        for (int i = 1; i < 9; ++i)
            eight.push_back(sims[i].path);
        TRun one, many;
        if (round % 2 == 0) {
            one = RunCtl({"write", file, sims[0].path});
            many = RunCtl(eight);
        } else {
            many = RunCtl(eight);
            one = RunCtl({"write", file, sims[0].path});
        }
        for (const TSim& s : sims)
            StopSim(s);
        if (one.status != 0 || many.status != 0) {
            std::fprintf(stderr, "bench_ctl: a write failed (exit %d / %d)\n", one.status, many.status);
            return 1;
        }
        std::printf("round %d: 1 port %.0f ms (CPU %.0f ms), 8 ports %.0f ms (CPU %.0f ms)\n", round + 1,
                    one.wallMs, one.cpuMs, many.wallMs, many.cpuMs);
        wall1.push_back(one.wallMs);
        wall8.push_back(many.wallMs);
        cpu1.push_back(one.cpuMs);
        cpu8.push_back(many.cpuMs);
    }
    const double w1 = Median(wall1), w8 = Median(wall8);
    std::printf("write of %zu settings (%d frames), median of %d rounds; the line's floor %.0f ms:\n",
                plan.writes.size(), plan.Frames(), rounds, floorMs);
    std::printf("  1 port : %7.0f ms wall (floor x %.3f), %5.0f ms CPU\n", w1, w1 / floorMs, Median(cpu1));
    std::printf("  8 ports: %7.0f ms wall, %5.0f ms CPU (%.0f ms a port)\n", w8, Median(cpu8), Median(cpu8) / 8);
    std::printf("  wall time 8:1 = %.3f (target <= 1.05)\n", w8 / w1);
    return 0;
}

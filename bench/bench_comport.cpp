// Serial port benchmark over a pseudo-terminal: the latency from bytes
// written by the device to OnRxChar running on the user-interface thread,
// and the CPU the process uses while the port is open and idle, with and
// without unread bytes in its input queue. The floor: one byte at 4800 baud
// takes 2.083 ms on the line, and an idle port should cost no CPU at all.

#include "serial/comport.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace lk58;
using Clock = std::chrono::steady_clock;

namespace {

struct TPty {
    int master = -1;
    std::string slave;
    TPty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
            std::perror("pty");
            std::exit(1);
        }
        slave = name;
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    ~TPty() { ::close(master); }
    void Write(const std::vector<std::uint8_t>& bytes) const
    {
        if (::write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::perror("pty write");
    }
};

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ms milliseconds.
void RunLoop(int ms)
{
    QTimer::singleShot(ms, Qt::PreciseTimer, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

void OpenLikeTheProgram(TComPort& port, const TPty& pty)
{
    port.SetDeviceName(pty.slave);
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
    port.SetOnLineError([](TComPort&, TLineErrors) {});
    port.SetActive(true);
}

// The device writes a 7-byte reply; OnRxChar stamps its arrival on the
// user-interface thread; the device waits for that before the next burst.
void MeasureLatency(int bursts)
{
    TPty pty;
    TComPort port;
    std::mutex lock;
    std::condition_variable arrived;
    Clock::time_point written;
    std::vector<double> latencies;
    std::size_t pending = 0;
    port.SetOnRxChar([&](TComPort& p) {
        const Clock::time_point now = Clock::now();
        Bytes bytes;
        p.ReadAvailable(bytes);
        std::lock_guard guard(lock);
        pending -= std::min(pending, bytes.size());
        if (pending == 0) {
            latencies.push_back(std::chrono::duration<double, std::milli>(now - written).count());
            arrived.notify_one();
        }
    });
    OpenLikeTheProgram(port, pty);
    std::thread device([&] {
        for (int i = 0; i < bursts; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 37) % 500));
            std::unique_lock guard(lock);
            pending = 7;
            written = Clock::now();
            pty.Write({0x05, 0x00, 0x2A, 0x00, 0x01, 0xC1, 0x5E});
            arrived.wait(guard, [&] { return pending == 0; });
        }
        QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    device.join();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, std::size_t(q * latencies.size()))]; };
    std::printf("latency, device write -> OnRxChar on the UI thread, %zu bursts of 7 bytes:\n", latencies.size());
    std::printf("  median %.3f ms, 99th percentile %.3f ms, max %.3f ms (floor: one byte time 2.083 ms)\n",
                at(0.5), at(0.99), latencies.back());
}

void MeasureIdle(int ms, std::size_t unread)
{
    TPty pty;
    TComPort port;
    int calls = 0;
    port.SetOnRxChar([&](TComPort&) { ++calls; }); // leaves the bytes unread, as the link does while idle
    OpenLikeTheProgram(port, pty);
    if (unread > 0) {
        pty.Write(std::vector<std::uint8_t>(unread, 0x55));
        RunLoop(100); // the arrival's one cycle
    }
    const int calls0 = calls;
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    RunLoop(ms);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("idle %.1f s with %zu unread bytes (input queue %u): CPU %.4f s (%.3f %%), OnRxChar calls meanwhile %d\n",
                wall, unread, port.InputCount(), cpu, 100.0 * cpu / wall, calls - calls0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int idleMs = argc > 1 ? std::atoi(argv[1]) : 10000;
    MeasureLatency(1000);
    MeasureIdle(idleMs, 0);
    MeasureIdle(idleMs, 1000);
    return 0;
}

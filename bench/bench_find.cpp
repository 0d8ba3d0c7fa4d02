// The search for the converter over many ports at once: 8 simulated
// converters on pseudo-terminals, pacing at 4800 baud, of which only the
// last in the list answers. Prints the time until the answer, the time
// until every probe has closed its port, and both against one silent
// port's ping (the whole ping budget: 10 attempts of 25 ms + 150 ms) and
// against the line's floor of one ping exchange.
#include "benchcommon.h"

#include "link/portprobe.h"
#include "serial/comport.h"

#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

using namespace lk58;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPorts = 8;
constexpr int kRuns = 5;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct TConverter {
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim{pty.master.Get()};
    explicit TConverter(bool answers)
    {
        sim.SetPacing(true);
        if (!answers)
            sim.SetFault(Fault::Silent);
        sim.Start();
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TComPort line;
    line.SetBaudRate(br4800);
    line.SetDataBits(db8);
    line.SetParity(paNone);
    line.SetStopBits(sb1);
    line.FlowControl().SetDTR(dcDisable);
    line.FlowControl().SetRTS(rcEnable);
    const TLineSetup setup = [&line](TDcb& dcb) { line.FillDeviceControlBlock(dcb); };

    std::vector<std::unique_ptr<TConverter>> converters;
    std::vector<std::string> ports;
    for (int i = 0; i < kPorts; ++i) {
        converters.push_back(std::make_unique<TConverter>(i == kPorts - 1));
        ports.push_back(converters.back()->pty.slavePath);
    }

    const std::atomic<bool> never{false};
    const Clock::time_point silentStart = Clock::now();
    const TProbeOutcome silent = ProbePort(ports[0], setup, never).outcome;
    const double silentMs = Ms(Clock::now() - silentStart);
    if (silent != TProbeOutcome::Silent) {
        std::fprintf(stderr, "the silent port did not stay silent\n");
        return 1;
    }

    std::vector<double> answerMs, allMs, cpuMs;
    for (int run = 0; run < kRuns; ++run) {
        std::mutex m;
        std::condition_variable cv;
        int answered = -1;
        Clock::time_point answerAt;
        const double cpu0 = bench::CpuMs();
        const Clock::time_point start = Clock::now();
        {
            TPortSearch search(ports, setup, [&](std::size_t i, TProbeResult result) {
                std::lock_guard lock(m);
                if (result.outcome == TProbeOutcome::Answered && answered < 0) {
                    answered = int(i);
                    answerAt = Clock::now();
                    cv.notify_all();
                }
            });
            std::unique_lock lock(m);
            if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return answered >= 0; })) {
                std::fprintf(stderr, "no converter answered\n");
                return 1;
            }
            lock.unlock();
            search.Cancel();
        }
        const Clock::time_point end = Clock::now();
        if (answered != kPorts - 1) {
            std::fprintf(stderr, "the answer came from port %d\n", answered);
            return 1;
        }
        answerMs.push_back(Ms(answerAt - start));
        allMs.push_back(Ms(end - start));
        cpuMs.push_back(bench::CpuMs() - cpu0);
    }

    const double floorMs = bench::FloorMs(1, 3, 7, true);
    const double answer = bench::Median(answerMs);
    const double all = bench::Median(allMs);
    std::printf("one silent port's ping:        %7.1f ms (line floor of one ping %.1f ms)\n", silentMs, floorMs);
    std::printf("%d ports, the last one answers (median of %d):\n", kPorts, kRuns);
    std::printf("  answer found after           %7.1f ms  = %.3f x silent ping, %.2f x floor\n", answer,
                answer / silentMs, answer / floorMs);
    std::printf("  every probe ended after      %7.1f ms  = %.3f x silent ping\n", all, all / silentMs);
    std::printf("  CPU time of the search       %7.1f ms\n", bench::Median(cpuMs));
    return 0;
}

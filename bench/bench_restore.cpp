// Writing a settings file to the simulated converter, which keeps the pace
// of a 4800-baud line both ways, against the line's floor: the first
// read-all, each write (its 25 ms pause, request and acknowledgement) and
// the check's read-all. The backup and everything else the run does is
// what lies above the floor. "link ms" is the same read-alls and writes
// made through the device link alone, run for run beside each restore, so
// that the last ratio is what the library adds to the link at that moment.
//
// The converter runs in a child process, so that getrusage(RUSAGE_SELF)
// counts exactly this program.
//
// Usage: bench_restore [runs]   (10 by default)
#include "config/restore.h"
#include "serial/comport.h"
#include "sim/simulator.h"

#include "benchcommon.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <signal.h>
#include <sys/wait.h>

using namespace lk58;
using namespace lk58::bench;
using namespace lk58::config;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kReadAllBytes = 3 + 131;
constexpr int kWriteBytes = 7 + 7;

// Two files that differ in exactly `count` settings, taken in the file's
// order from the identity on (so 15 includes type and serial).
std::pair<Settings, Settings> Pair(int count)
{
    const Tq36Block raw = DefaultBlock();
    const SettingsBlock factory{std::span<const std::uint8_t, kSettingsBlockSize>(raw)};
    Settings a = FromBlock(factory), b = a;
    const std::vector<std::pair<Key, Value>> changes = {
        {Key::Type, Bytes{'T', 'Q', '3', '6', 'B'}},
        {Key::Serial, Bytes{'3', '6', '0', '9', '9', '9', '9', '9'}},
        {Key::Label, Bytes{'P', 'u', 'm', 'p', ' ', '7', ' ', 'e', 'a', 's'}},
        {Key::CalibrationDate, std::chrono::year_month_day{std::chrono::year{2020}, std::chrono::May, std::chrono::day{5}}},
        {Key::CalibratedBy, Bytes{'E', 'v', 'a', ' ', 'S', 'v', 'o', 'b', 'o', 'd', 'o', 'v', 0xE1, '-', 'K'}},
        {Key::Input, std::int32_t{1}},
        {Key::ColdEndCompensation, std::int32_t{0}},
        {Key::SetTemperature, std::int32_t{-15}},
        {Key::WiringResistance, std::int32_t{9999}},
        {Key::Output, std::int32_t{1}},
        {Key::RangeBegin, std::int32_t{500}},
        {Key::RangeEnd, std::int32_t{900}},
        {Key::OutputLimit, std::int32_t{1}},
        {Key::InputError, std::int32_t{2}},
        {Key::Wiring, std::int32_t{2}},
    };
    // Few settings: the ones a template most often holds.
    const std::vector<Key> order = count == 0   ? std::vector<Key>{}
                                   : count == 1 ? std::vector<Key>{Key::Output}
                                   : count == 5 ? std::vector<Key>{Key::Label, Key::SetTemperature, Key::Output,
                                                                   Key::RangeBegin, Key::RangeEnd}
                                                : std::vector<Key>(kKeys.begin(), kKeys.end());
    for (Key key : order)
        for (const auto& [k, v] : changes)
            if (k == key)
                b[key] = v;
    return {a, b};
}

// Where one run's time goes: from the start to the first write (read-all,
// plan, backup), each write, and from the last write to the end (the
// check's read-all), each against its floor.
void Breakdown(TDeviceLink& link, const Settings& file, RestoreOptions options)
{
    std::vector<std::pair<Key, Clock::time_point>> marks;
    options.onProgress = [&](Key key, int, int) { marks.emplace_back(key, Clock::now()); };
    const auto t0 = Clock::now();
    const RestoreOutcome o = Restore(link, file, options);
    const auto t1 = Clock::now();
    auto ms = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
    std::printf("  %-22s %9.1f %9.1f\n", "read, plan, backup", ms(t0, marks.front().second), kReadAllBytes * kByteMs);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const int frames = o.settings[i].key == marks[i].first ? KeySetting(marks[i].first).write == WriteKind::Text
                ? KeySetting(marks[i].first).words : 1 : 0;
        const auto end = i + 1 < marks.size() ? marks[i + 1].second : t1;
        std::printf("  %-22s %9.1f %9.1f\n", KeyName(marks[i].first).data(), ms(marks[i].second, end),
                    FloorMs(frames, kWriteBytes, 0, true) + (i + 1 < marks.size() ? 0.0 : kReadAllBytes * kByteMs));
    }
}

// The same exchanges through the device link alone: read-all, the plan's
// writes, read-all; no backup, no report. What Restore adds lies above it.
double LinkOnly(TDeviceLink& link, const Settings& file)
{
    const auto t0 = Clock::now();
    const std::optional<SettingsBlock> before = ReadBlock(link);
    bool ok = before.has_value();
    const std::vector<PlannedWrite> writes = ok ? MakePlan(Diff(file, *before), *before, {true}).writes
                                                : std::vector<PlannedWrite>{};
    for (const PlannedWrite& w : writes)
        ok = ok
            && (w.kind == WriteKind::Text   ? link.SendString(w.text, std::uint8_t(w.number), w.words)
                : w.kind == WriteKind::Long32 ? link.SendLong(w.number, w.value)
                                              : link.SendInt(w.number, w.value));
    if (!ok || (!writes.empty() && !ReadBlock(link))) {
        std::fprintf(stderr, "link-only run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct TResult {
    double medianMs = 0, linkOnlyMs = 0, floorMs = 0, cpuPercent = 0;
    int frames = 0;
};

TResult Measure(TDeviceLink& link, int count, int runs, const QString& backups)
{
    const auto [a, b] = Pair(count);
    RestoreOptions options;
    options.includeIdentity = true;
    options.backupDir = backups;
    // Start from `a`, then each run writes the other file.
    if (Restore(link, a, options).status == RunStatus::NotRead)
        std::exit(1);
    std::vector<double> wall, linkOnly;
    double wallSum = 0, cpuSum = 0;
    TResult r;
    // Restore writes `b`, then the link alone writes `a` back, run by run,
    // so both see the same load.
    for (int i = 0; i < runs; ++i) {
        const Settings& file = b;
        const double cpu0 = CpuMs();
        const auto t0 = Clock::now();
        const RestoreOutcome o = Restore(link, file, options);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const RunStatus expected = count == 0 ? RunStatus::Unchanged : RunStatus::Done;
        if (o.status != expected || int(o.settings.size()) != count) {
            std::fprintf(stderr, "restore of %d settings: status %d, %zu written (%s)\n", count, int(o.status),
                         o.settings.size(), o.error.c_str());
            std::exit(1);
        }
        cpuSum += CpuMs() - cpu0;
        wallSum += ms;
        wall.push_back(ms);
        r.frames = o.framesPlanned;
        linkOnly.push_back(LinkOnly(link, a));
    }
    r.medianMs = Median(wall);
    r.linkOnlyMs = Median(linkOnly);
    // Read-all before; with writes, the writes and the check's read-all.
    r.floorMs = kReadAllBytes * kByteMs
        + (count == 0 ? 0.0 : FloorMs(r.frames, kWriteBytes, 0, true) + kReadAllBytes * kByteMs);
    r.cpuPercent = 100.0 * cpuSum / wallSum;
    if (std::getenv("BENCH_BREAKDOWN") && count > 0)
        Breakdown(link, b, options);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    PtyPair pty = OpenPtyPair();
    const pid_t converter = StartConverter(pty.master.Get()); // before any thread exists
    pty.master.Reset();

    QCoreApplication app(argc, argv);
    QTemporaryDir backups;
    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(pty.slavePath);
    port.SetBaudRate(br4800);
    port.SetActive(true);

    std::printf("%-8s %4s %6s %9s %9s %6s %8s %6s %9s %6s\n", "settings", "runs", "frames", "median ms", "floor ms",
                "ratio", "over ms", "CPU", "link ms", "ratio");
    for (int count : {0, 1, 5, 15}) {
        const TResult r = Measure(link, count, runs, backups.path());
        std::printf("%-8d %4d %6d %9.1f %9.1f %6.3f %8.1f %5.2f%% %9.1f %6.3f\n", count, runs, r.frames, r.medianMs,
                    r.floorMs, r.medianMs / r.floorMs, r.medianMs - r.floorMs, r.cpuPercent, r.linkOnlyMs,
                    r.medianMs / r.linkOnlyMs);
    }

    port.SetActive(false);
    kill(converter, SIGKILL);
    waitpid(converter, nullptr, 0);
    return 0;
}

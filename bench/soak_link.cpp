// Soak of the device link under the simulated converter's random faults:
// thousands of exchanges (pings, 16-bit, 32-bit and text writes, read-alls)
// through TDeviceLink, each result checked against the converter's own log
// of requests and the faults that hit them. Besides damaged, split, delayed
// and unanswered replies, the converter sends replies cut short, late (held
// back until the next request, then sent in front of its reply) and twice
// (once more in front of the next reply), so that stray replies of one
// exchange land in the next one's wait.
//   - no false success: a write reported done was acknowledged (a sound
//     reply to it, or to the same request just before, went out in time)
//     and applied (the converter's block holds it); a read-all reply read
//     is the converter's block;
//   - no failure without a fault of its own: every attempt of a failed
//     exchange was hit by a fault that can spoil an attempt; a stray reply
//     of the exchange before is no excuse;
//   - a retried exchange (ping, 16-bit write, a text) whose faults hit a
//     single attempt, and any one hit by fewer faults than it has attempts,
//     succeeds;
//   - no exchange outlives its tick budget: the ticks dispatched while it
//     ran stay within attempts x ticks per attempt (its wall time against
//     attempts x (pause + ticks x 10 ms) is reported, not judged: a loaded
//     machine delivers the 10 ms ticks late);
//   - memory does not grow (resident set sampled every 500 exchanges,
//     judged after the first 1000 warm up).
//
// Usage: soak_link [EXCHANGES [PERCENT [SEED]]]
//   10000 exchanges, each fault 2 % of the requests, seed 1 by default.
// Exit status 0 when every check held, 1 otherwise.
#include "link/devicelink.h"
#include "link/frame.h"
#include "serial/comport.h"
#include "sim/simulator.h"
#include "soakconverter.h"

#include <QCoreApplication>
#include <QTimer>

#include <array>
#include <optional>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

using namespace lk58;
using Clock = std::chrono::steady_clock;

namespace {

enum Kind { kPing, kInt, kLong, kText, kReadAll, kKinds };

struct TKindInfo {
    const char* Name;
    int Attempts;
    int PauseMs;
    int Ticks;
    int Share; // per cent of the exchanges
};

constexpr std::array<TKindInfo, kKinds> kInfo{{
    {"ping", 10, 25, 15, 25},
    {"SendInt", 10, 25, 15, 30},
    {"SendLong", 1, 25, 50, 10},
    {"SendString", 10, 25, 15, 15},
    {"read-all", 1, 0, 150, 20},
}};

constexpr std::array<const char*, 9> kFaultNames{"silent", "corrupt checksum", "wrong first byte", "split",
                                                 "extra bytes", "delay", "cut", "late", "surplus"};
constexpr std::size_t kFaultKinds = kFaultNames.size();

constexpr unsigned kUnsound = FaultBit(Fault::Silent) | FaultBit(Fault::CorruptChecksum)
    | FaultBit(Fault::WrongFirstByte) | FaultBit(Fault::Cut);

// Faults that can spoil one attempt: no reply, a rejected or incomplete
// one, or one too late for its wait.
unsigned Spoiling(Kind kind)
{
    unsigned bits = kUnsound | FaultBit(Fault::Late);
    if (kInfo[kind].Ticks * 10 < 200)
        bits |= FaultBit(Fault::Delay);
    return bits;
}

// Faults that can put an exchange's last reply into the next exchange's
// wait: held back, sent twice, or delayed past the end of the exchange (a
// delayed reply that stood in for it was the one before it).
constexpr unsigned kStray = FaultBit(Fault::Late) | FaultBit(Fault::Surplus) | FaultBit(Fault::Delay);

struct TTally {
    int Runs = 0;
    int Ok = 0;
    int Failed = 0;
    int FailedByFault = 0;      // every attempt spoiled by a fault
    int FailedNoFault = 0;      // failed with no fault of its own
    int FalseOk = 0;            // reported done, but not done
    int Faulted = 0;            // exchanges with at least one fault
    int FaultedOk = 0;
    int Single = 0;             // faults hit a single attempt
    int SingleOk = 0;
    int AfterStray = 0;         // a stray reply of the exchange before came in its wait
    int AfterStrayOk = 0;
    long Requests = 0;
    double MaxRatio = 0;        // wall time over the nominal worst case
    int MaxTicks = 0;           // ticks of the longest exchange
};

class TSoak {
public:
    TSoak(Tq36Simulator& sim, TDeviceLink& link, std::uint32_t seed) : sim_(sim), link_(link), rng_(seed)
    {
        link_.SetTrace([this](TTraffic what, std::span<const std::uint8_t>) {
            if (what == TTraffic::Request)
                ++sent_;
        });
        QObject::connect(&link_.TmrTimeOut, &QTimer::timeout, [this] { ++ticks_; });
    }

    bool Run(int exchanges);

private:
    Kind Pick();
    bool Exchange(Kind kind, std::vector<std::pair<int, std::uint16_t>>& written);
    void Violation(int i, Kind kind, const std::string& what);
    bool Check(int i, Kind kind, bool ok, double ms, const std::vector<RequestRecord>& log,
               const std::vector<std::pair<int, std::uint16_t>>& written);

    Tq36Simulator& sim_;
    TDeviceLink& link_;
    std::mt19937 rng_;
    std::size_t sent_ = 0;
    int ticks_ = 0;
    std::array<TTally, kKinds> tally_{};
    std::array<std::array<int, kKinds>, kFaultKinds> faults_{};
    // The last request of the exchange before, when its reply was held
    // back, sent twice or delayed: that reply may come in front of this
    // exchange's.
    std::optional<RequestRecord> stray_;
    int violations_ = 0;
    std::vector<long> rss_;
};

Kind TSoak::Pick()
{
    int roll = std::uniform_int_distribution<int>(0, 99)(rng_);
    for (int k = 0; k < kKinds; ++k) {
        roll -= kInfo[k].Share;
        if (roll < 0)
            return Kind(k);
    }
    return kPing;
}

// Runs one exchange; `written` gets the words a successful write must have
// left in the block.
bool TSoak::Exchange(Kind kind, std::vector<std::pair<int, std::uint16_t>>& written)
{
    auto any = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng_); };
    switch (kind) {
    case kPing:
        return link_.Ping();
    case kInt: {
        const int number = int(any(1, 62));
        const auto value = std::uint16_t(any(0, 0xFFFF));
        written = {{number, value}};
        return link_.SendInt(number, std::int16_t(value));
    }
    case kLong: {
        const std::uint32_t value = any(0, 0xFFFFFFFFu);
        written = {{63, std::uint16_t(value >> 16)}, {64, std::uint16_t(value)}};
        return link_.SendLong(63, std::int32_t(value));
    }
    case kText: {
        static constexpr std::array<std::pair<int, int>, 5> texts{{{22, 4}, {26, 4}, {30, 5}, {35, 4}, {39, 8}}};
        const auto [first, count] = texts[any(0, texts.size() - 1)];
        Bytes text(any(0, 2 * unsigned(count)));
        for (std::uint8_t& c : text)
            c = std::uint8_t(any(0x20, 0xFF));
        const std::vector<std::uint16_t> words = TextWords(text, std::size_t(count));
        for (int k = 0; k < count; ++k)
            written.push_back({first + k, words[std::size_t(k)]});
        return link_.SendString(text, std::uint8_t(first), std::uint8_t(count));
    }
    case kReadAll:
        return link_.ReadAll();
    case kKinds:
        break;
    }
    return false;
}

void TSoak::Violation(int i, Kind kind, const std::string& what)
{
    ++violations_;
    if (violations_ <= 20)
        std::printf("exchange %d (%s): %s\n", i, kInfo[kind].Name, what.c_str());
}

bool TSoak::Check(int i, Kind kind, bool ok, double ms, const std::vector<RequestRecord>& log,
                  const std::vector<std::pair<int, std::uint16_t>>& written)
{
    TTally& t = tally_[kind];
    ++t.Runs;
    t.Requests += long(log.size());
    unsigned all = 0;
    int hitAttempts = 0;
    for (const RequestRecord& r : log) {
        all |= r.faults;
        hitAttempts += r.faults != 0;
        for (std::size_t f = 0; f < kFaultKinds; ++f)
            if (r.faults & (1u << f))
                ++faults_[f][kind];
    }
    t.Faulted += all != 0;
    const bool single = hitAttempts == 1 && kInfo[kind].Attempts > 1;
    t.Single += single;
    t.SingleOk += single && ok;
    t.AfterStray += stray_.has_value();
    t.AfterStrayOk += stray_.has_value() && ok;

    const TKindInfo& info = kInfo[kind];
    const int words = kind == kText ? std::max<int>(1, int(written.size())) : 1;
    const int tickBudget = words * info.Attempts * info.Ticks;
    t.MaxTicks = std::max(t.MaxTicks, ticks_);
    if (ticks_ > tickBudget)
        Violation(i, kind, std::to_string(ticks_) + " ticks, budget " + std::to_string(tickBudget));
    t.MaxRatio = std::max(t.MaxRatio, ms / (words * info.Attempts * double(info.PauseMs + info.Ticks * 10)));

    // Attempts by request: a text sends each word until it is acknowledged.
    std::vector<std::vector<const RequestRecord*>> byRequest;
    for (const RequestRecord& r : log) {
        if (byRequest.empty() || byRequest.back().front()->bytes != r.bytes)
            byRequest.emplace_back();
        byRequest.back().push_back(&r);
    }
    if (ok) {
        ++t.Ok;
        t.FaultedOk += all != 0;
        const int before = violations_;
        for (std::size_t g = 0; g < byRequest.size(); ++g) {
            const auto& attempts = byRequest[g];
            // The same request's reply held back or repeated by the exchange
            // before stands for this one's: the converter took it then.
            bool acked = g == 0 && stray_ && stray_->bytes == attempts.front()->bytes;
            for (const RequestRecord* r : attempts) {
                // A reply held back after the last attempt came too late.
                const bool tooLate = r == attempts.back() && (r->faults & FaultBit(Fault::Late));
                acked |= r->outcome == RequestOutcome::Answered && !(r->faults & kUnsound) && !tooLate;
            }
            if (!acked) {
                std::string faults;
                for (const RequestRecord* r : attempts)
                    faults += " " + std::to_string(r->faults);
                Violation(i, kind, "reported done, but no sound reply went out (faults" + faults + ")");
            }
        }
        for (const auto& [number, word] : written)
            if (sim_.Word(number) != word)
                Violation(i, kind, "reported done, but word " + std::to_string(number) + " not applied");
        if (kind == kReadAll && !std::ranges::equal(link_.Reply(), ReadAllReply(sim_.Block())))
            Violation(i, kind, "the reply read is not the converter's block");
        if (byRequest.empty() && kind != kText)
            Violation(i, kind, "reported done without a request");
        t.FalseOk += violations_ > before;
        return true;
    }
    ++t.Failed;
    // The last request sent is the one that failed.
    const auto& last = byRequest.empty() ? std::vector<const RequestRecord*>{} : byRequest.back();
    bool spoiled = int(last.size()) == info.Attempts;
    for (const RequestRecord* r : last)
        spoiled = spoiled && (r->faults & Spoiling(kind));
    if (spoiled) {
        ++t.FailedByFault;
    } else {
        ++t.FailedNoFault;
        Violation(i, kind, "failed with " + std::to_string(last.size()) + " attempts and no fault of its own"
                               + (stray_ ? " (a stray reply of the exchange before came)" : ""));
    }
    return false;
}

bool TSoak::Run(int exchanges)
{
    const auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        const Kind kind = Pick();
        sim_.ClearLog();
        sent_ = 0;
        ticks_ = 0;
        std::vector<std::pair<int, std::uint16_t>> written;
        const auto t0 = Clock::now();
        const bool ok = Exchange(kind, written);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        // A request waits in the converter's input while it sends a late reply.
        if (!sim_.WaitForRequests(sent_, std::chrono::seconds(5)))
            Violation(i, kind, "the converter did not log every request sent");
        const std::vector<RequestRecord> log = sim_.Requests();
        Check(i, kind, ok, ms, log, written);
        stray_.reset();
        if (!log.empty() && (log.back().faults & kStray) && log.back().outcome == RequestOutcome::Answered)
            stray_ = log.back();
        if (i % 500 == 0)
            rss_.push_back(ResidentKiB());
        if (i % 1000 == 999) {
            std::fprintf(stderr, "%d exchanges, %.0f s\n", i + 1,
                         std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf("\n%-11s %6s %6s %6s %8s %8s %8s %8s %9s %8s %8s %9s %8s\n", "exchange", "runs", "ok", "failed",
                "by fault", "no fault", "false ok", "faulted", "recovered", "after", "ok", "max ticks", "max t/w");
    std::printf("%-11s %6s %6s %6s %8s %8s %8s %8s %9s %8s %8s %9s %8s\n", "", "", "", "", "", "", "", "", "",
                "stray", "", "", "");
    TTally sum;
    for (int k = 0; k < kKinds; ++k) {
        const TTally& t = tally_[k];
        std::printf("%-11s %6d %6d %6d %8d %8d %8d %8d %9d %8d %8d %9d %8.3f\n", kInfo[k].Name, t.Runs, t.Ok,
                    t.Failed, t.FailedByFault, t.FailedNoFault, t.FalseOk, t.Faulted, t.FaultedOk, t.AfterStray,
                    t.AfterStrayOk, t.MaxTicks, t.MaxRatio);
        sum.FailedNoFault += t.FailedNoFault;
        sum.FalseOk += t.FalseOk;
        sum.Single += t.Single;
        sum.SingleOk += t.SingleOk;
    }
    std::printf("(no fault: failed with no fault of its own; after stray: the exchange before ended with a\n"
                " late, surplus or delayed reply; max t/w: longest wall time over attempts x (pause +\n"
                " ticks x 10 ms))\n");
    std::printf("\n%-17s", "faults on");
    for (int k = 0; k < kKinds; ++k)
        std::printf(" %10s", kInfo[k].Name);
    std::printf("\n");
    for (std::size_t f = 0; f < kFaultKinds; ++f) {
        std::printf("%-17s", kFaultNames[f]);
        for (int k = 0; k < kKinds; ++k)
            std::printf(" %10d", faults_[f][std::size_t(k)]);
        std::printf("\n");
    }

    int retried = 0, retriedOk = 0;
    for (Kind k : {kPing, kInt, kText}) {
        retried += tally_[k].Runs - tally_[k].FailedByFault;
        retriedOk += tally_[k].Ok;
    }
    // Sampled every 500 exchanges; the first 1000 warm up.
    const std::size_t warm = std::min<std::size_t>(2, rss_.size() - 1);
    const long rssFirst = rss_[warm];
    const long rssLast = ResidentKiB();
    std::printf("\n%d exchanges in %.0f s\n", exchanges, seconds);
    std::printf("failed with no fault of their own: %d\n", sum.FailedNoFault);
    std::printf("false successes: %d\n", sum.FalseOk);
    std::printf("retried exchanges with faults on a single attempt: %d of %d recovered\n", sum.SingleOk, sum.Single);
    std::printf("retried exchanges not spoiled in every attempt: %d of %d succeeded\n", retriedOk, retried);
    std::printf("resident set: %ld KiB after %zu exchanges, %ld KiB at the end (%+ld KiB)\n", rssFirst,
                warm * 500 + 1, rssLast, rssLast - rssFirst);
    // Judged only past the warm-up: a short run still fills caches (and a
    // sanitizer's shadow memory).
    if (warm == 2 && rssLast - rssFirst > 1024)
        Violation(exchanges, kPing, "memory grew by more than 1 MiB");
    if (retriedOk != retried || sum.SingleOk != sum.Single)
        Violation(exchanges, kPing, "a retried exchange was not recovered");
    std::printf("violations: %d\n", violations_);
    return violations_ == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const double percent = argc > 2 ? std::atof(argv[2]) : 2.0;
    const auto seed = argc > 3 ? std::uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1u;

    QCoreApplication app(argc, argv);
    TSoakConverter converter;
    Tq36Simulator& sim = converter.Sim();
    sim.SetPacing(false);
    sim.SetRandomFaults(seed, percent / 100.0);

    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(converter.PortName());
    port.SetBaudRate(br4800);
    port.SetActive(true);

    std::printf("soak: %d exchanges, each fault on %.1f %% of the requests, seed %u, no pacing\n", exchanges,
                percent, seed);
    TSoak soak(sim, link, seed);
    const bool passed = soak.Run(exchanges);
    port.SetActive(false);
    return passed ? 0 : 1;
}

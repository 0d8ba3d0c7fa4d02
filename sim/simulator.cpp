#include "sim/simulator.h"

#include "sim/line.h"
#include "sim/protocol.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <system_error>

namespace lk58 {

using namespace std::chrono_literals;
using sim::Clock;

namespace {
struct FaultSlot {
    int count = 0; // 0 off, kEveryReply for ever
    unsigned kinds = kOnAny;
};
// A line that hangs up is tried again this often.
constexpr auto kHangupRetry = 50ms;
} // namespace

struct Tq36Simulator::State {
    Tq36Block block = DefaultBlock();
    SimCounters counters;
    std::vector<RequestRecord> log;
    std::vector<WriteRecord> writes;
    std::array<FaultSlot, kFaultKinds> faults;
    bool pacing = true;
    std::chrono::milliseconds gap = 30ms;
    std::chrono::milliseconds delay = 200ms;
    std::size_t splitAt = 0;
    std::chrono::milliseconds splitPause = 30ms;
    Bytes extra{0x00};
    std::mt19937 random;
    double randomRate = 0;
    unsigned randomKinds = kOnAny;
    unsigned drawn = 0; // the random faults the current request meets
    // Touched by the simulator's thread only.
    sim::RequestFramer framer;
    Clock::time_point lastByte;
    Clock::time_point requestStart; // when the first byte of the current request came
};

struct Tq36Simulator::Reply {
    Bytes bytes; // empty: no reply
    std::string meaning;
    std::size_t splitAt = 0;
    std::chrono::milliseconds splitPause{0};
    std::chrono::milliseconds delay{0};
    bool pacing = true;
    // With pacing, the reply waits until the request itself could have
    // crossed a 4800-baud line: a pty delivers it at once.
    Clock::time_point notBefore;
};

Tq36Simulator::Tq36Simulator(int fd)
    : fd_(fd), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), state_(std::make_unique<State>())
{
    if (!wake_.Valid())
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

Tq36Simulator::~Tq36Simulator()
{
    Stop();
}

void Tq36Simulator::Start()
{
    if (thread_.joinable())
        return;
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0)
        throw std::system_error(errno, std::generic_category(), "fcntl");
    running_ = true;
    thread_ = std::thread([this] {
        Run();
        running_ = false;
    });
}

void Tq36Simulator::Stop()
{
    if (!thread_.joinable())
        return;
    const std::uint64_t one = 1;
    while (::write(wake_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    std::uint64_t drained;
    while (::read(wake_.Get(), &drained, sizeof drained) < 0 && errno == EINTR) {
    }
    state_->framer.DropPartial();
    running_ = false;
}

bool Tq36Simulator::Running() const
{
    return running_;
}

std::uint16_t Tq36Simulator::Word(int n) const
{
    std::lock_guard lock(mutex_);
    return sim::GetWord(state_->block, n);
}

void Tq36Simulator::SetWord(int n, std::uint16_t value)
{
    std::lock_guard lock(mutex_);
    sim::PutWord(state_->block, n, value);
}

Tq36Block Tq36Simulator::Block() const
{
    std::lock_guard lock(mutex_);
    return state_->block;
}

void Tq36Simulator::SetBlock(const Tq36Block& block)
{
    std::lock_guard lock(mutex_);
    state_->block = block;
}

SimCounters Tq36Simulator::Counters() const
{
    std::lock_guard lock(mutex_);
    return state_->counters;
}

std::vector<RequestRecord> Tq36Simulator::Requests() const
{
    std::lock_guard lock(mutex_);
    return state_->log;
}

std::vector<WriteRecord> Tq36Simulator::AppliedWrites() const
{
    std::lock_guard lock(mutex_);
    return state_->writes;
}

void Tq36Simulator::ClearLog()
{
    std::lock_guard lock(mutex_);
    state_->log.clear();
    state_->writes.clear();
    state_->counters = {};
}

bool Tq36Simulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return logged_.wait_for(lock, timeout, [&] { return state_->log.size() >= count; });
}

void Tq36Simulator::SetPacing(bool on)
{
    std::lock_guard lock(mutex_);
    state_->pacing = on;
}

void Tq36Simulator::SetGap(std::chrono::milliseconds gap)
{
    std::lock_guard lock(mutex_);
    state_->gap = std::max(gap, 1ms);
}

void Tq36Simulator::SetFault(Fault fault, int count, unsigned kinds)
{
    std::lock_guard lock(mutex_);
    state_->faults.at(static_cast<std::size_t>(fault)) = {std::max(count, kEveryReply), kinds};
}

void Tq36Simulator::ClearFault(Fault fault)
{
    SetFault(fault, 0);
}

void Tq36Simulator::ClearFaults()
{
    std::lock_guard lock(mutex_);
    state_->faults = {};
}

int Tq36Simulator::FaultCount(Fault fault) const
{
    std::lock_guard lock(mutex_);
    return state_->faults.at(static_cast<std::size_t>(fault)).count;
}

void Tq36Simulator::AnswerFrom(int n, unsigned kinds)
{
    SetFault(Fault::Silent, std::max(n - 1, 0), kinds);
}

void Tq36Simulator::SetRandomFaults(std::uint32_t seed, double rate, unsigned kinds)
{
    std::lock_guard lock(mutex_);
    state_->random.seed(seed);
    state_->randomRate = std::clamp(rate, 0.0, 1.0);
    state_->randomKinds = kinds;
}

void Tq36Simulator::SetDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(mutex_);
    state_->delay = std::max(delay, 0ms);
}

void Tq36Simulator::SetSplit(std::size_t at, std::chrono::milliseconds pause)
{
    std::lock_guard lock(mutex_);
    state_->splitAt = at;
    state_->splitPause = std::max(pause, 0ms);
}

void Tq36Simulator::SetExtraBytes(const Bytes& extra)
{
    std::lock_guard lock(mutex_);
    state_->extra = extra;
}

void Tq36Simulator::SetObserver(Observer observer)
{
    observer_ = std::move(observer);
}

void Tq36Simulator::Notify(const TrafficEvent& event) const
{
    if (observer_)
        observer_(event);
}

void Tq36Simulator::Run()
{
    bool hungUp = false;
    for (;;) {
        std::optional<Clock::time_point> deadline;
        if (state_->framer.HasPartial()) {
            std::lock_guard lock(mutex_);
            deadline = state_->lastByte + state_->gap;
        }
        const auto r = sim::WaitFor(fd_, POLLIN, wake_.Get(), deadline);
        if (r == sim::WaitResult::Woken)
            return;
        if (r == sim::WaitResult::TimedOut) {
            DropPartial(state_->framer.DropPartial());
            continue;
        }
        if (!ReadAndServe(hungUp))
            return;
    }
}

// False when the simulator is being stopped.
bool Tq36Simulator::ReadAndServe(bool& hungUp)
{
    std::uint8_t buf[256];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return true;
    if (n <= 0) {
        // Nobody holds the other end (or the device went): wait for it
        // calmly rather than spin on the hang-up.
        if (!hungUp)
            Notify({TrafficDirection::Note, {}, "line hung up", false});
        hungUp = true;
        return sim::SleepUntil(wake_.Get(), Clock::now() + kHangupRetry);
    }
    if (hungUp)
        Notify({TrafficDirection::Note, {}, "line back", false});
    hungUp = false;
    state_->lastByte = Clock::now();
    for (ssize_t i = 0; i < n; ++i) {
        if (!state_->framer.HasPartial())
            state_->requestStart = state_->lastByte;
        if (state_->framer.Push(buf[i]) && !Serve(state_->framer.Take()))
            return false;
    }
    return true;
}

void Tq36Simulator::DropPartial(const Bytes& partial)
{
    {
        std::lock_guard lock(mutex_);
        state_->log.push_back({partial, sim::KindOf(partial.at(0)), RequestOutcome::Partial});
        ++state_->counters.partials;
        state_->counters.requests = state_->log.size();
    }
    logged_.notify_all();
    Notify({TrafficDirection::Request, partial, "incomplete request dropped after a silent gap", false});
}

bool Tq36Simulator::Serve(const Bytes& request)
{
    TrafficEvent in{TrafficDirection::Request, request, sim::DescribeRequest(request), false};
    Reply reply = Respond(request, in);
    reply.notBefore = state_->requestStart
        + std::chrono::duration_cast<Clock::duration>(sim::kByteTime * request.size());
    logged_.notify_all();
    Notify(in);
    return reply.bytes.empty() || Send(reply);
}

Tq36Simulator::Reply Tq36Simulator::Respond(const Bytes& request, TrafficEvent& event)
{
    std::lock_guard lock(mutex_);
    State& s = *state_;
    const RequestKind kind = sim::KindOf(request[0]);
    RequestRecord record{request, kind, RequestOutcome::Answered};
    Reply reply;
    if (!ChecksumValid(request)) {
        record.outcome = RequestOutcome::BadChecksum;
        ++s.counters.badChecksums;
        event.meaning += ", bad checksum: no reply";
    } else {
        ++(kind == RequestKind::Ping ? s.counters.pings
           : kind == RequestKind::ReadAll ? s.counters.readAlls : s.counters.writes);
        s.drawn = DrawFaults(kind);
        if (TakeFault(Fault::Silent, kind, record)) {
            record.outcome = RequestOutcome::Silenced;
            ++s.counters.silenced;
            event.meaning += ", silent: ignored";
        } else if (kind == RequestKind::Write && !sim::ApplyWrite(s.block, request)) {
            record.outcome = RequestOutcome::Rejected;
            ++s.counters.rejected;
            event.meaning += ", no such parameter: ignored";
        } else {
            if (kind == RequestKind::Write) {
                s.writes.push_back({request[0], sim::WriteValue(request)});
                event.blockChanged = true;
            }
            reply = PlanReply(request, kind, record);
            ++s.counters.replies;
        }
    }
    s.log.push_back(std::move(record));
    s.counters.requests = s.log.size();
    return reply;
}

// Every fault is drawn for every request, so that one fault's rate or
// kinds do not shift the draws of the others.
unsigned Tq36Simulator::DrawFaults(RequestKind kind)
{
    State& s = *state_;
    if (s.randomRate <= 0)
        return 0;
    // mt19937's numbers are the same everywhere; a library's distributions
    // need not be.
    const double threshold = s.randomRate * 4294967296.0;
    unsigned bits = 0;
    for (std::size_t f = 0; f < kFaultKinds; ++f)
        if (double(s.random()) < threshold)
            bits |= FaultBit(static_cast<Fault>(f));
    return s.randomKinds & sim::KindBit(kind) ? bits : 0;
}

bool Tq36Simulator::TakeFault(Fault fault, RequestKind kind, RequestRecord& record)
{
    FaultSlot& slot = state_->faults[static_cast<std::size_t>(fault)];
    bool hit = (state_->drawn & FaultBit(fault)) != 0;
    if (slot.count != 0 && (slot.kinds & sim::KindBit(kind))) {
        if (slot.count > 0)
            --slot.count;
        hit = true;
    }
    if (hit)
        record.faults |= FaultBit(fault);
    return hit;
}

Tq36Simulator::Reply Tq36Simulator::PlanReply(const Bytes& request, RequestKind kind, RequestRecord& record)
{
    const State& s = *state_;
    Reply r;
    r.bytes = sim::ReplyTo(s.block, request);
    r.meaning = sim::DescribeReply(request);
    r.pacing = s.pacing;
    if (TakeFault(Fault::WrongFirstByte, kind, record)) {
        sim::SetWrongFirstByte(r.bytes, request);
        r.meaning += ", wrong first byte";
    }
    if (TakeFault(Fault::CorruptChecksum, kind, record)) {
        sim::CorruptChecksum(r.bytes);
        r.meaning += ", corrupt checksum";
    }
    if (TakeFault(Fault::ExtraBytes, kind, record)) {
        r.bytes.insert(r.bytes.end(), s.extra.begin(), s.extra.end());
        r.meaning += ", " + std::to_string(s.extra.size()) + " extra bytes";
    }
    if (TakeFault(Fault::Split, kind, record)) {
        r.splitAt = s.splitAt > 0 ? std::min(s.splitAt, r.bytes.size() - 1) : r.bytes.size() / 2;
        r.splitPause = s.splitPause;
        r.meaning += ", split " + std::to_string(r.splitAt) + "+"
            + std::to_string(r.bytes.size() - r.splitAt);
    }
    if (TakeFault(Fault::Delay, kind, record)) {
        r.delay = s.delay;
        r.meaning += ", delayed " + std::to_string(s.delay.count()) + " ms";
    }
    return r;
}

// False when the simulator is being stopped.
bool Tq36Simulator::Send(const Reply& reply)
{
    const int wake = wake_.Get();
    if (reply.pacing && !sim::SleepUntil(wake, reply.notBefore))
        return false;
    if (reply.delay > 0ms && !sim::SleepUntil(wake, Clock::now() + reply.delay))
        return false;
    Notify({TrafficDirection::Reply, reply.bytes, reply.meaning, false});
    const std::size_t first = reply.splitAt > 0 ? reply.splitAt : reply.bytes.size();
    if (!sim::SendBytes(fd_, wake, reply.bytes.data(), first, reply.pacing))
        return false;
    if (first == reply.bytes.size())
        return true;
    if (!sim::SleepUntil(wake, Clock::now() + reply.splitPause))
        return false;
    return sim::SendBytes(fd_, wake, reply.bytes.data() + first, reply.bytes.size() - first,
                          reply.pacing);
}

} // namespace lk58

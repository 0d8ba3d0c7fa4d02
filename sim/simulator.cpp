#include "sim/simstate.h"

#include <algorithm>
#include <utility>

namespace lk58 {

using namespace std::chrono_literals;
using sim::Clock;

namespace {
// A line that hangs up is tried again this often.
constexpr auto kHangupRetry = 50ms;
} // namespace

Tq36Simulator::Tq36Simulator(std::shared_ptr<sim::ServedLine> line)
    : line_(std::move(line)), state_(std::make_unique<State>())
{
}

#ifndef _WIN32
Tq36Simulator::Tq36Simulator(int fd) : Tq36Simulator(std::shared_ptr<sim::ServedLine>(sim::MakeFdLine(fd)))
{
}
#endif

Tq36Simulator::~Tq36Simulator()
{
    Stop();
}

void Tq36Simulator::Start()
{
    if (thread_.joinable())
        return;
    line_->Prepare();
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
    line_->Wake();
    thread_.join();
    line_->Rearm();
    state_->framer.DropPartial();
    {
        std::lock_guard lock(mutex_);
        state_->stray.clear();
    }
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
        const auto r = line_->WaitInput(deadline);
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
    const std::optional<std::size_t> n = line_->Read(buf, sizeof buf);
    if (n == 0)
        return true;
    if (!n) {
        // Nobody holds the other end (or the device went): wait for it
        // calmly rather than spin on the hang-up.
        if (!hungUp)
            Notify({TrafficDirection::Note, {}, "line hung up", false});
        hungUp = true;
        return line_->SleepUntil(Clock::now() + kHangupRetry);
    }
    if (hungUp)
        Notify({TrafficDirection::Note, {}, "line back", false});
    hungUp = false;
    state_->lastByte = Clock::now();
    for (std::size_t i = 0; i < *n; ++i) {
        if (!state_->framer.HasPartial())
            state_->requestStart = state_->lastByte;
        if (state_->framer.Push(buf[i]) && !Serve(state_->framer.Take()))
            return false;
    }
    return true;
}

bool Tq36Simulator::Serve(const Bytes& request)
{
    TrafficEvent in{TrafficDirection::Request, request, sim::DescribeRequest(request), false};
    Reply reply = Respond(request, in);
    reply.notBefore = state_->requestStart
        + line_->ByteTime() * request.size();
    logged_.notify_all();
    Notify(in);
    return (reply.bytes.empty() && reply.stray.empty()) || Send(reply);
}

Tq36Simulator::Reply Tq36Simulator::Respond(const Bytes& request, TrafficEvent& event)
{
    std::lock_guard lock(mutex_);
    State& s = *state_;
    const RequestKind kind = sim::KindOf(request[0]);
    RequestRecord record{request, kind, RequestOutcome::Answered};
    Reply reply;
    // What was held back goes out now, whatever becomes of this request.
    Bytes stray = std::exchange(s.stray, {});
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
            if (reply.late)
                s.stray = std::exchange(reply.bytes, {});
            else if (reply.surplus)
                s.stray = reply.bytes;
        }
    }
    reply.stray = std::move(stray);
    reply.pacing = s.pacing;
    s.log.push_back(std::move(record));
    s.counters.requests = s.log.size();
    return reply;
}

// False when the simulator is being stopped.
bool Tq36Simulator::Send(const Reply& reply)
{
    if (reply.pacing && !line_->SleepUntil(reply.notBefore))
        return false;
    if (!reply.stray.empty()) {
        Notify({TrafficDirection::Reply, reply.stray, "late or surplus reply to an earlier request", false});
        if (!line_->Send(reply.stray.data(), reply.stray.size(), reply.pacing))
            return false;
    }
    if (reply.bytes.empty())
        return true;
    if (reply.delay > 0ms && !line_->SleepUntil(Clock::now() + reply.delay))
        return false;
    Notify({TrafficDirection::Reply, reply.bytes, reply.meaning, false});
    const std::size_t first = reply.splitAt > 0 ? reply.splitAt : reply.bytes.size();
    if (!line_->Send(reply.bytes.data(), first, reply.pacing))
        return false;
    if (first == reply.bytes.size())
        return true;
    if (!line_->SleepUntil(Clock::now() + reply.splitPause))
        return false;
    return line_->Send(reply.bytes.data() + first, reply.bytes.size() - first,
                          reply.pacing);
}

} // namespace lk58

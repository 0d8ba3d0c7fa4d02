// The faults the converter commits on request: counted, and by chance.
#include "sim/simstate.h"

#include <algorithm>

namespace lk58 {

using namespace std::chrono_literals;

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

void Tq36Simulator::SetRandomFaults(std::uint32_t seed, double rate, unsigned kinds, unsigned faults)
{
    std::lock_guard lock(mutex_);
    state_->random.seed(seed);
    state_->randomRate = std::clamp(rate, 0.0, 1.0);
    state_->randomKinds = kinds;
    state_->randomFaults = faults;
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

void Tq36Simulator::SetCut(std::size_t keep)
{
    std::lock_guard lock(mutex_);
    state_->cutKeep = keep;
}

void Tq36Simulator::SetExtraBytes(const Bytes& extra)
{
    std::lock_guard lock(mutex_);
    state_->extra = extra;
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
    return s.randomKinds & sim::KindBit(kind) ? bits & s.randomFaults : 0;
}

bool Tq36Simulator::TakeFault(Fault fault, RequestKind kind, RequestRecord& record)
{
    sim::FaultSlot& slot = state_->faults[static_cast<std::size_t>(fault)];
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
    if (TakeFault(Fault::Cut, kind, record)) {
        // At least one byte goes, at least one stays away.
        const std::size_t keep = s.cutKeep > 0 ? std::min(s.cutKeep, r.bytes.size() - 1) : r.bytes.size() / 2;
        r.bytes.resize(keep);
        r.meaning += ", cut to " + std::to_string(keep) + " bytes";
    }
    if (TakeFault(Fault::Split, kind, record) && r.bytes.size() > 1) {
        r.splitAt = s.splitAt > 0 ? std::min(s.splitAt, r.bytes.size() - 1) : r.bytes.size() / 2;
        r.splitPause = s.splitPause;
        r.meaning += ", split " + std::to_string(r.splitAt) + "+"
            + std::to_string(r.bytes.size() - r.splitAt);
    }
    if (TakeFault(Fault::Delay, kind, record)) {
        r.delay = s.delay;
        r.meaning += ", delayed " + std::to_string(s.delay.count()) + " ms";
    }
    if (TakeFault(Fault::Late, kind, record)) {
        r.late = true;
        r.meaning += ", held back until the next request";
    }
    if (TakeFault(Fault::Surplus, kind, record)) {
        r.surplus = true;
        r.meaning += ", sent again before the next reply";
    }
    return r;
}

} // namespace lk58

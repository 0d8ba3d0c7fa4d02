// The converter's own log: every request, its outcome and faults, the
// writes applied, and the counters.
#include "sim/simstate.h"

namespace lk58 {

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

} // namespace lk58

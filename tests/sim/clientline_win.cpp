#include "clientline.h"

#include "sim/memoryline.h"

#include <algorithm>

namespace lk58::test {

struct TClientLine::TImpl {
    std::shared_ptr<sim::MemoryLine> line = std::make_shared<sim::MemoryLine>();
    Tq36Simulator sim{line->FarEnd()};
};

// The port's end held, and its bytes leave at once, as on a pseudo-terminal.
TClientLine::TClientLine() : impl_(std::make_unique<TImpl>())
{
    impl_->line->Attach();
    impl_->line->SetByteTime(sim::Clock::duration::zero());
}

TClientLine::~TClientLine()
{
    impl_->sim.Stop();
    impl_->line->Detach();
}

Tq36Simulator& TClientLine::Sim()
{
    return impl_->sim;
}

void TClientLine::Write(const Bytes& bytes)
{
    impl_->line->Transmit(bytes.data(), bytes.size());
}

Bytes TClientLine::Read(std::size_t count, std::chrono::milliseconds limit)
{
    sim::MemoryLine& line = *impl_->line;
    const auto deadline = sim::Clock::now() + limit;
    Bytes out;
    bool woken = false;
    for (;;) {
        const std::uint64_t arrivals = line.Arrivals();
        std::uint8_t buffer[256];
        const std::size_t n = line.Receive(buffer, std::min(sizeof buffer, count - out.size()));
        out.insert(out.end(), buffer, buffer + n);
        if (out.size() >= count)
            return out;
        if (n > 0)
            continue;
        if (line.WaitPort(arrivals, std::nullopt, woken, deadline) != sim::MemoryLine::PortWake::Arrived)
            return out;
    }
}

} // namespace lk58::test

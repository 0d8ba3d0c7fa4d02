#include "sim/memoryline.h"

#include <algorithm>
#include <utility>

namespace lk58::sim {

bool MemoryLine::Attach()
{
    std::lock_guard lock(lock_);
    if (attached_)
        return false;
    attached_ = true;
    incoming_.clear();
    overrun_ = false;
    return true;
}

void MemoryLine::Detach()
{
    std::lock_guard lock(lock_);
    attached_ = false;
    incoming_.clear();
    // Bytes still on their way leave as they would from a port that closes
    // after its last write: they were handed over already.
}

void MemoryLine::SetByteTime(Clock::duration byteTime)
{
    std::lock_guard lock(lock_);
    byteTime_ = byteTime;
}

Clock::duration MemoryLine::ByteTime() const
{
    std::lock_guard lock(lock_);
    return byteTime_;
}

void MemoryLine::SetInputSize(std::size_t size)
{
    std::lock_guard lock(lock_);
    inputSize_ = std::max<std::size_t>(size, 1);
}

Clock::time_point MemoryLine::Transmit(const std::uint8_t* data, std::size_t size)
{
    Clock::time_point done;
    std::function<void()> call;
    {
        std::lock_guard lock(lock_);
        Clock::time_point leaves = std::max(lineFree_, Clock::now());
        for (std::size_t i = 0; i < size; ++i, leaves += byteTime_)
            outgoing_.push_back({data[i], leaves});
        lineFree_ = leaves;
        done = leaves;
        ++transmits_;
        call = onTransmit_;
    }
    farWait_.notify_all();
    portWait_.notify_all();
    if (call)
        call();
    return done;
}

void MemoryLine::AbortTransmit()
{
    std::lock_guard lock(lock_);
    const Clock::time_point now = Clock::now();
    while (!outgoing_.empty() && outgoing_.back().leaves > now)
        outgoing_.pop_back();
    lineFree_ = outgoing_.empty() ? now : std::min(lineFree_, outgoing_.back().leaves + byteTime_);
}

std::size_t MemoryLine::Receive(std::uint8_t* buffer, std::size_t size)
{
    std::lock_guard lock(lock_);
    const std::size_t n = std::min(size, incoming_.size());
    std::copy_n(incoming_.begin(), n, buffer);
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

std::size_t MemoryLine::Received() const
{
    std::lock_guard lock(lock_);
    return incoming_.size();
}

void MemoryLine::ClearReceived()
{
    std::lock_guard lock(lock_);
    incoming_.clear();
}

bool MemoryLine::TakeOverrun()
{
    std::lock_guard lock(lock_);
    return std::exchange(overrun_, false);
}

std::uint64_t MemoryLine::Arrivals() const
{
    std::lock_guard lock(lock_);
    return arrivals_;
}

std::uint64_t MemoryLine::Transmits() const
{
    std::lock_guard lock(lock_);
    return transmits_;
}

MemoryLine::PortWake MemoryLine::WaitPort(std::uint64_t arrivals, std::optional<std::uint64_t> transmits,
                                          bool& woken, std::optional<Clock::time_point> deadline) const
{
    std::unique_lock lock(lock_);
    const auto transmitted = [&] { return transmits && *transmits != transmits_; };
    const auto done = [&] { return woken || hungUp_ || arrivals_ != arrivals || transmitted(); };
    if (deadline)
        portWait_.wait_until(lock, *deadline, done);
    else
        portWait_.wait(lock, done);
    if (std::exchange(woken, false))
        return PortWake::Woken;
    if (hungUp_)
        return PortWake::HungUp;
    if (arrivals_ != arrivals)
        return PortWake::Arrived;
    return transmitted() ? PortWake::Transmitted : PortWake::TimedOut;
}

void MemoryLine::WakePort(bool& woken)
{
    {
        std::lock_guard lock(lock_);
        woken = true;
    }
    portWait_.notify_all();
}

bool MemoryLine::HungUp() const
{
    std::lock_guard lock(lock_);
    return hungUp_;
}

std::size_t MemoryLine::Take(std::uint8_t* buffer, std::size_t size)
{
    std::lock_guard lock(lock_);
    const Clock::time_point now = Clock::now();
    std::size_t n = 0;
    while (n < size && !outgoing_.empty() && outgoing_.front().leaves <= now) {
        buffer[n++] = outgoing_.front().byte;
        outgoing_.pop_front();
    }
    return n;
}

Clock::time_point MemoryLine::NextLeavingLocked() const
{
    return outgoing_.empty() ? Clock::time_point::max() : outgoing_.front().leaves;
}

std::optional<Clock::time_point> MemoryLine::NextLeaving() const
{
    std::lock_guard lock(lock_);
    if (outgoing_.empty())
        return std::nullopt;
    return outgoing_.front().leaves;
}

WaitResult MemoryLine::WaitFar(std::optional<Clock::time_point> deadline)
{
    std::unique_lock lock(lock_);
    for (;;) {
        if (farWoken_)
            return WaitResult::Woken;
        const Clock::time_point now = Clock::now();
        const Clock::time_point next = NextLeavingLocked();
        if (next <= now)
            return WaitResult::Ready;
        if (deadline && *deadline <= now)
            return WaitResult::TimedOut;
        const Clock::time_point until = deadline ? std::min(*deadline, next) : next;
        if (until == Clock::time_point::max())
            farWait_.wait(lock);
        else
            farWait_.wait_until(lock, until);
    }
}

void MemoryLine::Deliver(const std::uint8_t* data, std::size_t size)
{
    {
        std::lock_guard lock(lock_);
        if (!attached_ || hungUp_ || size == 0)
            return;
        const std::size_t room = inputSize_ - std::min(inputSize_, incoming_.size());
        if (room < size)
            overrun_ = true;
        incoming_.insert(incoming_.end(), data, data + std::min(room, size));
        ++arrivals_;
    }
    portWait_.notify_all();
}

bool MemoryLine::SleepFar(Clock::time_point deadline)
{
    std::unique_lock lock(lock_);
    return !farWait_.wait_until(lock, deadline, [&] { return farWoken_; });
}

void MemoryLine::WakeFar()
{
    {
        std::lock_guard lock(lock_);
        farWoken_ = true;
    }
    farWait_.notify_all();
}

void MemoryLine::RearmFar()
{
    std::lock_guard lock(lock_);
    farWoken_ = false;
}

void MemoryLine::HangUp()
{
    {
        std::lock_guard lock(lock_);
        hungUp_ = true;
    }
    portWait_.notify_all();
}

void MemoryLine::SetOnTransmit(std::function<void()> call)
{
    std::lock_guard lock(lock_);
    onTransmit_ = std::move(call);
}

namespace {
// The converter's end, for the simulator's thread.
class ConverterEnd : public ServedLine {
public:
    explicit ConverterEnd(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}
    WaitResult WaitInput(std::optional<Clock::time_point> deadline) override { return line_->WaitFar(deadline); }
    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t size) override
    {
        return line_->Take(buffer, size);
    }
    bool SleepUntil(Clock::time_point deadline) override { return line_->SleepFar(deadline); }
    PutResult Put(const std::uint8_t* data, std::size_t size) override
    {
        line_->Deliver(data, size);
        return PutResult::Sent;
    }
    Clock::duration ByteTime() const override { return line_->ByteTime(); }
    void Wake() override { line_->WakeFar(); }
    void Rearm() override { line_->RearmFar(); }

private:
    std::shared_ptr<MemoryLine> line_;
};
} // namespace

std::shared_ptr<ServedLine> MemoryLine::FarEnd()
{
    return std::make_shared<ConverterEnd>(shared_from_this());
}

} // namespace lk58::sim

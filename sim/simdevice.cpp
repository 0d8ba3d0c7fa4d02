#include "sim/simdevice.h"

#include "serial/readtimeouts.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace lk58::sim {

using platform::kWakeRx;
using platform::kWakeTx;

namespace {

// What the device and the waits of its event threads share.
struct Shared {
    std::atomic<std::uint32_t> mask{0};
    std::mutex lock;
    Clock::time_point writeDone; // when the last write has left the port
    bool writeReported = true;   // its output-empty wake-up went out
};

class LineWaiter : public platform::TEventWaiter {
public:
    LineWaiter(std::shared_ptr<MemoryLine> line, std::shared_ptr<Shared> shared)
        : line_(std::move(line)), shared_(std::move(shared))
    {
        // As with an edge-triggered wait, bytes already waiting count once.
        seen_ = line_->Arrivals() - (line_->Received() > 0 ? 1 : 0);
    }

    bool Wait(std::uint32_t& wakes) override
    {
        wakes = 0;
        for (;;) {
            const std::uint32_t mask = shared_->mask.load();
            // Output-empty wake-ups cost a look at each write.
            std::optional<std::uint64_t> transmits;
            std::optional<Clock::time_point> txDue;
            if (mask & kEvTxEmpty) {
                transmits = line_->Transmits();
                std::lock_guard lock(shared_->lock);
                if (!shared_->writeReported)
                    txDue = shared_->writeDone;
            }
            switch (line_->WaitPort(seen_, transmits, woken_, txDue)) {
            case MemoryLine::PortWake::HungUp:
                platform::SetLastError(platform::kErrorVanished);
                return false;
            case MemoryLine::PortWake::Woken:
                return true;
            case MemoryLine::PortWake::Arrived:
                seen_ = line_->Arrivals();
                if (mask & ~kEvTxEmpty)
                    wakes |= kWakeRx;
                return true;
            case MemoryLine::PortWake::Transmitted:
                continue;
            case MemoryLine::PortWake::TimedOut: {
                std::lock_guard lock(shared_->lock);
                if (!shared_->writeReported && Clock::now() >= shared_->writeDone) {
                    shared_->writeReported = true;
                    wakes |= kWakeTx;
                }
                return true;
            }
            }
        }
    }

    void Wake() override { line_->WakePort(woken_); }

private:
    std::shared_ptr<MemoryLine> line_;
    std::shared_ptr<Shared> shared_;
    std::uint64_t seen_ = 0;
    bool woken_ = false;
};

class LineDevice : public platform::TSerialDevice {
public:
    explicit LineDevice(LineFinder find) : find_(std::move(find))
    {
        dcb_.DCBlength = kDcbLength;
        dcb_.BaudRate = 4800;
        dcb_.ByteSize = 8;
        dcb_.Flags = kDcbBinary;
    }
    ~LineDevice() override { Close(); }

    bool Open(const std::string& name) override
    {
        if (line_) {
            platform::SetLastError(platform::kErrorBusy);
            return false;
        }
        std::shared_ptr<MemoryLine> line = find_(name);
        if (!line)
            return false;
        if (!line->Attach()) {
            platform::SetLastError(platform::kErrorBusy);
            return false;
        }
        line_ = std::move(line);
        line_->SetInputSize(inputSize_);
        if (const auto byteTime = ByteTimeOf(dcb_))
            line_->SetByteTime(*byteTime);
        return true;
    }

    void Close() override
    {
        if (!line_)
            return;
        line_->Detach();
        line_.reset();
        readActive_ = false;
        writeActive_ = false;
    }

    bool IsOpen() const override { return static_cast<bool>(line_); }

    bool SetupComm(std::int32_t inputSize, std::int32_t) override
    {
        if (!Ready())
            return false;
        inputSize_ = static_cast<std::size_t>(std::max(inputSize, 1));
        line_->SetInputSize(inputSize_);
        return true;
    }

    bool GetCommState(TDcb& dcb) override
    {
        if (!Ready())
            return false;
        dcb = dcb_;
        return true;
    }

    bool SetCommState(const TDcb& dcb) override
    {
        if (!Ready())
            return false;
        dcb_ = dcb;
        if (const auto byteTime = ByteTimeOf(dcb))
            line_->SetByteTime(*byteTime);
        return true;
    }

    std::string RefusedSetting() const override { return {}; }

    bool GetCommTimeouts(TCommTimeouts& timeouts) override
    {
        if (!Ready())
            return false;
        timeouts = timeouts_;
        return true;
    }

    bool SetCommTimeouts(const TCommTimeouts& timeouts) override
    {
        if (!Ready())
            return false;
        timeouts_ = timeouts;
        return true;
    }

    bool SetCommMask(std::uint32_t mask) override
    {
        if (!Ready())
            return false;
        shared_->mask.store(mask);
        return true;
    }

    bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) override
    {
        if (!Ready())
            return false;
        errors = line_->TakeOverrun() ? kCeRxOver : 0;
        if (inQueue)
            *inQueue = static_cast<std::uint32_t>(line_->Received());
        return true;
    }

    bool Purge(std::uint32_t flags) override
    {
        if (!Ready())
            return false;
        if (flags & (kPurgeRxAbort | kPurgeRxClear))
            line_->ClearReceived();
        if (flags & (kPurgeTxAbort | kPurgeTxClear)) {
            line_->AbortTransmit();
            std::lock_guard lock(shared_->lock);
            shared_->writeDone = std::min(shared_->writeDone, Clock::now());
        }
        if (flags & kPurgeRxAbort)
            readActive_ = false;
        if (flags & kPurgeTxAbort)
            writeActive_ = false;
        return true;
    }

    // The converter drives no modem lines.
    bool GetModemStatus(std::uint32_t& status) override
    {
        if (!Ready())
            return false;
        status = 0;
        return true;
    }

    bool StartRead(void* buffer, std::uint32_t length) override
    {
        if (!Ready())
            return false;
        readBuffer_ = static_cast<std::uint8_t*>(buffer);
        readLength_ = length;
        readDone_ = static_cast<std::uint32_t>(line_->Receive(readBuffer_, length));
        // A read that the time-outs end at once is complete, not outstanding.
        readActive_ = !ReadEndsNow();
        return true;
    }

    bool ReadPending() const override { return readActive_ && readDone_ < readLength_; }

    // Within the read time-outs (serial/readtimeouts.h).
    bool FinishRead(std::uint32_t& transferred) override
    {
        if (!Ready())
            return false;
        const TCommTimeouts& t = timeouts_;
        platform::TReadDeadline end(t, platform::ReadTotalEnd(t, readLength_));
        while (readActive_ && !ReadEndsNow()) {
            const std::uint64_t seen = line_->Arrivals();
            const std::uint32_t before = readDone_;
            readDone_ += static_cast<std::uint32_t>(line_->Receive(readBuffer_ + readDone_, readLength_ - readDone_));
            if (ReadEndsNow())
                break;
            const std::optional<Clock::time_point> deadline = end.After(before, readDone_);
            if (readDone_ != before)
                continue;
            bool never = false;
            const MemoryLine::PortWake r = line_->WaitPort(seen, std::nullopt, never, deadline);
            if (r == MemoryLine::PortWake::HungUp) {
                readActive_ = false;
                platform::SetLastError(platform::kErrorVanished);
                return false;
            }
            if (r == MemoryLine::PortWake::TimedOut)
                break;
        }
        transferred = readDone_;
        readActive_ = false;
        return true;
    }

    bool StartWrite(const void* buffer, std::uint32_t length) override
    {
        if (!Ready())
            return false;
        {
            // Under the lock, so that a wait that wakes for this write
            // finds its time.
            std::lock_guard lock(shared_->lock);
            shared_->writeDone = line_->Transmit(static_cast<const std::uint8_t*>(buffer), length);
            shared_->writeReported = false;
        }
        writeLength_ = length;
        writeActive_ = true;
        return true;
    }

    bool WritePending() const override
    {
        if (!writeActive_)
            return false;
        std::lock_guard lock(shared_->lock);
        return Clock::now() < shared_->writeDone;
    }

    // The bytes leave at the line's pace, whatever the write time-outs: no
    // flow control holds them back.
    bool FinishWrite(std::uint32_t& transferred) override
    {
        if (!Ready())
            return false;
        Clock::time_point done;
        {
            std::lock_guard lock(shared_->lock);
            done = shared_->writeDone;
        }
        if (writeActive_)
            std::this_thread::sleep_until(done);
        transferred = writeActive_ ? writeLength_ : 0;
        writeActive_ = false;
        return true;
    }

    std::unique_ptr<platform::TEventWaiter> CreateEventWaiter() override
    {
        if (!Ready())
            return nullptr;
        return std::make_unique<LineWaiter>(line_, shared_);
    }

    std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) override
    {
        if (!line_)
            return 0;
        std::uint32_t occurred = 0;
        if (wakes & kWakeRx) {
            occurred |= kEvRxChar;
            if (line_->Received() * 5 >= inputSize_ * 4)
                occurred |= kEvRx80Full;
        }
        if (wakes & kWakeTx)
            occurred |= kEvTxEmpty;
        return occurred & mask;
    }

private:
    bool Ready() const
    {
        if (line_)
            return true;
        platform::SetLastError(platform::kErrorNoDevice);
        return false;
    }

    bool ReadEndsNow() const { return platform::ReadEndsNow(timeouts_, readDone_, readLength_); }

    LineFinder find_;
    std::shared_ptr<MemoryLine> line_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    TDcb dcb_;
    TCommTimeouts timeouts_;
    std::size_t inputSize_ = 4096;

    bool readActive_ = false;
    std::uint8_t* readBuffer_ = nullptr;
    std::uint32_t readLength_ = 0;
    std::uint32_t readDone_ = 0;
    bool writeActive_ = false;
    std::uint32_t writeLength_ = 0;
};

} // namespace

std::optional<Clock::duration> ByteTimeOf(const TDcb& dcb)
{
    if (dcb.BaudRate == 0)
        return std::nullopt;
    // In half bits, for one and a half stop bits.
    const unsigned stopHalves = dcb.StopBits == 1 ? 3 : dcb.StopBits == 2 ? 4 : 2;
    const unsigned halves = 2 * (1 + dcb.ByteSize + (dcb.Parity != kNoParity ? 1 : 0)) + stopHalves;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(halves / 2.0 / dcb.BaudRate));
}

std::unique_ptr<platform::TSerialDevice> MakeLineDevice(LineFinder find)
{
    return std::make_unique<LineDevice>(std::move(find));
}

} // namespace lk58::sim

#pragma once

// A serial line inside the process, as a null-modem cable between a port
// (the program's end) and a converter (the far end: the simulator, or a
// test playing the converter). Bytes keep the line's pace: a write leaves
// the port one byte time a byte after the bytes before it, and the
// converter paces its replies by the same byte time, which the port's line
// settings give. Every member may be used from any thread.

#include "core/bytes.h"
#include "sim/line.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace lk58::sim {

class MemoryLine : public std::enable_shared_from_this<MemoryLine> {
public:

    // --- The port's end.

    // False when a port holds the line already.
    bool Attach();
    // The port lets go: what it had not read is lost, and so is what
    // reaches the line while no port holds it.
    void Detach();
    // The byte time of the port's line settings.
    void SetByteTime(Clock::duration byteTime);
    Clock::duration ByteTime() const;
    // The size of the port's input queue; bytes beyond it are lost and
    // counted as an overrun.
    void SetInputSize(std::size_t size);
    // Queues bytes for sending; they reach the far end when the bytes
    // before them have left. Gives the moment the last of them has left.
    Clock::time_point Transmit(const std::uint8_t* data, std::size_t size);
    // Drops what has not started to leave yet.
    void AbortTransmit();
    // Takes up to `size` received bytes.
    std::size_t Receive(std::uint8_t* buffer, std::size_t size);
    std::size_t Received() const;
    void ClearReceived();
    // True once since the last call after received bytes were lost.
    bool TakeOverrun();
    // Counts arrivals: each batch of bytes that reached the port adds one.
    std::uint64_t Arrivals() const;

    // Counts the port's writes.
    std::uint64_t Transmits() const;

    enum class PortWake { Arrived, Transmitted, Woken, TimedOut, HungUp };
    // Waits until an arrival after `arrivals`, a write after `transmits`
    // (when given), `woken` turns true (set through WakePort; the wait
    // clears it), the deadline, or a hang-up.
    PortWake WaitPort(std::uint64_t arrivals, std::optional<std::uint64_t> transmits, bool& woken,
                      std::optional<Clock::time_point> deadline) const;
    // Sets `woken` (which WaitPort reads under the line's lock) and wakes.
    void WakePort(bool& woken);
    bool HungUp() const;

    // --- The far end.

    // What has left the port so far; never blocks.
    std::size_t Take(std::uint8_t* buffer, std::size_t size);
    // When the next byte that Take does not have yet starts to leave.
    std::optional<Clock::time_point> NextLeaving() const;
    // Waits until Take has something, WakeFar, or the deadline.
    WaitResult WaitFar(std::optional<Clock::time_point> deadline);
    // Puts bytes into the port's input queue at once (the caller paces).
    void Deliver(const std::uint8_t* data, std::size_t size);
    bool SleepFar(Clock::time_point deadline);
    void WakeFar();
    void RearmFar();
    // The cable is pulled: the port's waits fail from now on.
    void HangUp();
    // Called on the writing thread after bytes were queued for the far end;
    // set it before the port opens. A test playing the converter on its own
    // thread hands the call over there.
    void SetOnTransmit(std::function<void()> call);

    // The far end as the simulator serves it (the line is made with
    // std::make_shared).
    std::shared_ptr<ServedLine> FarEnd();

private:
    struct Outgoing {
        std::uint8_t byte;
        Clock::time_point leaves; // the byte starts to leave the port
    };
    Clock::time_point NextLeavingLocked() const;

    mutable std::mutex lock_;
    mutable std::condition_variable portWait_;
    std::condition_variable farWait_;
    bool attached_ = false;
    bool hungUp_ = false;
    bool farWoken_ = false;
    bool overrun_ = false;
    Clock::duration byteTime_ = kByteTime;
    std::size_t inputSize_ = 4096;
    Clock::time_point lineFree_; // when the port's last queued byte has left
    std::deque<Outgoing> outgoing_;
    Bytes incoming_;
    std::uint64_t arrivals_ = 0;
    std::uint64_t transmits_ = 0;
    std::function<void()> onTransmit_;
};

} // namespace lk58::sim

#pragma once

// The line the simulated converter serves: a pseudo-terminal or serial
// device (a descriptor, POSIX only) or a line inside the process. Every wait
// also ends at Wake(), so that Stop() ends it at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace lk58::sim {

using Clock = std::chrono::steady_clock;

// One byte on the converter's line: 10 bits at 4800 baud.
inline constexpr std::chrono::nanoseconds kByteTime{2'083'333};

enum class WaitResult { Ready, Woken, TimedOut };
enum class PutResult { Sent, Dropped, Woken };

// The converter's end of a line, used by the simulator's thread alone
// (Wake and Rearm by the thread that controls the simulator).
class ServedLine {
public:
    virtual ~ServedLine() = default;
    // Called by Start; throws std::system_error when the line cannot serve.
    virtual void Prepare() {}
    // Waits until bytes can be read, Wake() is called, or the deadline
    // passes (none: for ever).
    virtual WaitResult WaitInput(std::optional<Clock::time_point> deadline) = 0;
    // Takes what has arrived: the count (0: nothing now), or nothing when
    // the line hung up.
    virtual std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t size) = 0;
    // Sleeps until the deadline; false when woken first.
    virtual bool SleepUntil(Clock::time_point deadline) = 0;
    // Hands the bytes to the line at once. A line that fails or stays full
    // for a second drops the rest, as a converter talking to nobody would.
    virtual PutResult Put(const std::uint8_t* data, std::size_t size) = 0;
    // What a byte takes on this line.
    virtual Clock::duration ByteTime() const { return kByteTime; }
    // Ends every wait from now on, until Rearm.
    virtual void Wake() = 0;
    virtual void Rearm() = 0;

    // Writes the bytes; with pacing, byte i leaves no earlier than (i+1)
    // byte times after the start. False when woken first.
    bool Send(const std::uint8_t* data, std::size_t size, bool pacing);
};

#ifndef _WIN32
// A pseudo-terminal's master or a serial device, not owned; made
// non-blocking by Prepare. Throws std::system_error.
std::unique_ptr<ServedLine> MakeFdLine(int fd);
#endif

} // namespace lk58::sim

#pragma once

// Waiting and writing on the served line. Every wait also watches the
// simulator's wake-up descriptor, so that Stop() ends it at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lk58::sim {

using Clock = std::chrono::steady_clock;

// One byte on the line: 10 bits at 4800 baud.
inline constexpr std::chrono::nanoseconds kByteTime{2'083'333};

enum class WaitResult { Ready, Woken, TimedOut };

// Waits until `fd` shows one of `events` (POLLIN, POLLOUT; also an error or
// hang-up), `wake` is readable, or the deadline passes (none: for ever).
WaitResult WaitFor(int fd, short events, int wake, std::optional<Clock::time_point> deadline);

// Sleeps until the deadline. False when woken first.
bool SleepUntil(int wake, Clock::time_point deadline);

// Writes the bytes; with pacing, byte i leaves no earlier than (i+1) byte
// times after the start, as on a 4800-baud line. False when woken first. A
// line that fails or stays full for a second loses the rest of the bytes,
// as a converter talking to nobody would.
bool SendBytes(int fd, int wake, const std::uint8_t* data, std::size_t size, bool pacing);

} // namespace lk58::sim

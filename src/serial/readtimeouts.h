#pragma once

// The Windows read time-outs, as every device of the serial layer keeps
// them.

#include "serial/comtypes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace lk58::platform {

// MAXDWORD in a time-out field.
inline constexpr std::uint32_t kTimeoutForever = 0xFFFFFFFF;

// An interval of MAXDWORD with no totals returns at once; with a MAXDWORD
// multiplier the read returns on the first byte or after the constant;
// otherwise the totals bound the read and the interval the gap after each
// byte. All zero: the read waits for all its bytes. True when a read of
// `length` bytes that holds `done` of them ends now.
inline bool ReadEndsNow(const TCommTimeouts& t, std::uint32_t done, std::uint32_t length)
{
    if (done == length)
        return true;
    if (t.ReadIntervalTimeout != kTimeoutForever)
        return false;
    if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0)
        return true;
    return t.ReadTotalTimeoutMultiplier == kTimeoutForever && done > 0;
}

// When the totals end a read of `length` bytes that starts now; none when
// they set no end.
inline std::optional<std::chrono::steady_clock::time_point> ReadTotalEnd(const TCommTimeouts& t, std::uint32_t length)
{
    const auto now = std::chrono::steady_clock::now();
    if (t.ReadTotalTimeoutMultiplier == kTimeoutForever)
        return now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    const std::uint64_t total = std::uint64_t(t.ReadTotalTimeoutMultiplier) * length + t.ReadTotalTimeoutConstant;
    if (total == 0)
        return std::nullopt;
    return now + std::chrono::milliseconds(total);
}

// The end of a read under way: the totals' end, drawn nearer by the
// interval after the last byte that came.
class TReadDeadline {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    TReadDeadline(const TCommTimeouts& t, std::optional<TimePoint> total)
        : total_(total)
    {
        if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kTimeoutForever)
            interval_ = std::chrono::milliseconds(t.ReadIntervalTimeout);
    }
    // The end after a look at the line that took the read from `before`
    // bytes to `done`; none when nothing ends it.
    std::optional<TimePoint> After(std::uint32_t before, std::uint32_t done)
    {
        if (interval_ && done > 0 && (done != before || !gapEnd_))
            gapEnd_ = std::chrono::steady_clock::now() + *interval_;
        if (!gapEnd_)
            return total_;
        return total_ ? std::min(*total_, *gapEnd_) : gapEnd_;
    }

private:
    std::optional<TimePoint> total_;
    std::optional<std::chrono::milliseconds> interval_;
    std::optional<TimePoint> gapEnd_;
};

} // namespace lk58::platform

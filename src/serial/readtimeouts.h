#pragma once

// The Windows read time-outs, as every device of the serial layer keeps
// them.

#include "serial/comtypes.h"

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

} // namespace lk58::platform

#include "sim/line.h"

#include <algorithm>

namespace lk58::sim {

bool ServedLine::Send(const std::uint8_t* data, std::size_t size, bool pacing)
{
    if (!pacing)
        return Put(data, size) != PutResult::Woken;
    const Clock::duration byteTime = ByteTime();
    const auto start = Clock::now();
    std::size_t sent = 0;
    while (sent < size) {
        if (!SleepUntil(start + byteTime * (sent + 1)))
            return false;
        // Send every byte whose time has come: a late wake-up catches up.
        const auto due = static_cast<std::size_t>((Clock::now() - start) / byteTime);
        const std::size_t upto = std::clamp(due, sent + 1, size);
        const PutResult r = Put(data + sent, upto - sent);
        if (r != PutResult::Sent)
            return r != PutResult::Woken;
        sent = upto;
    }
    return true;
}

} // namespace lk58::sim

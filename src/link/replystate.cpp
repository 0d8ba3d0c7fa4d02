#include "link/replystate.h"

#include "link/frame.h"

#include <algorithm>

namespace lk58 {

bool TReplyState::Collecting() const
{
    return ReplyMode == kModeWrite || ReplyMode == kModeReadAll || ReplyMode == kModePing;
}

std::size_t TReplyState::ExpectedLength() const
{
    switch (ReplyMode) {
    case kModeWrite:
    case kModePing:
        return kShortReplySize;
    case kModeReadAll:
        return kReadAllReplySize;
    default:
        return 0;
    }
}

bool& TReplyState::AwaitedFlag()
{
    return ReplyMode == kModePing ? PingOk : ReplyOk;
}

void TReplyState::Arm(std::int32_t mode, std::int32_t tag)
{
    Discard();
    ReplyMode = mode;
    if (mode == kModeWrite)
        ExpectedTag = tag;
    AwaitedFlag() = false;
    damaged_ = false;
}

void TReplyState::Discard(std::span<const std::uint8_t> waiting)
{
    if (trace_ && (!RxBuffer.empty() || !waiting.empty())) {
        Bytes dropped = RxBuffer;
        dropped.insert(dropped.end(), waiting.begin(), waiting.end());
        trace_(TTraffic::Dropped, dropped);
    }
    RxBuffer.clear();
    held_ = false;
}

bool TReplyState::StartsReply(std::uint8_t first) const
{
    // An acknowledgement carries the parameter number minus 1; the other
    // replies repeat their request's code.
    return ReplyMode == kModeWrite ? first == ExpectedTag - 1 : first == ReplyMode;
}

bool TReplyState::ChecksumHolds(std::span<const std::uint8_t> reply)
{
    const std::size_t n = reply.size();
    CrcAccumulator = Crc16(reply.first(n - 2));
    const unsigned sent = ((reply[n - 1] ^ 0xFFu) << 8) | (reply[n - 2] ^ 0xFFu);
    return sent == CrcAccumulator;
}

void TReplyState::DropFront(std::size_t count)
{
    if (count == 0)
        return;
    Trace(TTraffic::Dropped, std::span(RxBuffer).first(count));
    RxBuffer.erase(RxBuffer.begin(), RxBuffer.begin() + static_cast<std::ptrdiff_t>(count));
}

void TReplyState::Collect(std::span<const std::uint8_t> chunk)
{
    if (!Collecting())
        return;
    RxBuffer.insert(RxBuffer.end(), chunk.begin(), chunk.end());
    // A read-all reply found stays at the buffer's start for the loader;
    // whatever follows it is kept behind it, unjudged.
    if (held_)
        return;
    const std::size_t n = ExpectedLength();
    // Every place where a whole reply could start is tried once, in arrival
    // order: a stray reply or a stray byte in front of the awaited reply
    // is skipped, not taken for its first bytes.
    std::size_t at = 0;
    while (RxBuffer.size() - at >= n) {
        const std::span<const std::uint8_t> candidate = std::span(RxBuffer).subspan(at, n);
        if (!StartsReply(candidate[0])) {
            ++at;
            continue;
        }
        if (!ChecksumHolds(candidate)) {
            damaged_ = true;
            Trace(TTraffic::BadReply, candidate);
            ++at;
            continue;
        }
        DropFront(at);
        at = 0;
        AwaitedFlag() = true;
        Trace(TTraffic::Reply, std::span(RxBuffer).first(n));
        if (ReplyMode == kModeReadAll) {
            held_ = true;
            return;
        }
        RxBuffer.erase(RxBuffer.begin(), RxBuffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    // No reply can start before `at` any more.
    DropFront(at);
}

std::span<const std::uint8_t> TReplyState::Reply() const
{
    return std::span(RxBuffer).first(std::min(RxBuffer.size(), kReadAllReplySize));
}

} // namespace lk58

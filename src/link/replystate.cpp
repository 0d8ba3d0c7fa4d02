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
}

void TReplyState::Discard(std::span<const std::uint8_t> waiting)
{
    if (trace_ && (!RxBuffer.empty() || !waiting.empty())) {
        Bytes dropped = RxBuffer;
        dropped.insert(dropped.end(), waiting.begin(), waiting.end());
        trace_(TTraffic::Dropped, dropped);
    }
    RxBuffer.clear();
}

bool TReplyState::Valid(std::span<const std::uint8_t> reply)
{
    const std::size_t n = reply.size();
    CrcAccumulator = Crc16(reply.first(n - 2));
    const unsigned sent = ((reply[n - 1] ^ 0xFFu) << 8) | (reply[n - 2] ^ 0xFFu);
    if (sent != CrcAccumulator)
        return false;
    // An acknowledgement carries the parameter number minus 1; the other
    // replies repeat their request's code.
    const std::int32_t first = reply[0];
    return ReplyMode == kModeWrite ? first == ExpectedTag - 1 : first == ReplyMode;
}

void TReplyState::Judge(std::span<const std::uint8_t> reply)
{
    const bool ok = Valid(reply);
    if (ok)
        AwaitedFlag() = true;
    Trace(ok ? TTraffic::Reply : TTraffic::BadReply, reply);
}

void TReplyState::Collect(std::span<const std::uint8_t> chunk)
{
    if (!Collecting())
        return;
    const std::size_t before = RxBuffer.size();
    RxBuffer.insert(RxBuffer.end(), chunk.begin(), chunk.end());
    const std::size_t n = ExpectedLength();
    if (ReplyMode == kModeReadAll) {
        // Bytes behind the reply (one read may carry them along) must not
        // hide a sound reply; nor do they make it judged twice.
        if (before < n && RxBuffer.size() >= n)
            Judge(std::span(RxBuffer).first(n));
        return;
    }
    // A damaged reply gives way to whatever follows it: a sound reply in
    // the same read still counts.
    std::size_t at = 0;
    for (; RxBuffer.size() - at >= n; at += n)
        Judge(std::span(RxBuffer).subspan(at, n));
    RxBuffer.erase(RxBuffer.begin(), RxBuffer.begin() + static_cast<std::ptrdiff_t>(at));
}

std::span<const std::uint8_t> TReplyState::Reply() const
{
    return std::span(RxBuffer).first(std::min(RxBuffer.size(), kReadAllReplySize));
}

} // namespace lk58

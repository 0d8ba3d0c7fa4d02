#include "link/replystate.h"

#include "link/frame.h"

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
    RxBuffer.clear();
    ReplyMode = mode;
    if (mode == kModeWrite)
        ExpectedTag = tag;
    AwaitedFlag() = false;
}

bool TReplyState::Valid()
{
    const std::size_t n = RxBuffer.size();
    CrcAccumulator = Crc16(std::span(RxBuffer).first(n - 2));
    const unsigned sent = ((RxBuffer[n - 1] ^ 0xFFu) << 8) | (RxBuffer[n - 2] ^ 0xFFu);
    if (sent != CrcAccumulator)
        return false;
    // An acknowledgement carries the parameter number minus 1; the other
    // replies repeat their request's code.
    const std::int32_t first = RxBuffer[0];
    return ReplyMode == kModeWrite ? first == ExpectedTag - 1 : first == ReplyMode;
}

void TReplyState::Collect(std::span<const std::uint8_t> chunk)
{
    if (!Collecting())
        return;
    RxBuffer.insert(RxBuffer.end(), chunk.begin(), chunk.end());
    if (RxBuffer.size() != ExpectedLength())
        return;
    if (Valid())
        AwaitedFlag() = true;
    if (ReplyMode != kModeReadAll)
        RxBuffer.clear();
}

} // namespace lk58

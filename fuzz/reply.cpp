// Reply collection: the receive handler's rules that turn received bytes
// into an accepted reply, in every mode, with the bytes split across reads
// in every way.
//
// The input is a list of steps. A step byte of F0 or more arms the state
// for an exchange: its low two bits pick the mode (none, write, read-all,
// ping), bit 2 an arbitrary mode number from the next byte instead, and the
// byte after that is the write's parameter number. Any other step byte is a
// read of (byte mod 160) bytes, taken from the input.

#include "fuzzcommon.h"

#include "link/frame.h"
#include "link/replystate.h"

#include <algorithm>
#include <array>

namespace lk58::fuzz {

namespace {

constexpr std::array kModes{kModeNone, kModeWrite, kModeReadAll, kModePing};

bool ValidReply(std::span<const std::uint8_t> bytes, std::int32_t mode, std::int32_t tag)
{
    const std::size_t length = mode == kModeReadAll ? kReadAllReplySize : kShortReplySize;
    if (bytes.size() != length || !ChecksumValid(bytes))
        return false;
    return mode == kModeWrite ? bytes[0] == tag - 1 : bytes[0] == mode;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Where the first `length` bytes of what arrived since the state was armed
// that form a valid reply start; npos when none do.
std::size_t FirstValidReply(const Bytes& arrived, std::int32_t mode, std::int32_t tag, std::size_t length)
{
    for (std::size_t at = 0; at + length <= arrived.size(); ++at)
        if (ValidReply(std::span(arrived).subspan(at, length), mode, tag))
            return at;
    return kNone;
}

// True when some `length` bytes of what arrived start with the awaited first
// byte and fail their checksum.
bool HoldsDamagedReply(const Bytes& arrived, std::int32_t mode, std::int32_t tag, std::size_t length)
{
    for (std::size_t at = 0; at + length <= arrived.size(); ++at) {
        const auto candidate = std::span(arrived).subspan(at, length);
        if ((mode == kModeWrite ? candidate[0] == tag - 1 : candidate[0] == mode) && !ChecksumValid(candidate))
            return true;
    }
    return false;
}

struct TModel {
    Bytes arrived; // every byte read since the state was armed
};

void Arm(TReplyState& state, TModel& model, TInput& in, std::uint8_t step)
{
    std::int32_t mode = kModes[step & 3];
    if (step & 4)
        mode = in.Byte();
    const std::int32_t tag = in.Byte();
    state.Arm(mode, tag);
    FUZZ_CHECK(state.RxBuffer.empty());
    FUZZ_CHECK(!state.AwaitedFlag());
    FUZZ_CHECK(state.Collecting() == (mode == kModeWrite || mode == kModeReadAll || mode == kModePing));
    model = {};
}

void Read(TReplyState& state, TModel& model, std::span<const std::uint8_t> chunk)
{
    const bool collecting = state.Collecting();
    const std::int32_t mode = state.ReplyMode;
    const Bytes before = state.RxBuffer;
    const bool pingOk = state.PingOk, replyOk = state.ReplyOk;
    const bool wasAccepted = collecting && state.AwaitedFlag();

    const TExactCopy copy(chunk);
    state.Collect(copy.Span());

    FUZZ_CHECK(state.ReplyMode == mode);
    if (!collecting) {
        // Idle: the bytes stay in the port; nothing here changes.
        FUZZ_CHECK(state.RxBuffer == before);
        FUZZ_CHECK(state.PingOk == pingOk && state.ReplyOk == replyOk);
        return;
    }
    // Only the flag of the current mode may change, and once set it stays.
    FUZZ_CHECK(mode == kModePing ? state.ReplyOk == replyOk : state.PingOk == pingOk);
    FUZZ_CHECK(!wasAccepted || state.AwaitedFlag());

    const std::size_t length = state.ExpectedLength();
    FUZZ_CHECK(length == (mode == kModeReadAll ? kReadAllReplySize : kShortReplySize));
    model.arrived.insert(model.arrived.end(), chunk.begin(), chunk.end());
    const std::size_t found = FirstValidReply(model.arrived, mode, state.ExpectedTag, length);
    // A reply is accepted exactly when one lies in the bytes, wherever it
    // starts and however the reads cut them.
    FUZZ_CHECK(state.AwaitedFlag() == (found != kNone));
    if (found == kNone) {
        // Nothing is kept where no reply can start any more, and a reply
        // that came damaged is told from none.
        FUZZ_CHECK(state.RxBuffer.size() < length);
        FUZZ_CHECK(state.Damaged() == HoldsDamagedReply(model.arrived, mode, state.ExpectedTag, length));
    } else if (mode == kModeReadAll) {
        // The loader decodes the read-all reply in place: the buffer starts
        // with the first one that came, and holds what followed it.
        FUZZ_CHECK(std::ranges::equal(state.RxBuffer, std::span(model.arrived).subspan(found)));
    } else {
        FUZZ_CHECK(state.RxBuffer.size() < length);
    }
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    TInput in(data);
    TReplyState state;
    TModel model;
    while (!in.Empty()) {
        const std::uint8_t step = in.Byte();
        if (step >= 0xF0)
            Arm(state, model, in, step);
        else
            Read(state, model, in.Take(step % 160));
    }
}

} // namespace lk58::fuzz

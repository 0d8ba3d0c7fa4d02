// The simulated converter's side of the protocol: bytes from the line cut
// into requests by their first byte, silent gaps that drop a partial
// request, each request's effect on the block, and the reply with every
// fault edit, checked against the program's own reply rules.
//
// The input is a list of reads: a length byte (low 7 bits: bytes that
// follow; top bit: the line then stays silent past the gap), the bytes.

#include "fuzzcommon.h"

#include "link/frame.h"
#include "link/replystate.h"
#include "sim/protocol.h"

#include <string>

namespace lk58::fuzz {

namespace {

using namespace lk58::sim;

// Collects `reply` as the program does for `request`, in one read or in
// two split at `at`. Returns whether it was accepted.
bool Accepted(const Bytes& request, const Bytes& reply, std::size_t at)
{
    TReplyState state;
    const RequestKind kind = KindOf(request[0]);
    state.Arm(kind == RequestKind::Ping ? kModePing : kind == RequestKind::ReadAll ? kModeReadAll : kModeWrite,
              request[0]);
    at = std::min(at, reply.size());
    const TExactCopy head{std::span(reply).first(at)};
    const TExactCopy tail{std::span(reply).subspan(at)};
    state.Collect(head.Span());
    state.Collect(tail.Span());
    return state.AwaitedFlag();
}

void Serve(Tq36Block& block, const Bytes& request, std::size_t splitAt)
{
    FUZZ_CHECK(request.size() == RequestLength(request[0]));
    const RequestKind kind = KindOf(request[0]);
    FUZZ_CHECK(!DescribeRequest(request).empty());
    FUZZ_CHECK(Hex(request).size() == 3 * request.size() - 1);
    if (!ChecksumValid(request))
        return;

    const Tq36Block before = block;
    const bool applied = kind == RequestKind::Write && ApplyWrite(block, request);
    if (kind != RequestKind::Write || !applied) {
        // Pings, read-alls and rejected writes leave the block alone.
        FUZZ_CHECK(block == before);
        if (kind == RequestKind::Write) {
            FUZZ_CHECK(request[0] < 1 || request[0] > 64);
            return;
        }
    } else {
        const std::uint32_t value = WriteValue(request);
        if (request[0] == 63)
            FUZZ_CHECK(GetWord(block, 63) == value >> 16 && GetWord(block, 64) == (value & 0xFFFF));
        else
            FUZZ_CHECK(GetWord(block, request[0]) == (value & 0xFFFF));
    }

    const Bytes reply = ReplyTo(block, request);
    FUZZ_CHECK(!DescribeReply(request).empty());
    FUZZ_CHECK(reply.size() == (kind == RequestKind::ReadAll ? kReadAllReplySize : kShortReplySize));
    FUZZ_CHECK(ChecksumValid(reply));
    if (kind == RequestKind::ReadAll)
        FUZZ_CHECK(std::equal(block.begin(), block.end(), reply.begin() + 1));
    // The program accepts the true reply whole and split anywhere, and
    // refuses it with either fault that damages it.
    FUZZ_CHECK(Accepted(request, reply, reply.size()));
    FUZZ_CHECK(Accepted(request, reply, splitAt));
    Bytes wrong = reply;
    SetWrongFirstByte(wrong, request);
    FUZZ_CHECK(wrong.size() == reply.size() && ChecksumValid(wrong) && wrong[0] != reply[0]);
    FUZZ_CHECK(!Accepted(request, wrong, splitAt));
    Bytes corrupt = reply;
    CorruptChecksum(corrupt);
    FUZZ_CHECK(!ChecksumValid(corrupt) && !Accepted(request, corrupt, splitAt));
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    TInput in(data);
    Tq36Block block = DefaultBlock();
    RequestFramer framer;
    Bytes line, framed; // every byte read; every byte framed or dropped
    std::size_t splitAt = 0;
    while (!in.Empty()) {
        const std::uint8_t head = in.Byte();
        const TExactCopy read(in.Take(head & 0x7F));
        for (std::uint8_t byte : read.Span()) {
            line.push_back(byte);
            if (!framer.Push(byte)) {
                FUZZ_CHECK(framer.HasPartial());
                continue;
            }
            FUZZ_CHECK(!framer.HasPartial());
            const Bytes request = framer.Take();
            framed.insert(framed.end(), request.begin(), request.end());
            Serve(block, request, splitAt++ % 132);
        }
        if (head & 0x80 && framer.HasPartial()) {
            const Bytes partial = framer.DropPartial();
            FUZZ_CHECK(!partial.empty() && partial.size() < RequestLength(partial[0]));
            FUZZ_CHECK(!framer.HasPartial());
            framed.insert(framed.end(), partial.begin(), partial.end());
        }
    }
    // No byte is lost or made up: what is not framed yet is the partial request.
    const Bytes rest = framer.DropPartial();
    framed.insert(framed.end(), rest.begin(), rest.end());
    FUZZ_CHECK(framed == line);
}

} // namespace lk58::fuzz

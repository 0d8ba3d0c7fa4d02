#include "sim/protocol.h"

#include <cstdio>
#include <stdexcept>

namespace lk58::sim {

std::size_t RequestLength(std::uint8_t first)
{
    return first == kPingCode || first == kReadAllCode ? kPingRequestSize : kWriteRequestSize;
}

RequestKind KindOf(std::uint8_t first)
{
    if (first == kPingCode)
        return RequestKind::Ping;
    if (first == kReadAllCode)
        return RequestKind::ReadAll;
    return RequestKind::Write;
}

unsigned KindBit(RequestKind kind)
{
    switch (kind) {
    case RequestKind::Ping: return kOnPing;
    case RequestKind::ReadAll: return kOnReadAll;
    case RequestKind::Write: return kOnWrite;
    }
    return 0;
}

bool RequestFramer::Push(std::uint8_t byte)
{
    if (complete_) {
        pending_.clear();
        complete_ = false;
    }
    pending_.push_back(byte);
    complete_ = pending_.size() == RequestLength(pending_.front());
    return complete_;
}

Bytes RequestFramer::Take()
{
    complete_ = false;
    Bytes out;
    out.swap(pending_);
    return out;
}

Bytes RequestFramer::DropPartial()
{
    return Take();
}

std::uint16_t GetWord(const Tq36Block& block, int n)
{
    if (n < 1 || n > 64)
        throw std::out_of_range("parameter number outside 1..64");
    const std::size_t at = 2 * static_cast<std::size_t>(n - 1);
    return static_cast<std::uint16_t>(block[at] << 8 | block[at + 1]);
}

void PutWord(Tq36Block& block, int n, std::uint16_t value)
{
    if (n < 1 || n > 64)
        throw std::out_of_range("parameter number outside 1..64");
    const std::size_t at = 2 * static_cast<std::size_t>(n - 1);
    block[at] = static_cast<std::uint8_t>(value >> 8);
    block[at + 1] = static_cast<std::uint8_t>(value);
}

std::uint32_t WriteValue(const Bytes& request)
{
    return std::uint32_t(request.at(1)) << 24 | std::uint32_t(request.at(2)) << 16
        | std::uint32_t(request.at(3)) << 8 | request.at(4);
}

bool ApplyWrite(Tq36Block& block, const Bytes& request)
{
    const int number = request.at(0);
    if (number < 1 || number > 64)
        return false;
    const std::uint32_t value = WriteValue(request);
    // The 16-bit and 32-bit writes look alike on the wire; only the
    // resistance compensation is 32 bits wide, so only it takes the high word.
    if (number == 63) {
        PutWord(block, 63, static_cast<std::uint16_t>(value >> 16));
        PutWord(block, 64, static_cast<std::uint16_t>(value));
    } else {
        PutWord(block, number, static_cast<std::uint16_t>(value));
    }
    return true;
}

Bytes ReplyTo(const Tq36Block& block, const Bytes& request)
{
    switch (KindOf(request.at(0))) {
    case RequestKind::Ping:
        // The four free bytes say "TQ36" to anyone reading the traffic.
        return ShortReply(kPingCode, {'T', 'Q', '3', '6'});
    case RequestKind::ReadAll:
        return ReadAllReply(block);
    case RequestKind::Write:
        break;
    }
    return ShortReply(static_cast<std::uint8_t>(request[0] - 1));
}

void CorruptChecksum(Bytes& reply)
{
    if (!reply.empty())
        reply.back() ^= 0xFF;
}

void SetWrongFirstByte(Bytes& reply, const Bytes& request)
{
    if (reply.size() < 3)
        return;
    switch (KindOf(request.at(0))) {
    case RequestKind::Ping: reply[0] = kReadAllCode; break;
    case RequestKind::ReadAll: reply[0] = kPingCode; break;
    case RequestKind::Write: reply[0] = request[0]; break;
    }
    // Only the first byte is wrong: the checksum still fits the frame.
    reply.resize(reply.size() - 2);
    AppendChecksum(reply);
}

std::string Hex(const Bytes& bytes)
{
    std::string out;
    char buf[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        if (!out.empty())
            out += ' ';
        out += buf;
    }
    return out;
}

std::string DescribeRequest(const Bytes& request)
{
    switch (KindOf(request.at(0))) {
    case RequestKind::Ping: return "ping";
    case RequestKind::ReadAll: return "read-all";
    case RequestKind::Write: break;
    }
    char buf[64];
    const std::uint32_t value = WriteValue(request);
    if (request[0] == 63)
        std::snprintf(buf, sizeof buf, "write 63 := 0x%08X (words 63, 64)", unsigned(value));
    else
        std::snprintf(buf, sizeof buf, "write %d := 0x%04X", request[0], unsigned(value & 0xFFFF));
    return buf;
}

std::string DescribeReply(const Bytes& request)
{
    switch (KindOf(request.at(0))) {
    case RequestKind::Ping: return "ping reply";
    case RequestKind::ReadAll: return "read-all reply";
    case RequestKind::Write: break;
    }
    return "ack " + std::to_string(request[0]);
}

} // namespace lk58::sim

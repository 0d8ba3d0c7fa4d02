#pragma once

// The converter's side of the protocol, without I/O or threads: framing of
// requests, their effect on the block, the replies and their descriptions.

#include "sim/simulator.h"

#include <cstdint>
#include <string>

namespace lk58::sim {

// Request length told by its first byte: ping and read-all 3, writes 7.
std::size_t RequestLength(std::uint8_t first);
RequestKind KindOf(std::uint8_t first);
unsigned KindBit(RequestKind kind);

// Collects bytes into requests; the converter knows a request's length from
// its first byte only.
class RequestFramer {
public:
    // Adds a byte; true when it completes a request, which Take() returns.
    bool Push(std::uint8_t byte);
    Bytes Take();
    bool HasPartial() const { return !pending_.empty() && !complete_; }
    // Hands back the incomplete request and forgets it.
    Bytes DropPartial();

private:
    Bytes pending_;
    bool complete_ = false;
};

std::uint16_t GetWord(const Tq36Block& block, int n);
void PutWord(Tq36Block& block, int n, std::uint16_t value);

// The 32-bit value of a write request, most significant byte first.
std::uint32_t WriteValue(const Bytes& request);

// Applies a write with a valid checksum. Parameter 63 takes the whole
// 32-bit value into words 63 (high) and 64 (low); any other parameter of
// 1..64 takes the low 16 bits. Returns false, changing nothing, for a
// parameter outside 1..64.
bool ApplyWrite(Tq36Block& block, const Bytes& request);

// The correct reply to a request with a valid checksum.
Bytes ReplyTo(const Tq36Block& block, const Bytes& request);

// Fault edits of a reply to `request`.
void CorruptChecksum(Bytes& reply);
void SetWrongFirstByte(Bytes& reply, const Bytes& request);

std::string Hex(const Bytes& bytes);
std::string DescribeRequest(const Bytes& request);
std::string DescribeReply(const Bytes& request);

} // namespace lk58::sim

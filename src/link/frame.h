#pragma once

#include "core/bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lk58 {

// Frame lengths and first bytes of the converter's protocol.
inline constexpr std::size_t kPingRequestSize = 3;
inline constexpr std::size_t kReadAllRequestSize = 3;
inline constexpr std::size_t kWriteRequestSize = 7;
inline constexpr std::size_t kShortReplySize = 7;    // ping reply and write acknowledgement
inline constexpr std::size_t kReadAllReplySize = 131;
inline constexpr std::size_t kSettingsBlockSize = 128;
inline constexpr std::uint8_t kPingCode = 0xFF;
inline constexpr std::uint8_t kReadAllCode = 0xFE;

// One step of the checksum: CRC-16 with the reflected polynomial 0xA001,
// initial value 0 (CRC-16/ARC). Returns the new accumulator.
std::uint16_t Crc16(std::uint16_t acc, std::uint8_t byte);

// The accumulator after running `acc` over every byte of `data`.
std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t acc = 0);

// Appends the two checksum bytes over all of `frame`: the ones' complement
// of the CRC, low byte first.
void AppendChecksum(Bytes& frame);

// True when the last two bytes of `frame` are the checksum of the bytes
// before them. A frame shorter than 2 bytes never passes.
bool ChecksumValid(std::span<const std::uint8_t> frame);

// Request frames.
Bytes PingRequest();
Bytes ReadAllRequest();
// 16-bit write: offsets 1 and 2 are zero, the value's low 16 bits follow,
// high byte first. Only the low 8 bits of `number` go on the wire.
Bytes WriteRequest16(std::int32_t number, std::int32_t value);
// 32-bit write: the whole two's-complement value, most significant byte first.
Bytes WriteRequest32(std::int32_t number, std::int32_t value);

// Reply frames, as the converter sends them.
Bytes ShortReply(std::uint8_t first, const std::array<std::uint8_t, 4>& payload = {});
Bytes ReadAllReply(std::span<const std::uint8_t, kSettingsBlockSize> block);

// Cuts a text into `count` 16-bit words: word k holds character 2k in its
// high byte and character 2k+1 in its low byte. A text shorter than
// 2 x count is followed by one zero byte, and every position after it is
// zero too, as is every word of an empty text; characters beyond 2 x count
// are dropped.
std::vector<std::uint16_t> TextWords(std::span<const std::uint8_t> text, std::size_t count);

} // namespace lk58

#include "link/frame.h"

#include <bit>

namespace lk58 {

std::uint16_t Crc16(std::uint16_t acc, std::uint8_t byte)
{
    const unsigned d = (byte ^ acc) & 0xFFu;
    unsigned a = acc >> 8;
    if (std::popcount(d) & 1)
        a ^= 0xC001u;
    a ^= d << 6;
    a ^= d << 7;
    return static_cast<std::uint16_t>(a);
}

std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t acc)
{
    for (std::uint8_t b : data)
        acc = Crc16(acc, b);
    return acc;
}

void AppendChecksum(Bytes& frame)
{
    const std::uint16_t crc = Crc16(frame);
    // Complemented, and the low byte goes first, unlike the values.
    frame.push_back(static_cast<std::uint8_t>((crc & 0xFF) ^ 0xFF));
    frame.push_back(static_cast<std::uint8_t>((crc >> 8) ^ 0xFF));
}

bool ChecksumValid(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 2)
        return false;
    const std::size_t n = frame.size();
    const std::uint16_t crc = Crc16(frame.first(n - 2));
    const unsigned sent = ((frame[n - 1] ^ 0xFFu) << 8) | (frame[n - 2] ^ 0xFFu);
    return sent == crc;
}

Bytes PingRequest()
{
    Bytes f{kPingCode};
    AppendChecksum(f);
    return f;
}

Bytes ReadAllRequest()
{
    Bytes f{kReadAllCode};
    AppendChecksum(f);
    return f;
}

namespace {
Bytes WriteFrame(std::int32_t number, std::uint32_t value)
{
    Bytes f{static_cast<std::uint8_t>(number & 0xFF),
            static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    AppendChecksum(f);
    return f;
}
} // namespace

Bytes WriteRequest16(std::int32_t number, std::int32_t value)
{
    return WriteFrame(number, static_cast<std::uint32_t>(value) & 0xFFFFu);
}

Bytes WriteRequest32(std::int32_t number, std::int32_t value)
{
    return WriteFrame(number, static_cast<std::uint32_t>(value));
}

Bytes ShortReply(std::uint8_t first, const std::array<std::uint8_t, 4>& payload)
{
    Bytes f{first, payload[0], payload[1], payload[2], payload[3]};
    AppendChecksum(f);
    return f;
}

Bytes ReadAllReply(std::span<const std::uint8_t, kSettingsBlockSize> block)
{
    Bytes f;
    f.reserve(kReadAllReplySize);
    f.push_back(kReadAllCode);
    f.insert(f.end(), block.begin(), block.end());
    AppendChecksum(f);
    return f;
}

std::vector<std::uint16_t> TextWords(std::span<const std::uint8_t> text, std::size_t count)
{
    // Positions past the text, the terminating zero included, stay zero.
    std::vector<std::uint8_t> bytes(2 * count, 0);
    for (std::size_t i = 0; i < bytes.size() && i < text.size(); ++i)
        bytes[i] = text[i];
    std::vector<std::uint16_t> words(count);
    for (std::size_t k = 0; k < count; ++k)
        words[k] = static_cast<std::uint16_t>((bytes[2 * k] << 8) | bytes[2 * k + 1]);
    return words;
}

} // namespace lk58

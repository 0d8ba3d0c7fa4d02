#include "settings/textcodec.h"

#include <algorithm>
#include <array>

namespace lk58 {
namespace {

// Windows-1250 bytes 80 to FF as Unicode code points; 0 where the code page
// assigns no character. Below 80 it is ASCII. One table on every system:
// neither every C library nor Qt without ICU converts this code page.
constexpr std::array<char32_t, 128> kUpperHalf{
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, // 80
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

constexpr char kMissing = '?';

// Length of the well-formed UTF-8 sequence at the start of `s`, or of its
// longest well-formed beginning when it is broken (at least 1), so that one
// bad character costs exactly one "?".
std::size_t Utf8Step(std::string_view s)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t need = 0;
    unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        need = 1;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else
        return 1;
    std::size_t n = 1;
    for (; n <= need && n < s.size(); ++n) {
        const auto b = static_cast<unsigned char>(s[n]);
        if (b < (n == 1 ? lo : 0x80) || b > (n == 1 ? hi : 0xBF))
            break;
    }
    return n;
}

// The length of the sequence that the lead byte `b0` announces.
std::size_t Utf8Length(unsigned char b0)
{
    return b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
}

// The code point of a well-formed sequence of `n` bytes.
char32_t Utf8Decode(std::string_view s, std::size_t n)
{
    static constexpr unsigned char kLeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(s[0]) & kLeadBits[n - 1];
    for (std::size_t i = 1; i < n; ++i)
        c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return c;
}

void Utf8Append(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        // The code page holds nothing beyond the Basic Multilingual Plane.
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The code page's byte for `c`, or "?" when it has none.
std::uint8_t ToCodePage(char32_t c)
{
    if (c < 0x80)
        return static_cast<std::uint8_t>(c);
    const auto it = std::find(kUpperHalf.begin(), kUpperHalf.end(), c);
    return it == kUpperHalf.end() ? kMissing : static_cast<std::uint8_t>(0x80 + (it - kUpperHalf.begin()));
}

} // namespace

Bytes EncodeText(std::string_view utf8, std::size_t maxBytes)
{
    Bytes out;
    while (!utf8.empty() && out.size() < maxBytes) {
        const std::size_t n = Utf8Step(utf8);
        const bool whole = n == Utf8Length(static_cast<unsigned char>(utf8[0]));
        out.push_back(whole ? ToCodePage(Utf8Decode(utf8, n)) : kMissing);
        utf8.remove_prefix(n);
    }
    return out;
}

std::string DecodeText(std::span<const std::uint8_t> bytes)
{
    std::string out;
    for (const std::uint8_t b : bytes) {
        if (b == 0)
            break;
        const char32_t c = b < 0x80 ? b : kUpperHalf[b - 0x80];
        if (c == 0)
            out.push_back(kMissing);
        else
            Utf8Append(out, c);
    }
    return out;
}

} // namespace lk58

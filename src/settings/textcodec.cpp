#include "settings/textcodec.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <vector>

namespace lk58 {
namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw ETextCodecUnavailable(std::string("cannot convert from ") + from + " to " + to);
    }
    ~IconvHandle() { iconv_close(cd_); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

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

// Runs iconv over all of `in`; every character that it refuses becomes "?"
// and `step` says how many input bytes that character takes.
template <class Step>
std::string Convert(const char* to, const char* from, std::string_view in, Step step)
{
    IconvHandle cd(to, from);
    std::string out;
    std::vector<char> buf(4 * in.size() + 16);
    char* inPtr = const_cast<char*>(in.data()); // iconv does not write through it
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = buf.data();
        std::size_t outLeft = buf.size();
        const std::size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        out.append(buf.data(), static_cast<std::size_t>(outPtr - buf.data()));
        if (rc != static_cast<std::size_t>(-1) || err == E2BIG)
            continue;
        // EILSEQ or EINVAL: a character that cannot be converted, or a broken one.
        const std::size_t n = std::min(step(std::string_view(inPtr, inLeft)), inLeft);
        out.push_back('?');
        inPtr += n;
        inLeft -= n;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

} // namespace

Bytes EncodeText(std::string_view utf8, std::size_t maxBytes)
{
    const std::string cp = Convert("WINDOWS-1250", "UTF-8", utf8, Utf8Step);
    Bytes out(cp.begin(), cp.end());
    if (out.size() > maxBytes)
        out.resize(maxBytes);
    return out;
}

std::string DecodeText(std::span<const std::uint8_t> bytes)
{
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    const std::string_view in(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<std::size_t>(end - bytes.begin()));
    return Convert("UTF-8", "WINDOWS-1250", in, [](std::string_view) { return std::size_t{1}; });
}

} // namespace lk58

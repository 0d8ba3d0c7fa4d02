#include "fuzzcommon.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lk58::fuzz {

void Fail(const char* rule, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, rule);
    std::abort();
}

std::uint8_t TInput::Byte()
{
    if (data_.empty())
        return 0;
    const std::uint8_t b = data_.front();
    data_ = data_.subspan(1);
    return b;
}

std::span<const std::uint8_t> TInput::Take(std::size_t n)
{
    const std::span<const std::uint8_t> piece = data_.first(n < data_.size() ? n : data_.size());
    data_ = data_.subspan(piece.size());
    return piece;
}

TExactCopy::TExactCopy(std::span<const std::uint8_t> bytes)
    : data_(new std::uint8_t[bytes.size()]), size_(bytes.size())
{
    if (size_ > 0)
        std::memcpy(data_.get(), bytes.data(), size_);
}

} // namespace lk58::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const lk58::fuzz::TExactCopy input({data, size});
    lk58::fuzz::FuzzOne(input.Span());
    return 0;
}

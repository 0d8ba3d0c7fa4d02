#pragma once

#include "core/bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lk58 {

// The converter stores texts one byte a character in Windows-1250 (Czech);
// the program holds them as UTF-8. Both directions are safe for any input:
// they never throw on bad text and never read or write out of bounds.

// UTF-8 to Windows-1250. A character that the code page lacks, and every
// byte that is not part of well-formed UTF-8, becomes one "?". The result is
// cut to at most `maxBytes` bytes (field widths count bytes).
Bytes EncodeText(std::string_view utf8, std::size_t maxBytes);

// Windows-1250 to UTF-8, up to the first zero byte of `bytes` (all of them
// if there is none). A byte to which the code page assigns no character
// (81, 83, 88, 90, 98) becomes "?".
std::string DecodeText(std::span<const std::uint8_t> bytes);

} // namespace lk58

#pragma once

#include <cstdint>
#include <vector>

namespace lk58 {

// A length-counted string of 8-bit bytes, zero bytes allowed: frames, the
// receive buffer and texts as the converter stores them.
using Bytes = std::vector<std::uint8_t>;

} // namespace lk58

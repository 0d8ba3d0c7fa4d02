#pragma once

#include <array>

namespace lk58 {

inline constexpr int kHelpLineCount = 116;
// The help text, one UTF-8 line each, without line ends.
extern const std::array<const char*, kHelpLineCount> kHelpLines;

} // namespace lk58

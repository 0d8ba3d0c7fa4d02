#pragma once

#include <cstdint>

// Line rates through the kernel's termios2 interface, which takes any rate
// in bits per second. Kept apart because <asm/termbits.h> clashes with
// <termios.h>. Both return false and leave errno on failure.
namespace lk58::platform {

bool GetLineRate(int fd, std::uint32_t& rate);
// Sets both directions to rate, leaving every other line setting as it is.
bool SetLineRate(int fd, std::uint32_t rate);

} // namespace lk58::platform

#pragma once

#include "core/bytes.h"

namespace lk58::test {

// Bytes written as hex pairs apart: "FF BF BF".
Bytes HexBytes(const char* text);

} // namespace lk58::test

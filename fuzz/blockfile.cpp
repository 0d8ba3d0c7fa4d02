// The simulator's block file reader: any text, as a user may have edited
// the file. A block it accepts names every parameter 1..64 exactly once,
// and reads back unchanged from the file the simulator writes for it.

#include "fuzzcommon.h"

#include "sim/blockfile.h"

#include <cstdlib>
#include <sstream>
#include <string>

namespace lk58::fuzz {

namespace {

// The parameter number at the start of an accepted line, read as the
// whole decimal number it is written as.
bool NumberInRange(const std::string& line)
{
    const char* p = line.c_str();
    char* end = nullptr;
    const long long n = std::strtoll(p, &end, 10);
    return end != p && n >= 1 && n <= 64;
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    const std::string text(data.begin(), data.end());
    std::string error;
    const auto block = ParseBlock(text, error);
    if (!block) {
        FUZZ_CHECK(error.rfind("line ", 0) == 0 || error.rfind("parameter ", 0) == 0);
        return;
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#')
            continue;
        FUZZ_CHECK(NumberInRange(line));
    }
    std::string again;
    FUZZ_CHECK(ParseBlock(FormatBlock(*block), again) == block);
}

} // namespace lk58::fuzz

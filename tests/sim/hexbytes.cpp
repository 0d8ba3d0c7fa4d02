#include "hexbytes.h"

#include <cstdlib>
#include <sstream>
#include <string>

namespace lk58::test {

Bytes HexBytes(const char* text)
{
    Bytes out;
    std::istringstream in(text);
    std::string part;
    while (in >> part)
        out.push_back(static_cast<std::uint8_t>(std::strtoul(part.c_str(), nullptr, 16)));
    return out;
}

} // namespace lk58::test

#include "serial/serialdevice.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace lk58::platform {

namespace {

namespace fs = std::filesystem;

// A tty is a real serial port when its device is not virtual and, for the
// legacy ttyS slots, a UART stands behind it (type is not PORT_UNKNOWN).
bool IsSerialPort(const fs::path& entry)
{
    std::error_code ec;
    const fs::path device = fs::canonical(entry / "device", ec);
    if (ec)
        return false;
    const std::string target = device.string();
    if (target.find("/virtual/") != std::string::npos)
        return false;
    std::ifstream type(entry / "type");
    int value = 0;
    return !(type && type >> value && value == 0);
}

// Natural order: digit runs compare as numbers, so ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            const std::string ta = na.substr(std::min(na.find_first_not_of('0'), na.size()));
            const std::string tb = nb.substr(std::min(nb.find_first_not_of('0'), nb.size()));
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace

bool NaturalNameLess(const std::string& a, const std::string& b)
{
    return NaturalLess(a, b);
}

void ListSerialDevices(std::vector<std::string>& names)
{
    ListSerialDevicesIn("/sys/class/tty", names);
}

void ListSerialDevicesIn(const std::string& ttyClassDir, std::vector<std::string>& names)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(ttyClassDir, ec), end; !ec && it != end; it.increment(ec))
        if (IsSerialPort(it->path()))
            found.push_back(it->path().filename().string());
    if (ec)
        return;
    std::sort(found.begin(), found.end(), NaturalLess);
    for (const std::string& name : found)
        names.push_back("/dev/" + name);
}

} // namespace lk58::platform

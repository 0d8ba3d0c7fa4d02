#include "serial/serialdevice.h"

#include <string>
#include <vector>

#include <windows.h>

namespace lk58::platform {

namespace {

class TKey {
public:
    explicit TKey(HKEY key) : key_(key) {}
    ~TKey() { ::RegCloseKey(key_); }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

// The names of the key's values in the registry's order.
std::vector<std::string> ValueNames(HKEY key)
{
    DWORD count = 0, longest = 0;
    std::vector<std::string> names;
    if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<char> buffer(longest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::RegEnumValueA(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(buffer.data(), length);
    }
    return names;
}

// The text of a REG_SZ value, up to its first null character; false for a
// value of any other type, or one that is gone.
bool TextValue(HKEY key, const std::string& name, std::string& text)
{
    DWORD type = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    DWORD size = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<char> data(size);
    if (size > 0 &&
        ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS)
        return false;
    data.resize(size);
    text.assign(data.begin(), data.end());
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return true;
}

} // namespace

// The serial driver keeps one value per present port under this key: its
// name says which driver device, its data is the port's name. A port that
// goes away while the list is read is left out, as the list of a moment
// later would.
void ListSerialDevices(std::vector<std::string>& names)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    const TKey key(opened);
    for (const std::string& value : ValueNames(key.Get())) {
        std::string text;
        if (TextValue(key.Get(), value, text))
            names.push_back(text);
    }
}

} // namespace lk58::platform

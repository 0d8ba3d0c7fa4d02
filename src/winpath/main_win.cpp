// lk58-path: puts the LK58 folder on a Path of the registry, or takes it
// off, for the installer. The installer's own string functions hold 1,024
// characters, and a longer Path read through them comes back empty: this
// program reads and writes the value whole, in UTF-16, or not at all.
//   lk58-path add|remove HKCU|HKLM FOLDER
// Exit status 0: the Path holds the folder once (add) or not at all
// (remove); 1: the Path could not be read or written whole and was left as
// it was; 2: wrong arguments.

#include "winpath/pathlist.h"

#include <cstdio>
#include <optional>
#include <string>

#include <windows.h>
#include <shellapi.h>

using lk58::winpath::AddFolder;
using lk58::winpath::RemoveFolder;

namespace {

constexpr const wchar_t* kValue = L"Path";
constexpr const wchar_t* kMachineKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const wchar_t* kUserKey = L"Environment";

// The installer's log shows this program's output in the ANSI code page.
void Say(std::FILE* out, const std::wstring& text)
{
    const std::wstring line = L"lk58-path: " + text + L"\n";
    const int size = ::WideCharToMultiByte(CP_ACP, 0, line.data(), int(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, line.data(), int(line.size()), bytes.data(), size, nullptr, nullptr);
    std::fputs(bytes.c_str(), out);
    std::fflush(out);
}

std::wstring SystemText(LSTATUS code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                              FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                          nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.'))
        text.pop_back();
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

// The value as the registry holds it: its text, its type and the NULs that
// end it, so that it can be written back byte for byte.
struct TPathValue {
    bool exists = false;
    DWORD type = REG_EXPAND_SZ;
    std::wstring text;
    std::size_t nuls = 1;
};

LSTATUS ReadPath(HKEY key, TPathValue& value)
{
    for (;;) {
        DWORD type = 0, size = 0;
        LSTATUS status = ::RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            value = TPathValue{};
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS)
            return status;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        status = ::RegQueryValueExW(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) // it grew meanwhile
            continue;
        if (status != ERROR_SUCCESS)
            return status;
        // A list value, a number or half a character is no Path to edit.
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || got % sizeof(wchar_t) != 0)
            return ERROR_INVALID_DATA;
        data.resize(got / sizeof(wchar_t));
        value.exists = true;
        value.type = type;
        value.nuls = 0;
        while (!data.empty() && data.back() == L'\0') {
            data.pop_back();
            ++value.nuls;
        }
        // Windows reads a Path up to its first NUL: a folder added behind
        // one would be lost.
        if (data.find(L'\0') != std::wstring::npos)
            return ERROR_INVALID_DATA;
        value.text = std::move(data);
        return ERROR_SUCCESS;
    }
}

LSTATUS WritePath(HKEY key, const TPathValue& value)
{
    const std::wstring data = value.text + std::wstring(value.nuls, L'\0');
    return ::RegSetValueExW(key, kValue, 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                            DWORD(data.size() * sizeof(wchar_t)));
}

// Every program that reads the environment from the registry (Explorer, and
// the consoles it starts) is told to read it again.
void Announce()
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                          SMTO_ABORTIFHUNG, 5000, &result);
}

int Usage()
{
    Say(stderr, L"usage: lk58-path add|remove HKCU|HKLM FOLDER");
    return 2;
}

int Run(const std::wstring& action, const std::wstring& root, std::wstring folder)
{
    const bool add = action == L"add";
    if ((!add && action != L"remove") || (root != L"HKCU" && root != L"HKLM"))
        return Usage();
    // A folder that ends in a backslash, quoted, reaches us with the quote
    // (the backslash escapes it): no folder name holds a quote.
    while (!folder.empty() && folder.back() == L'"')
        folder.pop_back();
    if (folder.empty())
        return Usage();
    const bool machine = root == L"HKLM";
    const std::wstring where = root + L"\\" + (machine ? kMachineKey : kUserKey);

    HKEY key = nullptr;
    LSTATUS status = ::RegCreateKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, machine ? kMachineKey : kUserKey,
                                       0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        Say(stderr, L"cannot open " + where + L": " + SystemText(status) + L"; the Path is left as it was");
        return 1;
    }
    struct TKeyCloser {
        HKEY key;
        ~TKeyCloser() { ::RegCloseKey(key); }
    } closer{key};

    TPathValue value;
    status = ReadPath(key, value);
    if (status != ERROR_SUCCESS) {
        Say(stderr, L"cannot read the Path of " + where + L" whole: " + SystemText(status) +
                        L"; the Path is left as it was");
        return 1;
    }
    const std::optional<std::wstring> changed = add ? AddFolder(value.text, folder) : RemoveFolder(value.text, folder);
    if (!changed) {
        Say(stdout, folder + (add ? L" is on the Path of " : L" is not on the Path of ") + where + L" already");
        return 0;
    }
    TPathValue wanted = value;
    wanted.text = *changed;
    if (!value.exists)
        wanted.nuls = 1;
    // A user's Path of nothing goes away; the machine's stays, empty.
    if (wanted.text.empty() && !machine)
        status = ::RegDeleteValueW(key, kValue);
    else
        status = WritePath(key, wanted);
    if (status != ERROR_SUCCESS) {
        Say(stderr, L"cannot write the Path of " + where + L": " + SystemText(status));
        return 1;
    }
    TPathValue written;
    status = ReadPath(key, written);
    const bool gone = wanted.text.empty() && !machine;
    if (status != ERROR_SUCCESS || written.text != wanted.text || written.exists == gone) {
        Say(stderr, L"the Path of " + where + L" does not read back as written");
        return 1;
    }
    Announce();
    Say(stdout, (add ? L"added " : L"removed ") + folder + (add ? L" to the Path of " : L" from the Path of ") + where);
    return 0;
}

} // namespace

int main()
{
    // The wide command line: the C runtime's arguments are in the ANSI code
    // page, which may not hold every letter of the folder's name.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4)
        return Usage();
    const int status = Run(argv[1], argv[2], argv[3]);
    ::LocalFree(argv);
    return status;
}

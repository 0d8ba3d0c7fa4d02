#include "winpath/pathlist.h"

#include <algorithm>

namespace lk58::winpath {
namespace {

// Upper case as Windows compares file names, for the letters of folder
// names in practice: ASCII, the Latin-1 and Latin Extended-A letters
// (Czech among them), Greek and Cyrillic.
wchar_t Upper(wchar_t c)
{
    if (c >= L'a' && c <= L'z')
        return static_cast<wchar_t>(c - 0x20);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<wchar_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<wchar_t>(c - 0x50);
    // Latin Extended-A pairs a capital with the small letter after it,
    // capitals on even code points except in two runs where they are odd.
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool evenCapitals = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (evenCapitals && (c & 1))
        return static_cast<wchar_t>(c - 1);
    if (oddCapitals && !(c & 1))
        return static_cast<wchar_t>(c - 1);
    return c;
}

std::wstring_view Bare(std::wstring_view entry)
{
    auto trim = [&entry](wchar_t c) {
        while (!entry.empty() && entry.front() == c)
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == c)
            entry.remove_suffix(1);
    };
    trim(L' ');
    trim(L'"');
    while (!entry.empty() && entry.back() == L'\\')
        entry.remove_suffix(1);
    return entry;
}

std::wstring Join(const std::vector<std::wstring>& entries)
{
    std::wstring path;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            path += L';';
        path += entries[i];
    }
    return path;
}

} // namespace

std::vector<std::wstring> SplitPath(std::wstring_view path)
{
    std::vector<std::wstring> entries;
    for (;;) {
        const std::size_t end = path.find(L';');
        entries.emplace_back(path.substr(0, end));
        if (end == std::wstring_view::npos)
            return entries;
        path.remove_prefix(end + 1);
    }
}

bool SameFolder(std::wstring_view entry, std::wstring_view folder)
{
    entry = Bare(entry);
    folder = Bare(folder);
    return !folder.empty() && entry.size() == folder.size() &&
           std::equal(entry.begin(), entry.end(), folder.begin(),
                      [](wchar_t a, wchar_t b) { return Upper(a) == Upper(b); });
}

std::optional<std::wstring> AddFolder(std::wstring_view path, std::wstring_view folder)
{
    if (path.empty())
        return std::wstring(folder);
    std::vector<std::wstring> entries = SplitPath(path);
    if (std::any_of(entries.begin(), entries.end(), [&](const std::wstring& e) { return SameFolder(e, folder); }))
        return std::nullopt;
    auto last = entries.end();
    while (last != entries.begin() && std::prev(last)->empty())
        --last;
    // A value of nothing but semicolons keeps them all behind the folder.
    entries.insert(last, std::wstring(folder));
    return Join(entries);
}

std::optional<std::wstring> RemoveFolder(std::wstring_view path, std::wstring_view folder)
{
    std::vector<std::wstring> entries = SplitPath(path);
    const auto kept = std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring& e) { return SameFolder(e, folder); });
    if (kept == entries.end())
        return std::nullopt;
    entries.erase(kept, entries.end());
    return Join(entries);
}

} // namespace lk58::winpath

#pragma once

// The folder list of a Windows Path value, edited so that everything but
// our own entry stays exactly as it was. Pure: no registry, any system.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lk58::winpath {

// The entries between the semicolons, empty ones included, so that joining
// them with ';' gives the value back exactly.
std::vector<std::wstring> SplitPath(std::wstring_view path);

// True when a Path entry names `folder`, as Windows looks folders up: in any
// letter case, with or without trailing backslashes, quoted or not.
bool SameFolder(std::wstring_view entry, std::wstring_view folder);

// `path` with `folder` as its last entry (before any empty entries that end
// it, so that removing it gives `path` back), or nothing when `folder` is
// there already.
std::optional<std::wstring> AddFolder(std::wstring_view path, std::wstring_view folder);

// `path` without every entry that names `folder` (and the semicolon that
// joined it), or nothing when no entry names it.
std::optional<std::wstring> RemoveFolder(std::wstring_view path, std::wstring_view folder);

} // namespace lk58::winpath

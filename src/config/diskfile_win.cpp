#include "config/diskfile.h"
#include "config/diskfile_platform.h"

#include <cerrno>

#include <io.h>
#include <windows.h>

namespace lk58::config {

// `handle` is the C library's descriptor (what QFile::handle() gives on
// Windows); _commit flushes it with FlushFileBuffers and sets errno.
int SyncToDisk(int handle)
{
    return ::_commit(handle) == 0 ? 0 : errno;
}

namespace {

// The volume and file index of `path`, as Windows names one file whatever
// the links or spellings that lead to it.
bool FileIdentity(const QString& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    return ok;
}

} // namespace

bool SameFile(const QString& a, const QString& b)
{
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!FileIdentity(a, ia) || !FileIdentity(b, ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

} // namespace lk58::config

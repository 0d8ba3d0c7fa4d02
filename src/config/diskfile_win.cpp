#include "config/diskfile.h"
#include "config/diskfile_platform.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>

#include <fcntl.h>
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

const wchar_t* Wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

bool ReadOnly(const QString& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(QDir::toNativeSeparators(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Another program has `path` open and does not let it be replaced: a
// viewer that opened it without delete sharing. Windows says only "access
// denied" when a move over such a file fails; opening it for deletion
// tells the sharing violation apart.
bool HeldOpen(const QString& path)
{
    const HANDLE h = ::CreateFileW(Wide(QDir::toNativeSeparators(path)), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return false;
    }
    const DWORD code = ::GetLastError();
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

// The system's text for `code`, without the full stop and line end that
// Windows puts after it.
QString SystemText(DWORD code)
{
    QString text = qt_error_string(static_cast<int>(code));
    while (!text.isEmpty() && (text.back() == QLatin1Char('.') || text.back().isSpace()))
        text.chop(1);
    return text;
}

} // namespace

// Qt reads a pipe it opened by name with ReadFile, and takes the error
// that ends a pipe whose writer is done (ERROR_BROKEN_PIPE) for a failed
// read; the C library's descriptor reads it as the end of the file.
bool OpenPipe(QFile& file)
{
    static const QRegularExpression pipeName(R"(^[\\/]{2}[^\\/]+[\\/]pipe[\\/])",
                                             QRegularExpression::CaseInsensitiveOption);
    if (!pipeName.match(file.fileName()).hasMatch())
        return false;
    const int fd = ::_wopen(Wide(QDir::toNativeSeparators(file.fileName())), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::_close(fd);
    return false;
}

QString ReplaceRefused(const QString& path)
{
    return ReadOnly(path) ? QStringLiteral("the file is read-only") : QString();
}

QString MoveIntoPlace(const QString& written, const QString& target)
{
    // Write-through: the move is on the disk when the call returns, so a
    // power cut cannot bring back the old file, or none.
    if (::MoveFileExW(Wide(QDir::toNativeSeparators(written)), Wide(QDir::toNativeSeparators(target)),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    const DWORD code = ::GetLastError();
    const QString held = QStringLiteral("the file is open in another program; close it there and try again");
    switch (code) {
    // A viewer that has the file open (a report PDF) keeps it from being replaced.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return held;
    case ERROR_ACCESS_DENIED:
        if (ReadOnly(target))
            return QStringLiteral("the file is read-only");
        if (HeldOpen(target))
            return held;
        break;
    default:
        break;
    }
    return SystemText(code);
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

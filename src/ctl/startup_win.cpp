#include "ctl/startup.h"

#include <cerrno>
#include <cstdlib>

#include <windows.h>
#include <shellapi.h>

namespace lk58::ctl {

namespace {

UINT consoleCodePage = 0;

void RestoreCodePage()
{
    ::SetConsoleOutputCP(consoleCodePage);
}

} // namespace

// The console keeps its code page after the program ends: the one it had
// is put back then.
void PrepareOutput()
{
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(RestoreCodePage);
}

QStringList CommandLineArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    QStringList args;
    if (wide == nullptr) {
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        return args;
    }
    for (int i = 1; i < count; ++i)
        args << QString::fromWCharArray(wide[i]);
    ::LocalFree(wide);
    return args;
}

// Windows holds no signals for a new process.
void ReleaseInterrupts() {}

// A write to a pipe nobody reads fails on Windows; it never ends the process.
void KeepWorkingWithoutReader() {}

int StreamError(int error)
{
    const DWORD code = ::GetLastError();
    return error == EINVAL && (code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE) ? EPIPE : error;
}

// Windows' own platform draws without a window, with the system's fonts,
// in a console program as anywhere.
void DrawWithoutDisplay() {}

} // namespace lk58::ctl

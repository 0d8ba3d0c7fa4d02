#include "ctl/console.h"

#include <io.h>
#include <windows.h>

namespace lk58::ctl {

namespace {

HANDLE HandleOf(std::FILE* out)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
}

} // namespace

// A console, and one that understands the escape sequences that move the
// cursor up; an older console gets the plain lines instead.
bool TConsole::StderrIsTerminal()
{
    const HANDLE h = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || h == nullptr || !::GetConsoleMode(h, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns(std::FILE* out)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(HandleOf(out), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

} // namespace lk58::ctl

#include "ctl/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace lk58::ctl {

bool TConsole::StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

int TerminalColumns(std::FILE* out)
{
    winsize ws{};
    return ::ioctl(::fileno(out), TIOCGWINSZ, &ws) == 0 ? ws.ws_col : 0;
}

} // namespace lk58::ctl

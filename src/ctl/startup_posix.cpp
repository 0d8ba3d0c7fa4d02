#include "ctl/startup.h"

#include "ctl/interrupt_posix.h"

#include <QByteArray>

#include <csignal>

namespace lk58::ctl {

// A terminal's encoding is the locale's, UTF-8 on any current system.
void PrepareOutput() {}

QStringList CommandLineArguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void ReleaseInterrupts()
{
    sigset_t held;
    sigemptyset(&held);
    AddInterruptSignals(held);
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

void KeepWorkingWithoutReader()
{
    std::signal(SIGPIPE, SIG_IGN);
}

int StreamError(int error)
{
    return error;
}

// X11 or Wayland may be absent: the offscreen platform needs neither.
void DrawWithoutDisplay()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace lk58::ctl

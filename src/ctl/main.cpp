// tq36ctl: the TQ36 converter's settings from the command line.

#include "ctl/cmdtable.h"
#include "ctl/interrupt.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using namespace lk58::ctl;

namespace {

void Print(std::FILE* out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out);
}

// A worker starts with the interrupt signals held (see workers.cpp); they
// are let through once the handler is in place.
void ReleaseInterrupts()
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tq36ctl");
    QCoreApplication::setApplicationVersion(LK58_VERSION);

    QStringList args = QCoreApplication::arguments().mid(1);
    // Hidden: this process serves one port of a several-port run.
    const bool worker = !args.isEmpty() && args.first() == "--worker";
    if (worker)
        args.removeFirst();
    TInvocation inv;
    try {
        inv = ParseCommandLine(args);
    } catch (const TFailure& f) {
        Print(stderr, "tq36ctl: " + f.message + "\nTry 'tq36ctl --help'.\n");
        return static_cast<int>(TExit::Usage);
    }
    // Ctrl+C ends a read at once, but lets a write finish what is under way.
    if (inv.command && inv.command->writes)
        InstallInterruptHandler();
    // A worker whose parent is gone still finishes its port's work: a
    // converter must not be left with half a text written.
    if (worker)
        std::signal(SIGPIPE, SIG_IGN);
    ReleaseInterrupts();
    if (inv.Flag("help")) {
        Print(stdout, HelpText());
        return 0;
    }
    if (inv.Flag("version")) {
        Print(stdout, "tq36ctl (LK58) " + QCoreApplication::applicationVersion() + '\n');
        return 0;
    }
    inv.worker = worker;
    return static_cast<int>(inv.command->run(inv));
}

// tq36ctl: the TQ36 converter's settings from the command line.

#include "ctl/cmdtable.h"
#include "ctl/commands.h"
#include "ctl/interrupt.h"
#include "ctl/output.h"
#include "ctl/startup.h"
#include "sim/simport.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

using namespace lk58::ctl;

namespace {

void Print(std::FILE* out, const QString& text)
{
    PrintText(out, text);
}

QtMessageHandler qtMessages = nullptr;

// Without a desktop session (cron, ssh as root) there is no runtime
// directory, and Qt Gui notes that on standard error, which belongs to the
// command's own messages.
void WithoutRuntimeNote(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
        return;
    qtMessages(type, context, message);
}

// A simulated converter without a block file lives in this process only:
// say so, or the next command would seem to have lost the change.
void NoteUnkeptChanges()
{
    for (const std::string& port : lk58::sim::UnkeptChanges())
        Print(stderr, QString::fromStdString("tq36ctl: " + port + " is simulated inside this process, and its "
                                             "settings end with it; keep them in a block file: " + port +
                                             "?file=PATH\n"));
}

} // namespace

int main(int argc, char** argv)
{
    PrepareOutput();
    KeepWorkingWithoutReader();
    // Parsed before the application exists, because the command decides
    // which application that is.
    QStringList args = CommandLineArguments(argc, argv);
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

    // Only the report draws: it alone needs Qt Gui, on a platform that runs
    // without a display. Every other command keeps to Qt Core.
    std::unique_ptr<QCoreApplication> app;
    if (inv.command && inv.command->name == "report") {
        DrawWithoutDisplay();
        qtMessages = qInstallMessageHandler(WithoutRuntimeNote);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("tq36ctl");
    QCoreApplication::setApplicationVersion(LK58_VERSION);

    // Ctrl+C ends a read at once, but lets a write finish what is under way;
    // so do SIGTERM and a hang-up.
    if (inv.command && inv.command->writes)
        InstallInterruptHandler();
    ReleaseInterrupts();
    if (inv.Flag("help") || inv.Flag("version")) {
        Print(stdout, inv.Flag("help") ? HelpText() : "tq36ctl (LK58) " + QCoreApplication::applicationVersion() + '\n');
        return FinishStandardOutput() ? 0 : static_cast<int>(TExit::Usage);
    }
    inv.worker = worker;
    lk58::sim::RegisterSimulatedPorts();
    const TExit exit = FinishRun(inv, inv.command->run(inv));
    NoteUnkeptChanges();
    return static_cast<int>(exit);
}

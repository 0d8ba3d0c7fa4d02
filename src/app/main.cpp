#include "app/appearance.h"
#include "app/application.h"
#include "app/errorbox.h"
#include "app/frmmain.h"
#include "sim/simport.h"

#include <QAction>
#include <QCommandLineParser>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

// --help and --version, answered before the window program starts: they
// need no display (a shell over ssh, a package's build). True when one was
// asked for; `status` is then the program's exit status. Windows gives a
// window program no console to print to: Qt answers there in a box.
bool AnsweredWithoutWindow(QCommandLineParser& parser, int argc, char* argv[], int& status)
{
#ifdef Q_OS_WIN
    Q_UNUSED(parser);
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(status);
    return false;
#else
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    // Anything it cannot parse (Qt's own options) is for the application to judge.
    if (!parser.parse(args) || !(parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))))
        return false;
    // Without an application Qt cannot name the program in the usage line.
    const QString text = parser.isSet(QStringLiteral("help"))
        ? parser.helpText().replace(QStringLiteral("<executable_name>"), args.first())
        : QStringLiteral("lk58 %1\n").arg(QStringLiteral(LK58_VERSION));
    std::fputs(text.toLocal8Bit().constData(), stdout);
    status = std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    return true;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef SIGPIPE
    // A write to a pipe whose reader went away fails with EPIPE instead of
    // ending the program in the middle of a write to the converter.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configuration program for the TQ36 temperature converter"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start the simulated converter and connect to it."));
    parser.addOption(demo);
    if (int status = 0; AnsweredWithoutWindow(parser, argc, argv, status))
        return status;

    lk58::TApplication app(argc, argv);
    lk58::SetUpApplication(app);
    parser.process(app);

    lk58::sim::RegisterSimulatedPorts();
    lk58::InstallErrorBox();
    lk58::TFrmMain FrmMain;
    FrmMain.show();
    if (parser.isSet(demo)) {
        if (FrmMain.MDemo == nullptr)
            std::fputs("lk58: this system cannot run the demo converter\n", stderr);
        else
            QTimer::singleShot(0, &FrmMain, &lk58::TFrmMain::MDemoClick);
    }
    return app.exec();
}

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

int main(int argc, char* argv[])
{
#ifdef SIGPIPE
    // A write to a pipe whose reader went away fails with EPIPE instead of
    // ending the program in the middle of a write to the converter.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    lk58::TApplication app(argc, argv);
    lk58::SetUpApplication(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configuration program for the TQ36 temperature converter"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start the simulated converter and connect to it."));
    parser.addOption(demo);
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

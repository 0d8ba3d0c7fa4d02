#include "app/appearance.h"
#include "app/application.h"
#include "app/errorbox.h"
#include "app/frmmain.h"

#include <csignal>

int main(int argc, char* argv[])
{
#ifdef SIGPIPE
    // A write to a pipe whose reader went away fails with EPIPE instead of
    // ending the program in the middle of a write to the converter.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    lk58::TApplication app(argc, argv);
    lk58::SetUpApplication(app);
    lk58::InstallErrorBox();
    lk58::TFrmMain FrmMain;
    FrmMain.show();
    return app.exec();
}

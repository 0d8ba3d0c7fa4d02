#include "app/appearance.h"
#include "app/application.h"
#include "app/errorbox.h"
#include "app/frmmain.h"

int main(int argc, char* argv[])
{
    lk58::TApplication app(argc, argv);
    lk58::SetUpApplication(app);
    lk58::InstallErrorBox();
    lk58::TFrmMain FrmMain;
    FrmMain.show();
    return app.exec();
}

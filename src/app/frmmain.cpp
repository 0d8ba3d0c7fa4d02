#include "app/frmmain.h"

#include "app/frmhelp.h"
#include "serial/apperror.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

namespace lk58 {

TFrmMain::TFrmMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmMain"));
    SetUpPort();
    BuildMenu();
    auto* client = new QWidget(this);
    client->setFixedSize(530, 463);
    setCentralWidget(client);
    BuildPortPanel(client);
    Form = std::make_unique<TSettingsForm>(BuildSettingsPanel(client), Msg);
    // The window keeps the size of its client area and menu: no resizing.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(Form->Ctl.BtnHelp, &QPushButton::clicked, this, &TFrmMain::BtnHelpClick);
    connect(MLangCZ, &QAction::triggered, this, &TFrmMain::MLangCZClick);
    connect(MLangEN, &QAction::triggered, this, &TFrmMain::MLangENClick);
    connect(MFileExit, &QAction::triggered, this, &TFrmMain::MFileExitClick);

    FormCreate();
    FrmHelp = std::make_unique<TFrmHelp>(this);
    CentreOnScreen();
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::SetUpPort()
{
    ComPort.SetDeviceName("COM2");
    ComPort.SetBaudRate(br4800);
    ComPort.SetDataBits(db8);
    ComPort.SetParity(paNone);
    ComPort.SetStopBits(sb1);
    ComPort.FlowControl().SetDTR(dcDisable);
    ComPort.FlowControl().SetRTS(rcEnable);
}

void TFrmMain::FormCreate()
{
    PanelConnect->show();
    PanelSettings->hide();
    SetLang(kLangCzech);
    ClearForm();
    FillPortList();
}

void TFrmMain::FillPortList()
{
    std::vector<std::string> names;
    TComPort::ListPorts(names);
    CmbBxComPorts->clear();
    for (const std::string& name : names)
        CmbBxComPorts->addItem(QString::fromStdString(name));
    // No port is preselected: the text stays empty until the user picks one.
    CmbBxComPorts->setCurrentIndex(-1);
    CmbBxComPorts->clearEditText();
}

void TFrmMain::CentreOnScreen()
{
    adjustSize();
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    Guarded([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

// Closing the window closes the port.
void TFrmMain::FormClose()
{
    ComPort.SetActive(false);
}

void TFrmMain::ClearForm()
{
    Form->ClearForm();
}

bool TFrmMain::LangMenuEnabled() const
{
    return MenuLang->menuAction()->isEnabled();
}

void TFrmMain::SetLangMenuEnabled(bool enabled)
{
    MenuLang->menuAction()->setEnabled(enabled);
}

void TFrmMain::BtnHelpClick()
{
    Guarded([this] { FrmHelp->exec(); });
}

void TFrmMain::MLangCZClick()
{
    Guarded([this] {
        MLangCZ->setChecked(true);
        MLangEN->setChecked(false);
        SetLang(kLangCzech);
    });
}

void TFrmMain::MLangENClick()
{
    Guarded([this] {
        MLangCZ->setChecked(false);
        MLangEN->setChecked(true);
        SetLang(kLangEnglish);
    });
}

void TFrmMain::MFileExitClick()
{
    Guarded([this] { close(); });
}

} // namespace lk58

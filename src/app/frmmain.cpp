#include "app/frmmain.h"

#include "app/filesmenu.h"
#include "app/frmhelp.h"
#include "app/porterror.h"
#include "core/apperror.h"
#include "settings/dialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace lk58 {
namespace {

constexpr int kCloseRetryMs = 50;

} // namespace

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
    Form = std::make_unique<TSettingsForm>(BuildSettingsPanel(client), Msg, Link);
    Form->SetShowConnPanel([this] { ShowConnPanel(); });
    Files = new TFilesMenu(*this);
    // The window keeps the size of its client area and menu: no resizing.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(BtnConnect, &QToolButton::clicked, this, &TFrmMain::BtnConnectClick);
    connect(Form->Ctl.BtnHelp, &QPushButton::clicked, this, &TFrmMain::BtnHelpClick);
    connect(MLangCZ, &QAction::triggered, this, &TFrmMain::MLangCZClick);
    connect(MLangEN, &QAction::triggered, this, &TFrmMain::MLangENClick);
    connect(MFileExit, &QAction::triggered, this, &TFrmMain::MFileExitClick);

    FormCreate();
    FrmHelp = std::make_unique<TFrmHelp>(this);
    CentreOnScreen();
}

TFrmMain::~TFrmMain()
{
    // The port outlives this body and closes in its own destructor.
    ComPort.SetAfterClose({});
}

void TFrmMain::SetUpPort()
{
    ComPort.SetDeviceName("COM2");
    ComPort.SetBaudRate(br4800);
    ComPort.SetDataBits(db8);
    ComPort.SetParity(paNone);
    ComPort.SetStopBits(sb1);
    ComPort.FlowControl().SetDTR(dcDisable);
    ComPort.FlowControl().SetRTS(rcEnable);
    ComPort.SetAfterClose(TOpenCloseEvent(this, &TFrmMain::ComPortAfterClose));
}

// The port also closes by itself when its device vanishes (a USB adapter
// pulled). Seen from the settings panel that is a lost connection, which
// must not wait for the user's next edit to come to light.
void TFrmMain::ComPortAfterClose(TComPort&)
{
    QTimer::singleShot(0, this, [this] { Guarded([this] { CheckConnectionGone(); }); });
}

// An exchange that sees the port go reports the loss itself, as do a
// connection-lost dialog already up and a file command (once it is over);
// only a loss nobody noticed is shown here.
void TFrmMain::CheckConnectionGone()
{
    if (PanelSettings->isVisible() && !ComPort.Active() && !Link.Busy() && !showingConnLoss_ &&
        !Files->Running())
        ShowConnPanel();
}

void TFrmMain::FormCreate()
{
    PanelConnect->show();
    PanelSettings->hide();
    Link.RxBuffer.clear();
    Link.CrcAccumulator = 0;
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
    // A close request from the desktop is delivered inside an exchange's
    // reply wait too; closing the port under the exchange would turn its
    // end into a port error. Close once the exchange is over.
    if (Link.Busy()) {
        event->ignore();
        QTimer::singleShot(kCloseRetryMs, this, &QWidget::close);
        return;
    }
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

void TFrmMain::Connect()
{
    BtnConnect->setEnabled(false);
    const std::string device = CmbBxComPorts->currentText().toStdString();
    ComPort.SetDeviceName(device);
    try {
        ComPort.SetActive(false);
        ComPort.SetActive(true);
    } catch (const EComError& error) {
        ShowErrorDialog(this, PortOpenErrorText(Msg, error, device));
        BtnConnect->setEnabled(true);
        ComPort.SetActive(false);
        return;
    }
    try {
        ConnectOpenPort();
    } catch (...) {
        // The port failed after opening: leave it closed and Connect usable,
        // so that the user can retry once the error box is closed.
        BtnConnect->setEnabled(true);
        CloseQuietly();
        throw;
    }
}

// Purge the opened port and ping; an answer shows the settings panel.
void TFrmMain::ConnectOpenPort()
{
    Link.RxBuffer.clear();
    ComPort.AbortAndClearInput();
    ComPort.AbortAndClearOutput();
    ComPort.ClearInput();
    ComPort.ClearOutput();
    if (Link.Ping()) {
        ClearForm();
        Form->Ctl.BtnLoadData->setEnabled(true);
        BtnConnect->setEnabled(true);
        PanelConnect->hide();
        PanelSettings->show();
        Form->SetStatusText(Msg.MsgConnected);
    } else {
        BtnConnect->setEnabled(true);
        ShowWarningDialog(this, Msg.MsgNotFound);
        ComPort.SetActive(false);
    }
}

// Closing a port that has just failed may fail again; the first error is
// the one the user needs to see.
void TFrmMain::CloseQuietly()
{
    try {
        ComPort.SetActive(false);
    } catch (...) {
    }
}

void TFrmMain::ShowConnPanel()
{
    const bool wasShowing = std::exchange(showingConnLoss_, true);
    struct TRestore {
        bool& flag;
        bool value;
        ~TRestore() { flag = value; }
    } restore{showingConnLoss_, wasShowing};
    ShowErrorDialog(this, Msg.MsgConnectionLost);
    ComPort.SetActive(false);
    PanelSettings->hide();
    PanelConnect->show();
    SetLangMenuEnabled(true);
}

void TFrmMain::BtnConnectClick()
{
    Guarded([this] {
        // The language menu is greyed out after every attempt, whatever
        // its outcome (until a connection is lost).
        struct TLangMenuOff {
            TFrmMain& frm;
            ~TLangMenuOff() { frm.SetLangMenuEnabled(false); }
        } off{*this};
        Connect();
    });
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

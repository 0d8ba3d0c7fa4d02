#include "app/frmmain.h"

#include "app/democonverter.h"
#include "app/fieldtexts.h"
#include "app/filesmenu.h"
#include "app/frmhelp.h"
#include "app/historydialog.h"
#include "app/offlinefile.h"
#include "app/portfinder.h"
#include "app/porterror.h"
#include "core/apperror.h"
#include "serial/portwatch.h"
#include "settings/dialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace lk58 {
namespace {

constexpr int kCloseRetryMs = 50;
// A device brings several entries at once (its node, links to it): look
// once they have settled.
constexpr int kPortSettleMs = 200;

std::vector<std::string> MachinePorts()
{
    std::vector<std::string> names;
    TComPort::ListPorts(names);
    return names;
}

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
    Offline = new TOfflineFile(*this);
    Finder = new TPortFinder(*this);
    History = new THistoryMenu(*this);
    if (DemoAvailable()) {
        MDemo = new QAction(this);
        MDemo->setObjectName(QStringLiteral("MDemo"));
        MenuFile->insertAction(Files->MFileSave, MDemo);
        MenuFile->insertSeparator(Files->MFileSave);
        connect(MDemo, &QAction::triggered, this, &TFrmMain::MDemoClick);
        // Offered while no converter is connected.
        connect(MenuFile, &QMenu::aboutToShow, this, [this] { MDemo->setEnabled(!ComPort.Active()); });
    }
    // The window keeps the size of its client area and menu: no resizing.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(BtnConnect, &QToolButton::clicked, this, &TFrmMain::BtnConnectClick);
    connect(Form->Ctl.BtnHelp, &QPushButton::clicked, this, &TFrmMain::BtnHelpClick);
    connect(MLangCZ, &QAction::triggered, this, &TFrmMain::MLangCZClick);
    connect(MLangEN, &QAction::triggered, this, &TFrmMain::MLangENClick);
    connect(MFileExit, &QAction::triggered, this, &TFrmMain::MFileExitClick);

    portSettle_ = new QTimer(this);
    portSettle_->setSingleShot(true);
    portSettle_->setInterval(kPortSettleMs);
    connect(portSettle_, &QTimer::timeout, this, [this] { Guarded([this] { RefreshPortList(); }); });
    portSource_ = MachinePorts;
    FormCreate();
    FollowPorts(MachinePorts, kDeviceDir);
    FrmHelp = std::make_unique<TFrmHelp>(this);
    CentreOnScreen();
}

TFrmMain::~TFrmMain()
{
    ComPort.SetAfterClose({});
    // The demo converter's line goes before the port: close the port first.
    CloseQuietly();
}

void TFrmMain::SetConverterLine(TComPort& port)
{
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
}

void TFrmMain::SetUpPort()
{
    ComPort.SetDeviceName("COM2");
    SetConverterLine(ComPort);
    ComPort.SetAfterClose(TOpenCloseEvent(this, &TFrmMain::ComPortAfterClose));
}

// The port also closes by itself when its device vanishes (a USB adapter
// pulled). Seen from the settings panel that is a lost connection, which
// must not wait for the user's next edit to come to light.
void TFrmMain::ComPortAfterClose(TComPort&)
{
    if (std::exchange(demoConnected_, false))
        UpdateCaption();
    QTimer::singleShot(0, this, [this] { Guarded([this] { CheckConnectionGone(); }); });
}

// An exchange that sees the port go reports the loss itself, as do a
// connection-lost dialog already up and a file command (once it is over);
// only a loss nobody noticed is shown here.
void TFrmMain::CheckConnectionGone()
{
    if (PanelSettings->isVisible() && !ComPort.Active() && !Link.Busy() && !showingConnLoss_ &&
        !Files->Running() && !Offline->InForm())
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
    const std::vector<std::string> names = portSource_();
    CmbBxComPorts->clear();
    for (const std::string& name : names)
        CmbBxComPorts->addItem(QString::fromStdString(name));
    // No port is preselected: the text stays empty until the user picks one.
    CmbBxComPorts->setCurrentIndex(-1);
    CmbBxComPorts->clearEditText();
}

void TFrmMain::FollowPorts(TPortSource source, const std::string& deviceDir)
{
    portSource_ = std::move(source);
    portWatch_ = WatchSerialDevices(deviceDir, [this] { portSettle_->start(); });
    RefreshPortList();
}

// What the user picked or typed stays in the box, also when its port has
// gone from the list.
void TFrmMain::RefreshPortList()
{
    QStringList ports;
    for (const std::string& name : portSource_())
        ports << QString::fromStdString(name);
    QStringList shown;
    for (int i = 0; i < CmbBxComPorts->count(); ++i)
        shown << CmbBxComPorts->itemText(i);
    if (ports == shown)
        return;
    const QString text = CmbBxComPorts->currentText();
    const int cursor = CmbBxComPorts->lineEdit()->cursorPosition();
    CmbBxComPorts->clear();
    CmbBxComPorts->addItems(ports);
    CmbBxComPorts->setCurrentIndex(ports.indexOf(text));
    CmbBxComPorts->setEditText(text);
    CmbBxComPorts->lineEdit()->setCursorPosition(cursor);
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
    bool closing = false;
    Guarded([this, &closing] { closing = Offline->ConfirmDiscard(); });
    if (!closing) {
        event->ignore();
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

void TFrmMain::UpdateCaption()
{
    const QString base = demoConnected_ ? FieldTexts(lang_).DemoCaption.arg(caption_) : caption_;
    setWindowTitle(Offline->Caption(base));
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
        History->Connected();
        // From here on the form is the converter's, also after a file.
        Offline->LeaveForm();
        ClearForm();
        Form->Ctl.BtnLoadData->setEnabled(true);
        BtnConnect->setEnabled(true);
        PanelConnect->hide();
        PanelSettings->show();
        Form->SetStatus([this] { return Msg.MsgConnected; });
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

std::string TFrmMain::DemoPort() const
{
    return demo_ ? demo_->Port() : std::string();
}

// The demo converter is connected like any converter, through the port box
// and Connect; the caption and the status text tell it apart.
void TFrmMain::MDemoClick()
{
    Guarded([this] {
        if (ComPort.Active() || Link.Busy())
            return;
        if (!demo_) {
            try {
                demo_ = StartDemoConverter();
            } catch (const std::exception& e) {
                ShowErrorDialog(this, FieldTexts(lang_).DemoFailed.arg(QString::fromLocal8Bit(e.what())));
                return;
            }
        }
        CmbBxComPorts->setEditText(QString::fromStdString(demo_->Port()));
        BtnConnectClick();
        if (PanelSettings->isVisible() && ComPort.Active())
            ShowDemoConnected();
    });
}

// The demo opens loaded, and its caption says that it is a demo for as
// long as it stays connected; the status text says so until the next work.
void TFrmMain::ShowDemoConnected()
{
    demoConnected_ = true;
    UpdateCaption();
    Form->BtnLoadDataClick();
    if (PanelSettings->isVisible() && ComPort.Active())
        Form->SetStatus([this] { return FieldTexts(lang_).DemoStatus; });
}

void TFrmMain::MFileExitClick()
{
    Guarded([this] { close(); });
}

} // namespace lk58

#pragma once

#include "link/devicelink.h"
#include "serial/comport.h"
#include "settings/messages.h"
#include "settings/settingsform.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;

namespace lk58 {

class TFilesMenu;
class THistoryMenu;
class TFrmHelp;
class TDemoConverter;
class TOfflineFile;
class TPortFinder;

enum TLang { kLangCzech = 0, kLangEnglish = 1 };

// The main window: the port panel, the settings panel and the menu.
class TFrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    // Port panel.
    QFrame* PanelConnect = nullptr;
    QLabel* LblAvailPort = nullptr;
    QLabel* Image1 = nullptr;
    QComboBox* CmbBxComPorts = nullptr;
    QToolButton* BtnConnect = nullptr;

    // Settings panel; its controls are in Form->Ctl.
    QFrame* PanelSettings = nullptr;

    QMenu* MenuFile = nullptr;
    QAction* MFileExit = nullptr;
    // Starts the demo converter and connects to it; nullptr where the
    // platform can run none.
    QAction* MDemo = nullptr;
    QMenu* MenuLang = nullptr;
    QAction* MLangCZ = nullptr;
    QAction* MLangEN = nullptr;

    // The converter's port: 4800 baud, 8 data bits, no parity, 1 stop bit,
    // DTR off, RTS on; its device is the chosen port's name.
    TComPort ComPort;
    // The exchanges with the converter over ComPort.
    TDeviceLink Link{ComPort};

    // The texts of the messages in the language in force.
    TMessages Msg;
    std::unique_ptr<TSettingsForm> Form;
    std::unique_ptr<TFrmHelp> FrmHelp;
    // The File menu's settings-file commands.
    TFilesMenu* Files = nullptr;
    // A settings file open without a converter.
    TOfflineFile* Offline = nullptr;
    // "Find" on the port panel: the converter on any port of the list.
    TPortFinder* Finder = nullptr;
    // File > Converter history, and the log of the form's writes.
    THistoryMenu* History = nullptr;

    // The converter's line: 4800 baud, 8 data bits, no parity, 1 stop bit,
    // DTR off, RTS on.
    static void SetConverterLine(TComPort& port);

    // Applies every caption and message text of a language; any other
    // index changes nothing.
    void SetLang(int lang);
    void ClearForm();
    // The port of the demo converter; empty while none runs.
    std::string DemoPort() const;
    // The caption of the language in force, with the open file's name and,
    // while the demo converter is connected, the word that it is a demo.
    void UpdateCaption();
    // The demo converter is the one connected.
    bool DemoConnected() const { return demoConnected_; }

    // The handshake: opens the chosen port, pings the converter and on an
    // answer shows the settings panel. Port errors after opening close the
    // port again, enable Connect and propagate to the error box.
    void Connect();
    // The reaction to a failed exchange: the connection-lost dialog, the
    // port closed, the port panel shown, the language menu enabled.
    void ShowConnPanel();

    // Where the port list comes from, and the folder whose changes make it
    // look again (the machine's ports and /dev by default). The list follows
    // devices that come and go, keeping what the port box shows.
    using TPortSource = std::function<std::vector<std::string>()>;
    void FollowPorts(TPortSource source, const std::string& deviceDir);
    // Reads the list again; the port box keeps its text.
    void RefreshPortList();

    // The language menu as the user sees it: greyed out or not.
    bool LangMenuEnabled() const;
    void SetLangMenuEnabled(bool enabled);

public slots:
    void BtnConnectClick();
    void BtnHelpClick();
    void MLangCZClick();
    void MLangENClick();
    void MFileExitClick();
    void MDemoClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();
    void ComPortAfterClose(TComPort& port);
    void CheckConnectionGone();
    void SetUpPort();
    void BuildMenu();
    void BuildPortPanel(QWidget* client);
    TSettingsControls BuildSettingsPanel(QWidget* client);
    void SetTabOrder(const TSettingsControls& c);
    void FormCreate();
    void FillPortList();
    void ConnectOpenPort();
    void CloseQuietly();
    void ShowDemoConnected();
    // The texts that FitTexts refits after every change of language: labels
    // as wide as their text at their layout position, kept clear of the field
    // they stand before, and check boxes never narrower than the layout's.
    QLabel* AutoLabel(QWidget* parent, const char* name, int left, int top, QWidget* field = nullptr);
    QCheckBox* CheckBox(QWidget* parent, const char* name, int left, int top, int width);
    void FitTexts();
    void CentreOnScreen();

    struct TAutoLabel {
        QLabel* Label;
        int Left;
        const QWidget* Field; // nullptr: it stands before no field
    };
    struct TFittedCheckBox {
        QCheckBox* Box;
        int LayoutWidth;
    };
    std::vector<TAutoLabel> autoLabels_;
    std::vector<TFittedCheckBox> checkBoxes_;
    bool showingConnLoss_ = false;
    bool demoConnected_ = false;
    QString caption_;
    std::unique_ptr<TDemoConverter> demo_;
    TPortSource portSource_;
    std::unique_ptr<QObject> portWatch_;
    QTimer* portSettle_ = nullptr;
    int lang_ = kLangCzech;
};

} // namespace lk58

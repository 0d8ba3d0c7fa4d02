// The handshake against the simulated converter on a pseudo-terminal:
// connecting, no converter, an invalid port, a lost connection, a port that
// fails after opening, and closing the window.
#include "appfixture.h"
#ifndef Q_OS_WIN
#include "common/devicenode.h"
#endif
#include "common/dialogwatcher.h"
#include "common/simconverter.h"

#include "app/errorbox.h"
#include "sim/simulator.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace lk58;
using namespace lk58::test;

namespace {

// What the window shows after a handshake.
struct TOutcome {
    bool settingsShown;
    bool portOpen;
    bool connectEnabled;
    bool langMenuEnabled;
};

TOutcome Outcome(const TFrmMain& frm)
{
    return {frm.PanelSettings->isVisible() && !frm.PanelConnect->isVisible(),
            frm.ComPort.Active(), frm.BtnConnect->isEnabled(), frm.LangMenuEnabled()};
}

void ClickConnect(TFrmMain& frm, const QString& port)
{
    frm.CmbBxComPorts->setEditText(port);
    QTest::mouseClick(frm.BtnConnect, Qt::LeftButton);
}

// Leaves traces in the settings fields that a connection must clear.
void Scribble(TFrmMain& frm)
{
    frm.Form->Ctl.EdtName->setText(QStringLiteral("Pec 3"));
    frm.Form->Ctl.LblNameCh->show();
    frm.Form->Ctl.BtnLoadData->setEnabled(false);
}

#ifndef Q_OS_WIN
// Runs a scope as the unprivileged user "nobody" when asked to (and the
// process may), so that file modes apply to root too.
struct TAsNobody {
    bool on;
    explicit TAsNobody(bool ask) : on(ask && seteuid(65534) == 0) {}
    ~TAsNobody()
    {
        if (on && seteuid(0) != 0)
            qFatal("cannot become root again");
    }
};
#endif

} // namespace

#define QCOMPARE_OUTCOME(actual, settings, open, connect, menu)                  \
    do {                                                                       \
        const TOutcome o = (actual);                                           \
        QCOMPARE(o.settingsShown, settings);                                   \
        QCOMPARE(o.portOpen, open);                                            \
        QCOMPARE(o.connectEnabled, connect);                                   \
        QCOMPARE(o.langMenuEnabled, menu);                                     \
    } while (false)

class TstConnect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SetUpLikeMain();
        InstallErrorBox();
    }

    void connects_data();
    void connects();
    void noConverter_data();
    void noConverter();
    void invalidPort_data();
    void invalidPort();
    void connectionLost();
    void portFailsAfterOpening();
    void deviceVanishesWhileIdle();
    void closingClosesPort_data();
    void closingClosesPort();
    void closeWaitsForExchange();
};

void TstConnect::connects_data()
{
    QTest::addColumn<int>("answerFrom");
    QTest::addColumn<bool>("pacing");
    QTest::newRow("answers the first ping") << 1 << false;
    QTest::newRow("answers the first ping at 4800 baud") << 1 << true;
    QTest::newRow("answers only the tenth ping") << 10 << false;
}

void TstConnect::connects()
{
    QFETCH(int, answerFrom);
    QFETCH(bool, pacing);
    TSimulatedConverter converter;
    converter.sim.SetPacing(pacing);
    converter.sim.AnswerFrom(answerFrom, kOnPing);
    auto frm = ShownMainWindow();
    Scribble(*frm);
    TDialogWatcher watcher;
    ClickConnect(*frm, converter.Path());
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE_OUTCOME(Outcome(*frm), true, true, true, false);
    QCOMPARE(converter.sim.Counters().pings, std::size_t(answerFrom));
    QCOMPARE(frm->Form->StatusText(), QStringLiteral("Spojení s převodníkem TQ36 bylo navázáno."));
    QVERIFY(frm->Form->Ctl.BtnLoadData->isEnabled());
    QCOMPARE(frm->Form->Ctl.EdtName->text(), QString());
    QVERIFY(frm->Form->Ctl.LblNameCh->isHidden());
}

void TstConnect::noConverter_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("text");
    QTest::newRow("Czech") << int(kLangCzech) << "Převodník nebyl na zvoleném COM portu nalezen.";
    QTest::newRow("English") << int(kLangEnglish) << "Converter was not found on selected COM port.";
}

// Ten pings go unanswered: a warning while the port is still open, then the
// port closes and the port panel stays, with the language menu greyed out.
void TstConnect::noConverter()
{
    QFETCH(int, lang);
    QFETCH(QString, text);
    TSimulatedConverter converter;
    converter.sim.SetFault(Fault::Silent);
    auto frm = ShownMainWindow();
    frm->SetLang(lang);
    TDialogWatcher watcher;
    QList<bool> openWhileShown;
    watcher.SetWhileShown([&](QDialog&) { openWhileShown << frm->ComPort.Active(); });
    ClickConnect(*frm, converter.Path());
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Title, QStringLiteral("Warning"));
    QCOMPARE(watcher.Seen()[0].Text, text);
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Warning);
    QCOMPARE(watcher.Seen()[0].Buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(openWhileShown, QList<bool>{true});
    QCOMPARE_OUTCOME(Outcome(*frm), false, false, true, false);
    QCOMPARE(converter.sim.Counters().pings, std::size_t(10));
}

void TstConnect::invalidPort_data()
{
#ifdef Q_OS_WIN
    QSKIP("the ports that do not open are POSIX devices, files and locks");
#else
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("text"); // %1: the port's path
    const QString invalid = QStringLiteral("Invalid COM port selected.\n");
    QTest::newRow("no such device") << "/dev/lk58-no-such-port" << int(kLangEnglish)
                                    << invalid + "There is no port %1.";
    QTest::newRow("empty port box") << "" << int(kLangEnglish) << "Invalid COM port selected.";
    QTest::newRow("not a terminal") << "file" << int(kLangEnglish) << invalid + "%1 is not a serial port.";
    QTest::newRow("held by another program")
        << "held" << int(kLangEnglish)
        << invalid + "Another program is using the port. Close it and try again.";
    QTest::newRow("held through a lock file")
        << "@locked" << int(kLangEnglish)
        << invalid + "Another program is using the port (process @pid: @program, lock file @lock). Close it and try "
                     "again.";
    QTest::newRow("no permission")
        << "denied" << int(kLangEnglish)
        << invalid + "You are not allowed to open the port. It belongs to the group dialout; add "
                     "yourself to it with\nsudo usermod -aG dialout $USER\nthen log out and log in again.";
    QTest::newRow("no permission, root's group")
        << "denied, root's group" << int(kLangEnglish)
        << invalid + "You are not allowed to open the port. The permissions of the device %1 (group root, mode "
                     "600) keep you out; an administrator can change them (with a udev rule).";
    QTest::newRow("no permission, Czech")
        << "denied" << int(kLangCzech)
        << "Vybrali jste neplatný COM port.\nNemáte oprávnění port otevřít. Port patří skupině dialout; "
           "přidejte se do ní příkazem\nsudo usermod -aG dialout $USER\na pak se odhlaste a znovu přihlaste.";
#endif
}

// A port that does not open: the error dialog names the cause and the cure,
// the port is closed, and a retry on a good port connects.
void TstConnect::invalidPort()
{
#ifdef Q_OS_WIN
    QSKIP("the ports that do not open are POSIX devices, files and locks");
#else
    QFETCH(QString, port);
    QFETCH(int, lang);
    QFETCH(QString, text);
    QTemporaryFile file;
    QVERIFY(file.open());
    PtyPair pty = OpenPtyPair();
    UniqueFd holder;
    // Root opens any file: the open is tried as nobody, on a file of the
    // serial ports' group (which nobody is not in), or of root's group
    // that only its owner may open.
    bool asNobody = false;
    if (port.startsWith(QLatin1String("denied"))) {
        const bool rootsGroup = port == QLatin1String("denied, root's group");
        const group* dialout = getgrnam("dialout");
        const gid_t gid = rootsGroup ? 0 : dialout ? dialout->gr_gid : gid_t(-1);
        if (gid == gid_t(-1) || fchown(file.handle(), uid_t(-1), gid) != 0)
            QSKIP("no dialout group that the test can give the file");
        QVERIFY(fchmod(file.handle(), rootsGroup ? 0600 : 0660) == 0);
        asNobody = geteuid() == 0;
        port = QStringLiteral("denied");
    }
    if (port == QLatin1String("held")) {
        holder = UniqueFd(::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY));
        QVERIFY(holder.Get() >= 0 && flock(holder.Get(), LOCK_EX | LOCK_NB) == 0);
        port = QString::fromStdString(pty.slavePath);
    }
    if (port == QLatin1String("file") || port == QLatin1String("denied"))
        port = file.fileName();
    if (!MakeDeviceNode(port, text))
        QSKIP("cannot make the lock file");
    auto frm = ShownMainWindow();
    if (lang == kLangEnglish)
        frm->MLangENClick();
    TDialogWatcher watcher;
    {
        TAsNobody nobody(asNobody);
        ClickConnect(*frm, port);
    }
    QCOMPARE(watcher.Texts(), QStringList{text.contains(QLatin1String("%1")) ? text.arg(port) : text});
    QCOMPARE(watcher.Seen()[0].Title, QStringLiteral("Error"));
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
    QCOMPARE_OUTCOME(Outcome(*frm), false, false, true, false);

    TSimulatedConverter converter;
    ClickConnect(*frm, converter.Path());
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE_OUTCOME(Outcome(*frm), true, true, true, false);
    QCOMPARE(frm->Form->StatusText(), frm->Msg.MsgConnected);
#endif
}

// A write that is not acknowledged: the connection-lost dialog while the
// port is open, then the port panel with the language menu usable again;
// the fields keep their contents until the next connection clears them.
void TstConnect::connectionLost()
{
    TSimulatedConverter converter;
    auto frm = ShownMainWindow();
    ClickConnect(*frm, converter.Path());
    QCOMPARE_OUTCOME(Outcome(*frm), true, true, true, false);
    frm->Form->Ctl.EdtName->setText(QStringLiteral("Boiler 2"));
    converter.sim.SetFault(Fault::Silent);
    TDialogWatcher watcher;
    QList<bool> openWhileShown;
    watcher.SetWhileShown([&](QDialog&) { openWhileShown << frm->ComPort.Active(); });
    QVERIFY(!frm->Link.SendInt(30, 0x4142));
    frm->Form->ShowConnPanel();
    QCOMPARE(watcher.Texts(), QStringList{QStringLiteral("Spojení s převodníkem bylo ztraceno.")});
    QCOMPARE(watcher.Seen()[0].Title, QStringLiteral("Error"));
    QCOMPARE(openWhileShown, QList<bool>{true});
    QCOMPARE_OUTCOME(Outcome(*frm), false, false, true, true);
    QCOMPARE(frm->Form->Ctl.EdtName->text(), QStringLiteral("Boiler 2"));

    converter.sim.ClearFaults();
    ClickConnect(*frm, converter.Path());
    QCOMPARE_OUTCOME(Outcome(*frm), true, true, true, false);
    QCOMPARE(frm->Form->Ctl.EdtName->text(), QString());
}

// The line hangs up right after the port opened: the error goes to the
// error box, the port is closed and Connect can be pressed again.
void TstConnect::portFailsAfterOpening()
{
#ifdef Q_OS_WIN
    QSKIP("the line hangs up as a pseudo-terminal's far end closes");
#else
    PtyPair pty = OpenPtyPair();
    auto frm = ShownMainWindow();
    frm->ComPort.SetAfterOpen([&pty](TComPort&) {
        pty.master.Reset();
        pty.holder.Reset();
    });
    TDialogWatcher watcher;
    QList<bool> openWhileShown;
    watcher.SetWhileShown([&](QDialog&) { openWhileShown << frm->ComPort.Active(); });
    ClickConnect(*frm, QString::fromStdString(pty.slavePath));
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Title, QStringLiteral("LK58 - TAVRIN"));
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
    QCOMPARE(watcher.Seen()[0].Text, QStringLiteral("Input/output error."));
    QCOMPARE(openWhileShown, QList<bool>{false});
    QCOMPARE_OUTCOME(Outcome(*frm), false, false, true, false);
#endif
}

// The converter's adapter is pulled while the settings panel waits for the
// user: the loss is shown at once, once, and the port panel comes back.
void TstConnect::deviceVanishesWhileIdle()
{
    auto converter = std::make_unique<TSimulatedConverter>();
    auto frm = ShownMainWindow();
    ClickConnect(*frm, converter->Path());
    QCOMPARE_OUTCOME(Outcome(*frm), true, true, true, false);
    TDialogWatcher watcher;
    converter.reset(); // the far end closes: the line hangs up
    QTRY_COMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Texts(), QStringList{QStringLiteral("Spojení s převodníkem bylo ztraceno.")});
    QCOMPARE_OUTCOME(Outcome(*frm), false, false, true, true);
    QTest::qWait(100);
    QCOMPARE(watcher.Seen().size(), 1);
}

void TstConnect::closingClosesPort_data()
{
    QTest::addColumn<bool>("exitItem");
    QTest::newRow("window closed") << false;
    QTest::newRow("File > Exit") << true;
}

void TstConnect::closingClosesPort()
{
    QFETCH(bool, exitItem);
    TSimulatedConverter converter;
    auto frm = ShownMainWindow();
    ClickConnect(*frm, converter.Path());
    QVERIFY(frm->ComPort.Active());
    if (exitItem)
        frm->MFileExit->trigger();
    else
        frm->close();
    QVERIFY(!frm->isVisible());
    QVERIFY(!frm->ComPort.Active());
}

// A close request that arrives while the handshake waits for a reply takes
// effect when the handshake is over, not under it.
void TstConnect::closeWaitsForExchange()
{
    TSimulatedConverter converter;
    converter.sim.SetFault(Fault::Silent);
    auto frm = ShownMainWindow();
    TDialogWatcher watcher;
    QList<bool> busyAtClose;
    QTimer::singleShot(100, frm.get(), [&] {
        busyAtClose << frm->Link.Busy();
        frm->close();
    });
    ClickConnect(*frm, converter.Path());
    QCOMPARE(busyAtClose, QList<bool>{true});
    QCOMPARE(watcher.Texts(), QStringList{frm->Msg.MsgNotFound});
    QCOMPARE(converter.sim.Counters().pings, std::size_t(10));
    QTRY_VERIFY(!frm->isVisible());
    QVERIFY(!frm->ComPort.Active());
}

QTEST_MAIN(TstConnect)
#include "tst_connect.moc"

// The window in the field: Find pings every port of the list at once, the
// port list follows devices that come and go, and the demo converter runs
// inside the program. The simulated converter answers on one port, nobody
// on the others: pseudo-terminals on POSIX, silent simulated converters on
// Windows. Plugging is simulated by links in a folder, on POSIX only.
#include "e2efixture.h"

#include "app/democonverter.h"
#include "app/fieldtexts.h"
#include "app/portfinder.h"
#include "app/porterror.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QTemporaryDir>

#include <cerrno>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace lk58;
using namespace lk58::test;

namespace {

// A port where nobody answers; `Heard` tells whether anything reached the
// far end.
#ifdef _WIN32
struct TSilentPort {
    std::string name = (sim::RegisterSimulatedPorts(), sim::NewSimulatedPortName());
    QString Path() const { return QString::fromStdString(name + "?silent"); }
    bool Heard() const { return sim::SimulatedConverter(name).Counters().requests > 0; }
};
using TAnsweringPort = TSimulatedConverter;
#else
struct TSilentPort {
    PtyPair pty = OpenPtyPair();
    QString Path() const { return QString::fromStdString(pty.slavePath); }
    bool Heard() const
    {
        std::uint8_t buffer[256];
        bool heard = false;
        for (ssize_t n; (n = ::read(pty.master.Get(), buffer, sizeof buffer)) > 0;)
            heard = true;
        return heard;
    }
};
using TAnsweringPort = TPtyConverter;
#endif

// With LK58_SHOTS set to a folder (and a real display), the screen at a
// moment worth showing is saved there, for the documentation.
void Shot(const char* name)
{
    const QString dir = qEnvironmentVariable("LK58_SHOTS");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QLatin1Char('/') + QLatin1String(name));
}

[[maybe_unused]] QStringList Items(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

class TstField : public TE2eTest {
    Q_OBJECT

private slots:
    void init();

    void findConnects_data();
    void findConnects();
    void findKeepsAnsweringPort();
    void findCancelled();
    void listFollowsPlugging_data();
    void listFollowsPlugging();
    void demoWorksAsHardware();

private:
    // The shown window whose port list is `ports` (and stays so).
    std::unique_ptr<TFrmMain> NewWindow(const QStringList& ports);
    std::unique_ptr<QTemporaryDir> dir_;
};

void TstField::init()
{
    watcher.Clear();
    watcher.SetWhileShown({});
    // The search's progress is left to the search.
    watcher.SetOther([](QDialog& d) {
        if (d.objectName() == QLatin1String("FindProgress"))
            Shot("find.png");
    });
    dir_ = std::make_unique<QTemporaryDir>();
}

std::unique_ptr<TFrmMain> TstField::NewWindow(const QStringList& ports)
{
    auto frm = std::make_unique<TFrmMain>();
    std::vector<std::string> names;
    for (const QString& p : ports)
        names.push_back(p.toStdString());
    frm->FollowPorts([names] { return names; }, dir_->path().toStdString());
    frm->show();
    frm->activateWindow();
    if (!QTest::qWaitForWindowActive(frm.get()))
        qWarning("main window did not become active");
    return frm;
}

void TstField::findConnects_data()
{
    QTest::addColumn<int>("silentBefore");
    QTest::addColumn<int>("silentAfter");
    QTest::addColumn<bool>("converter");
    // What keeps the first silent port from opening: held by another
    // program, gone, or closed to this user; empty: nothing.
    QTest::addColumn<QString>("trouble");
    QTest::newRow("converter on the third of four") << 2 << 1 << true << "";
    QTest::newRow("converter alone") << 0 << 0 << true << "";
    QTest::newRow("held port skipped, converter after it") << 1 << 1 << true << "held";
    QTest::newRow("none answers") << 2 << 0 << false << "";
    QTest::newRow("none answers, one held") << 2 << 0 << false << "held";
    QTest::newRow("none answers, one missing") << 2 << 0 << false << "missing";
    QTest::newRow("none answers, one denied") << 2 << 0 << false << "denied";
}

// Find selects the port where the converter answered and connects; a held
// port gets nothing; with no answer the warning names every port tried,
// one a line, a port that would not open with the reason and cure that
// Connect gives.
void TstField::findConnects()
{
    QFETCH(int, silentBefore);
    QFETCH(int, silentAfter);
    QFETCH(bool, converter);
    QFETCH(QString, trouble);
    std::vector<std::unique_ptr<TSilentPort>> silent;
    for (int i = 0; i < silentBefore + silentAfter; ++i)
        silent.push_back(std::make_unique<TSilentPort>());
    TAnsweringPort sim;
    QStringList ports;
    for (int i = 0; i < silentBefore; ++i)
        ports << silent[i]->Path();
    if (converter)
        ports << sim.Path();
    for (int i = silentBefore; i < silentBefore + silentAfter; ++i)
        ports << silent[i]->Path();
    TComPort holder;
    if (trouble == QLatin1String("held")) {
        holder.SetDeviceName(silent[0]->Path().toStdString());
        holder.SetActive(true);
    } else if (trouble == QLatin1String("missing")) {
        ports[0] = dir_->filePath(QStringLiteral("ttyUSB41"));
    } else if (trouble == QLatin1String("denied")) {
#ifdef _WIN32
        QSKIP("a port closed to this user is a POSIX device's mode");
#else
        // Root opens any device node; a kernel file it may not write to
        // stands in for a port of another group then.
        if (::geteuid() == 0)
            ports[0] = QStringLiteral("/sys/kernel/notes");
        else
            QVERIFY(QFile::setPermissions(ports[0], {}));
        const int fd = ::open(ports[0].toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 || errno != EACCES) {
            if (fd >= 0)
                ::close(fd);
            QSKIP("no port here that this user may not open");
        }
#endif
    }
    auto frm = NewWindow(ports);
    watcher.SetWhileShown([](QDialog& d) {
        if (qobject_cast<QMessageBox*>(&d) != nullptr)
            Shot("find-none.png");
    });

    QTest::mouseClick(frm->Finder->BtnFind, Qt::LeftButton);

    QCOMPARE(frm->PanelSettings->isVisible(), converter);
    QStringList warnings;
    for (const TSeenDialog& d : watcher.Seen())
        if (d.Icon == QMessageBox::Warning)
            warnings << d.Text;
    if (converter) {
        QCOMPARE(frm->CmbBxComPorts->currentIndex(), silentBefore);
        QCOMPARE(frm->ComPort.DeviceName(), sim.Path().toStdString());
        QCOMPARE(frm->Form->StatusText(), QStringLiteral("Spojení s převodníkem TQ36 bylo navázáno."));
        QCOMPARE(warnings, QStringList());
    } else {
        QStringList tried = ports;
        if (trouble == QLatin1String("held"))
            tried[0] += QStringLiteral(": Port používá jiný program. Ukončete jej a zkuste to znovu.");
        else if (trouble == QLatin1String("missing"))
#ifdef _WIN32
            // With where Windows shows its ports.
            tried[0] += QStringLiteral(": ") + frm->Msg.MsgComMissing.arg(ports[0]);
#else
            tried[0] += QStringLiteral(": Port %1 neexistuje.").arg(ports[0]);
#endif
        else if (trouble == QLatin1String("denied"))
            tried[0] += QStringLiteral(": ") + PortOpenCause(frm->Msg, EACCES, ports[0].toStdString());
        QCOMPARE(warnings, QStringList{QStringLiteral("Na žádném portu převodník neodpověděl. Zkoušeno:\n") +
                                       tried.join(QLatin1Char('\n'))});
        QVERIFY(!frm->ComPort.Active());
    }
    if (!trouble.isEmpty())
        QVERIFY(!silent[0]->Heard());
    // Every free port was pinged before the search gave up.
    if (!converter)
        for (std::size_t i = trouble.isEmpty() ? 0 : 1; i < silent.size(); ++i)
            QVERIFY(silent[i]->Heard());
}

// A device plugged while the search runs makes the port list read again,
// shifting the answering port's place in it: Find connects the port that
// answered, by its name.
void TstField::findKeepsAnsweringPort()
{
#ifdef _WIN32
    QSKIP("devices are plugged as links to pseudo-terminals");
#else
    TSilentPort silent, plugged;
    TPtyConverter sim;
    // The answer comes on the third ping, once the list has changed.
    sim.sim.AnswerFrom(3, kOnPing);
    const QString folder = dir_->path();
    QVERIFY(QFile::link(silent.Path(), dir_->filePath(QStringLiteral("ttyUSB1"))));
    QVERIFY(QFile::link(sim.Path(), dir_->filePath(QStringLiteral("ttyUSB2"))));
    auto frm = std::make_unique<TFrmMain>();
    frm->FollowPorts(
        [folder] {
            std::vector<std::string> names;
            const QDir d(folder);
            for (const QString& n : d.entryList(QDir::System | QDir::Files, QDir::Name))
                names.push_back(d.filePath(n).toStdString());
            return names;
        },
        folder.toStdString());
    frm->show();
    QCOMPARE(frm->CmbBxComPorts->count(), 2);
    bool plugging = false;
    watcher.SetOther([&](QDialog& d) {
        if (d.objectName() != QLatin1String("FindProgress"))
            return;
        plugging = QFile::link(plugged.Path(), dir_->filePath(QStringLiteral("ttyUSB0")));
        frm->RefreshPortList();
    });

    QTest::mouseClick(frm->Finder->BtnFind, Qt::LeftButton);

    QVERIFY(plugging);
    QCOMPARE(Items(frm->CmbBxComPorts).size(), 3);
    QCOMPARE(frm->ComPort.DeviceName(), dir_->filePath(QStringLiteral("ttyUSB2")).toStdString());
    QCOMPARE(frm->CmbBxComPorts->currentIndex(), 2);
    QVERIFY(frm->PanelSettings->isVisible());
    QCOMPARE(watcher.Seen().size(), 1); // the progress, no message
    QVERIFY(!plugged.Heard());
#endif
}

// Cancel stops the search: no port connected, no warning, every probe's
// port closed again (the ports open afterwards).
void TstField::findCancelled()
{
    TSilentPort a, b;
    auto frm = NewWindow({a.Path(), b.Path()});
    watcher.SetOther([](QDialog& d) {
        if (auto* progress = qobject_cast<QProgressDialog*>(&d))
            progress->cancel();
    });
    QTest::mouseClick(frm->Finder->BtnFind, Qt::LeftButton);
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].ObjectName, QStringLiteral("FindProgress"));
    QVERIFY(frm->PanelConnect->isVisible());
    for (const TSilentPort* p : {&a, &b}) {
        TComPort port;
        port.SetDeviceName(p->Path().toStdString());
        port.SetActive(true); // throws "busy" if a probe still held it
        QVERIFY(port.Active());
    }
}

void TstField::listFollowsPlugging_data()
{
    QTest::addColumn<QString>("typed"); // empty: pick the first port
    QTest::addColumn<bool>("plugFirst");   // the picked port is pulled
    QTest::newRow("typed text kept as a port comes") << "/dev/ttyX" << false;
    QTest::newRow("picked port kept as another comes") << "" << false;
    QTest::newRow("picked port pulled: its name stays") << "" << true;
}

// Devices appear and go as links in a folder the list is read from: the
// list follows within 2 s, the port box keeps what the user picked or typed.
void TstField::listFollowsPlugging()
{
#ifdef _WIN32
    QSKIP("devices are plugged as links to pseudo-terminals");
#else
    QFETCH(QString, typed);
    QFETCH(bool, plugFirst);
    TSilentPort adapter;
    const QString first = dir_->filePath(QStringLiteral("ttyUSB0"));
    const QString second = dir_->filePath(QStringLiteral("ttyUSB1"));
    QVERIFY(QFile::link(adapter.Path(), first));
    auto frm = std::make_unique<TFrmMain>();
    const std::string folder = dir_->path().toStdString();
    frm->FollowPorts(
        [folder] {
            std::vector<std::string> names;
            const QDir d(QString::fromStdString(folder));
            for (const QString& n : d.entryList(QDir::System | QDir::Files, QDir::Name))
                names.push_back(d.filePath(n).toStdString());
            return names;
        },
        folder);
    frm->show();
    QCOMPARE(Items(frm->CmbBxComPorts), QStringList{first});
    if (typed.isEmpty())
        frm->CmbBxComPorts->setCurrentIndex(0);
    else
        TypeInto(frm->CmbBxComPorts->lineEdit(), typed);
    const QString shown = frm->CmbBxComPorts->currentText();

    QVERIFY(QFile::link(adapter.Path(), second));
    QTRY_COMPARE_WITH_TIMEOUT(Items(frm->CmbBxComPorts), QStringList({first, second}), 2000);
    if (typed.isEmpty() && !plugFirst) {
        frm->CmbBxComPorts->showPopup();
        Shot("plugging.png");
        frm->CmbBxComPorts->hidePopup();
    }
    QCOMPARE(frm->CmbBxComPorts->currentText(), shown);
    QVERIFY(QFile::remove(plugFirst ? first : second));
    QTRY_COMPARE_WITH_TIMEOUT(Items(frm->CmbBxComPorts), QStringList{plugFirst ? second : first}, 2000);
    QCOMPARE(frm->CmbBxComPorts->currentText(), shown);
#endif
}

// The demo converter starts inside the program and is connected like any
// converter, its settings read at once; it takes an edit at the line's
// pace. The caption says it is a demo for as long as it is connected, in
// the language in force.
void TstField::demoWorksAsHardware()
{
    auto frm = NewWindow({});
    const QString caption = frm->windowTitle();
    QVERIFY(frm->MDemo != nullptr);
    QVERIFY(frm->MenuFile->actions().contains(frm->MDemo));
    frm->MDemo->trigger();
    QVERIFY(frm->PanelSettings->isVisible());
    QCOMPARE(frm->ComPort.DeviceName(), frm->DemoPort());
    const TSettingsControls& c = frm->Form->Ctl;
    QCOMPARE(c.EdtType->text(), QStringLiteral("TQ36"));
    QCOMPARE(frm->Form->StatusText(), FieldTexts(kLangCzech).DemoStatus);
    const QString demoCaption = QStringLiteral("Demo (simulovaný převodník) - ") + caption;
    QCOMPARE(frm->windowTitle(), demoCaption);
    Shot("demo.png");
    TypeInto(c.EdtName, QStringLiteral("Demo 1"));
    PressEnter(c.EdtName);
    QVERIFY(c.LblNameCh->isHidden());
    TypeInto(c.EdtName, QStringLiteral("x"));
    ClickLoad(*frm);
    QCOMPARE(c.EdtName->text(), QStringLiteral("Demo 1"));
    QCOMPARE(frm->windowTitle(), demoCaption);
    frm->SetLang(kLangEnglish);
    QCOMPARE(frm->windowTitle(),
             QStringLiteral("Demo (simulated converter) - Configuration software for TQ36 converter - TAVRIN®"));
    QCOMPARE(frm->Form->StatusText(), QStringLiteral("Settings was loaded from converter."));
    frm->SetLang(kLangCzech);
    QCOMPARE(watcher.Texts(), QStringList());
    // The line gone, the demo has ended.
    frm->ComPort.SetActive(false);
    QTRY_VERIFY(frm->PanelConnect->isVisible());
    QCOMPARE(frm->windowTitle(), caption);
}

QTEST_MAIN(TstField)
#include "tst_field.moc"

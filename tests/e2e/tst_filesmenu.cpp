// The File menu's settings-file commands in the real window against the
// simulated converter: save, compare, write with its progress, Cancel and
// report, rejected files and a converter lost part-way.
#include "e2efixture.h"

#include "app/filesdialogs.h"
#include "app/filesmenu.h"
#include "app/historydialog.h"
#include "config/history.h"
#include "config/diskfile.h"
#include "config/restore.h"
#include "config/settingsfile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

using namespace lk58;
using namespace lk58::test;
using config::Key;

namespace {

const QString kConnectionLost = QStringLiteral("Spojení s převodníkem bylo ztraceno.");

// The rows of a difference table, "setting | converter | file".
QStringList TableRows(const QTableWidget& table)
{
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table.columnCount(); ++c)
            cells << table.item(r, c)->text();
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

// A click as the window system delivers it: queued, so that a reply wait
// holds it back like any real click.
void QueueClick(QWidget* button)
{
    QWindow* window = button->window()->windowHandle();
    const QPointF at = button->mapTo(button->window(), button->rect().center());
    const QPointF global = window->mapToGlobal(at.toPoint());
    using W = QWindowSystemInterface;
    W::handleMouseEvent<W::AsynchronousDelivery>(window, at, global, Qt::LeftButton, Qt::LeftButton,
                                                 QEvent::MouseButtonPress);
    W::handleMouseEvent<W::AsynchronousDelivery>(window, at, global, Qt::NoButton, Qt::LeftButton,
                                                 QEvent::MouseButtonRelease);
}

} // namespace

class TstFilesMenu : public TE2eTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void itemsFollowSettingsPanel();
    void saveRecordsConverterNotForm();
    void reportOfConverter();
    void savedOnlyWhenProven_data();
    void savedOnlyWhenProven();
    void compareListsDifferences_data();
    void compareListsDifferences();
    void writeVerifiesAndReloads_data();
    void writeVerifiesAndReloads();
    void nothingToWrite_data();
    void nothingToWrite();
    void cancelStopsAfterCurrentWrite();
    void rejectedFileWritesNothing_data();
    void rejectedFileWritesNothing();
    void converterLostPartWay_data();
    void converterLostPartWay();
    void historyAndTheWayBack();

private:
    // The shown window, in English when asked; its file dialogs answer
    // with chosen_ and record what they proposed.
    std::unique_ptr<TFrmMain> NewWindow(bool english = false);
    void Connect(TFrmMain& frm, TSimulatedConverter& converter);
    // A settings file holding `settings` (JSON object text).
    QString WriteFile(const QByteArray& settings);
    // Handles the difference dialog: records its rows and accepts it,
    // with the identity when asked; leaves the progress dialog alone.
    void AcceptDifferences(bool includeIdentity = false);
    QStringList Backups() const;
    // The progress of a write: `act` runs when write `n` is about to start.
    static void AtWrite(TFrmMain& frm, int n, std::function<void(QWidget& progress)> act);

    std::unique_ptr<QTemporaryDir> dir_;
    QString chosen_;
    QString proposed_;
    QStringList tableRows_;
};

void TstFilesMenu::initTestCase()
{
    SetUpLikeMain();
    QCoreApplication::setApplicationVersion(QStringLiteral("0.2.1.7"));
}

void TstFilesMenu::init()
{
    watcher.Clear();
    watcher.SetWhileShown({});
    watcher.SetOther({});
    dir_ = std::make_unique<QTemporaryDir>();
    // Backups and change logs go below the user's data folder of this case.
    PutUserData(dir_->filePath(QStringLiteral("data")));
    QCOMPARE(config::DefaultBackupDir(), dir_->filePath(QStringLiteral("data/LK58/backups")));
    chosen_.clear();
    proposed_.clear();
    tableRows_.clear();
}

std::unique_ptr<TFrmMain> TstFilesMenu::NewWindow(bool english)
{
    auto frm = std::make_unique<TFrmMain>();
    if (english)
        frm->MLangENClick();
    frm->Files->SetChooser([this](QWidget*, TFileUse, const QString& proposed) {
        proposed_ = proposed;
        return chosen_;
    });
    frm->show();
    frm->activateWindow();
    if (!QTest::qWaitForWindowActive(frm.get()))
        qWarning("main window did not become active");
    return frm;
}

void TstFilesMenu::Connect(TFrmMain& frm, TSimulatedConverter& converter)
{
    frm.CmbBxComPorts->setEditText(converter.Path());
    QTest::mouseClick(frm.BtnConnect, Qt::LeftButton);
    if (!frm.PanelSettings->isVisible())
        qWarning("no connection to the simulated converter");
    converter.sim.ClearLog();
}

QString TstFilesMenu::WriteFile(const QByteArray& settings)
{
    const QByteArray text =
        R"({"format": "tq36-settings", "version": 1, "settings": )" + settings + "}";
    chosen_ = dir_->filePath(QStringLiteral("in.json"));
    QFile f(chosen_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        qWarning("cannot write %s", qPrintable(chosen_));
    return chosen_;
}

void TstFilesMenu::AcceptDifferences(bool includeIdentity)
{
    watcher.SetOther([this, includeIdentity](QDialog& d) {
        auto* diff = qobject_cast<TDiffDialog*>(&d);
        if (diff == nullptr)
            return;
        tableRows_ = TableRows(*diff->TblDiff);
        if (diff->ChckBxIdentity != nullptr)
            diff->ChckBxIdentity->setChecked(includeIdentity);
        if (diff->BtnWrite != nullptr)
            diff->BtnWrite->click();
        else
            diff->reject();
    });
}

QStringList TstFilesMenu::Backups() const
{
    const QDir backups(config::DefaultBackupDir());
    QStringList paths;
    for (const QString& name : backups.entryList(QDir::Files))
        paths << backups.filePath(name);
    return paths;
}

void TstFilesMenu::AtWrite(TFrmMain& frm, int n, std::function<void(QWidget& progress)> act)
{
    // The progress dialog exists only while a write runs: catch it as it
    // comes up, then follow its bar (value n - 1 before write n).
    auto* poll = new QTimer(&frm);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, n, act] {
        auto* progress = qobject_cast<TWriteProgress*>(QApplication::activeModalWidget());
        if (progress == nullptr)
            return;
        poll->stop();
        QObject::connect(progress->PrgBar, &QProgressBar::valueChanged, progress,
                         [progress, n, act](int value) {
                             if (value == n - 1)
                                 act(*progress);
                         });
    });
    poll->start();
}

// Offered while the settings panel shows: not before a connection, not
// after one is lost (here by a command's own read); above Exit.
void TstFilesMenu::itemsFollowSettingsPanel()
{
    TSimulatedConverter converter;
    auto frm = NewWindow();
    const QList<QAction*> items{frm->Files->MFileSave, frm->Files->MFileCompare,
                                frm->Files->MFileWrite, frm->Files->MFileReport};
    // Below the settings-file items of their own (open, save...).
    const QList<QAction*> menu = frm->MenuFile->actions();
    const int at = int(menu.indexOf(frm->Files->MFileSave));
    QVERIFY(at > 0);
    QVERIFY(menu[at - 1]->isSeparator());
    QCOMPARE(menu.size(), at + 9);
    QCOMPARE(menu.mid(at, 3) + menu.mid(at + 4, 1), items);
    QVERIFY(menu[at + 3]->isSeparator());
    QVERIFY(menu[at + 5]->isSeparator());
    QCOMPARE(menu[at + 6], frm->History->MFileHistory);
    QVERIFY(menu[at + 7]->isSeparator());
    QCOMPARE(menu.last(), frm->MFileExit);
    auto enabled = [&items] {
        QList<bool> e;
        for (const QAction* a : items)
            e << a->isEnabled();
        return e;
    };
    QCOMPARE(enabled(), QList<bool>({false, false, false, false}));
    Connect(*frm, converter);
    QCOMPARE(enabled(), QList<bool>({true, true, true, true}));
    // A converter that does not answer Save's read: the connection-lost
    // handling, before any file is asked for.
    converter.sim.SetFault(Fault::Silent);
    chosen_ = dir_->filePath(QStringLiteral("x.json"));
    frm->Files->MFileSave->trigger();
    QCOMPARE(watcher.Texts(), QStringList{kConnectionLost});
    QVERIFY(frm->PanelConnect->isVisible());
    QCOMPARE(proposed_, QString());
    QCOMPARE(enabled(), QList<bool>({false, false, false, false}));
    // Triggered anyway, a command does nothing without a converter.
    frm->Files->MFileSaveClick();
    QCOMPARE(watcher.Texts(), QStringList{kConnectionLost});
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
}

// Save reads the converter anew and records what it holds, not the form's
// edit that Enter has not written; the name offered is serial and date.
void TstFilesMenu::saveRecordsConverterNotForm()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    const TSettingsControls& c = frm->Form->Ctl;
    ClickLoad(*frm);
    TypeInto(c.EdtName, QStringLiteral("Změna"));
    converter.sim.ClearLog();
    chosen_ = dir_->filePath(QStringLiteral("saved.json"));
    frm->Files->MFileSave->trigger();

    QCOMPARE(QFileInfo(proposed_).fileName(),
             QStringLiteral("2107-013-%1.json").arg(QDate::currentDate().toString(Qt::ISODate)));
    QFile f(chosen_);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const config::ReadResult read = config::ReadSettingsFile(f.readAll());
    QVERIFY(read.file.has_value());
    QCOMPARE(read.file->settings, config::FromBlock(SampleBlock()));
    QVERIFY(read.file->block == SampleBlock());
    QCOMPARE(read.file->program, QStringLiteral("LK58 0.2.1.7"));
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(c.EdtName->text(), QStringLiteral("Změna"));
    QVERIFY(!c.LblNameCh->isHidden());
    QCOMPARE(frm->Form->StatusText(),
             QStringLiteral("Nastavení převodníku bylo uloženo do souboru %1.").arg(QDir::toNativeSeparators(chosen_)));
    QCOMPARE(watcher.Texts(), QStringList());
}

// The report is made from a fresh read and saved where the user says,
// under a name of serial number and date.
void TstFilesMenu::reportOfConverter()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    chosen_ = dir_->filePath(QStringLiteral("report.pdf"));
    frm->Files->MFileReport->trigger();

    QCOMPARE(QFileInfo(proposed_).fileName(),
             QStringLiteral("2107-013-%1.pdf").arg(QDate::currentDate().toString(Qt::ISODate)));
    QFile f(chosen_);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(5) == "%PDF-");
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(frm->Form->StatusText(),
             QStringLiteral("Protokol nastavení byl uložen do souboru %1.").arg(QDir::toNativeSeparators(chosen_)));
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstFilesMenu::savedOnlyWhenProven_data()
{
    QTest::addColumn<bool>("report");
    QTest::newRow("settings file") << false;
    QTest::newRow("report") << true;
}

// A file that does not read back from disk as written is an error that
// names it and why; the file it was to replace stays as it was.
void TstFilesMenu::savedOnlyWhenProven()
{
    QFETCH(bool, report);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    chosen_ = dir_->filePath(QStringLiteral("kept"));
    QFile older(chosen_);
    QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older") == 5);
    older.close();
    // Cut short once written, as a full disk can leave a file.
    config::testing::SetBeforeReadBack([](const QString& written) { QFile::resize(written, 0); });
    (report ? frm->Files->MFileReport : frm->Files->MFileSave)->trigger();
    config::testing::SetBeforeReadBack({});

    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen().first().Title, QStringLiteral("Error"));
    const QString text = watcher.Texts().first();
    QVERIFY2(text.startsWith(QStringLiteral("Soubor %1 nelze uložit: ").arg(QDir::toNativeSeparators(chosen_))), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(": read back from disk, it holds 0 of ")), qPrintable(text));
    QVERIFY(older.open(QIODevice::ReadOnly));
    QCOMPARE(older.readAll(), QByteArray("older"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept"});
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
}

void TstFilesMenu::compareListsDifferences_data()
{
    QTest::addColumn<bool>("english");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("rows");
    const QByteArray everyKind =
        R"({"label": "Kotel 1", "calibration_date": "2020-02-29", "cold_end_compensation": false,
            "set_temperature": 30.5, "wiring_resistance": 1.5, "input_error": "2mA",
            "wiring": "2/4-wire", "input": "K", "output_limit": true, "output": "0-10V"})";
    QTest::newRow("template, one of three differs")
        << false << QByteArray(R"({"output": "4-20mA", "range_begin": -50, "range_end": 600})")
        << QStringList{"Konec výstupního rozsahu | 400 °C | 600 °C"};
    QTest::newRow("identity") << false << QByteArray(R"({"serial": "9999-001"})")
                              << QStringList{"Výrobní číslo | 2107-013 | 9999-001"};
    QTest::newRow("every kind of value")
        << false << everyKind
        << QStringList{"Označení | Pec č.3 | Kotel 1",
                       "Datum kalibrace | 31.12.2007 | 29.02.2020",
                       "Kompenzace studeného konce | ano | ne",
                       "Pevně nastavená teplota | 25,5 °C | 30,5 °C",
                       "Kompenzace odporu vedení | 12,34 Ω | 1,50 Ω",
                       "Výstup | 4 - 20 mADC | 0 - 10 VDC",
                       "Nekorektní vstup | pulsace 50% / 100% | výstup 2 mA",
                       "Způsob zapojení | 3 vodič | 2 nebo 4 vodič"};
    QTest::newRow("in English")
        << true << everyKind
        << QStringList{"Text label | Pec č.3 | Kotel 1",
                       "Calibration date | 2007-12-31 | 2020-02-29",
                       "Cold end compensation | yes | no",
                       "Fixed set temperature | 25.5 °C | 30.5 °C",
                       "Wiring resistance compensation | 12.34 Ω | 1.50 Ω",
                       "Output | 4 - 20 mADC | 0 - 10 VDC",
                       "Incorrect input indication | pulsation 50% / 100% | output 2 mA",
                       "Input wiring | 3 wire | 2 or 4 wire"};
    QTest::newRow("no difference") << false << QByteArray(R"({"output": "4-20mA"})") << QStringList();
}

// Compare reads the converter anew and lists exactly the settings that
// differ, in the window's language; it writes nothing.
void TstFilesMenu::compareListsDifferences()
{
    QFETCH(bool, english);
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, rows);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow(english);
    Connect(*frm, converter);
    const QString path = WriteFile(settings);
    AcceptDifferences();
    frm->Files->MFileCompare->trigger();

    QCOMPARE(tableRows_, rows);
    if (rows.isEmpty()) {
        QCOMPARE(watcher.Texts(),
                 QStringList{QStringLiteral("Převodník má stejné nastavení jako soubor %1.").arg(QDir::toNativeSeparators(path))});
    } else {
        QCOMPARE(watcher.Seen().size(), 1);
        QCOMPARE(watcher.Seen().first().ObjectName, QStringLiteral("FrmFileDiff"));
    }
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(converter.Block(), SampleBlock());
}

void TstFilesMenu::writeVerifiesAndReloads_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("identity");
    QTest::addColumn<QList<int>>("written");
    QTest::addColumn<QStringList>("report");
    QTest::newRow("label and output")
        << QByteArray(R"({"label": "Kotel 1", "output": "0-10V"})") << false
        << Range(30, 5) + QList<int>{5}
        << QStringList{"Označení: zapsáno a ověřeno", "Výstup: zapsáno a ověřeno"};
    QTest::newRow("clone keeps the identity")
        << QByteArray(R"({"type": "TQ37", "serial": "9999-001", "output": "0-10V"})") << false
        << QList<int>{5}
        << QStringList{"Výstup: zapsáno a ověřeno", "Typ: nezapsáno (identita převodníku)",
                       "Výrobní číslo: nezapsáno (identita převodníku)"};
    QTest::newRow("identity included")
        << QByteArray(R"({"type": "TQ37", "serial": "9999-001", "output": "0-10V"})") << true
        << Range(22, 4) + Range(26, 4) + QList<int>{5}
        << QStringList{"Typ: zapsáno a ověřeno", "Výrobní číslo: zapsáno a ověřeno",
                       "Výstup: zapsáno a ověřeno"};
}

// Write shows the differences, writes what differs after a backup, reports
// each setting verified, and loads the form again.
void TstFilesMenu::writeVerifiesAndReloads()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, identity);
    QFETCH(QList<int>, written);
    QFETCH(QStringList, report);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    WriteFile(settings);
    AcceptDifferences(identity);
    frm->Files->MFileWrite->trigger();

    QCOMPARE(WrittenNumbers(converter.sim), written);
    const QStringList backups = Backups();
    QCOMPARE(backups.size(), 1);
    QFile backup(backups.first());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QVERIFY(config::ReadSettingsFile(backup.readAll()).file->block == SampleBlock());
    QCOMPARE(watcher.Seen().size(), 3); // differences, progress, report
    QCOMPARE(watcher.Seen()[1].ObjectName, QStringLiteral("FrmWriteProgress"));
    const TSeenDialog shown = watcher.Seen()[2];
    QCOMPARE(shown.Title, QStringLiteral("Information"));
    const QStringList expected =
        QStringList{"Nastavení ze souboru bylo zapsáno do převodníku a ověřeno.", ""} + report +
        QStringList{"", QStringLiteral("Původní nastavení bylo zálohováno do souboru %1.")
                            .arg(QDir::toNativeSeparators(backups.first()))};
    QCOMPARE(shown.Text.split(QLatin1Char('\n')), expected);
    // The form shows what the converter now holds.
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(4));
    const TSettingsControls& c = frm->Form->Ctl;
    QCOMPARE(frm->Form->StatusText(), frm->Msg.MsgLoaded);
    const LoadedSettings now = DecodeSettings(converter.Block());
    QCOMPARE(c.EdtType->text(), QString::fromStdString(now.type));
    QCOMPARE(c.EdtSerial->text(), QString::fromStdString(now.serial));
    QCOMPARE(c.EdtName->text(), QString::fromStdString(now.name));
    QCOMPARE(c.RdGrpOutput->ItemIndex(), now.outputItem);
    QCOMPARE(c.MskEdtTempEnd->displayText(), QString::fromStdString(now.rangeEndText));
}

void TstFilesMenu::nothingToWrite_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("shown"); // %1: the file
    QTest::newRow("unchanged file")
        << QByteArray(R"({"output": "4-20mA", "range_end": 400})")
        << QStringList{"Převodník má stejné nastavení jako soubor %1."};
    QTest::newRow("only the identity differs")
        << QByteArray(R"({"type": "TQ37", "output": "4-20mA"})")
        << QStringList{"Write off", "with the identity: Write on"};
}

// An unchanged file writes nothing; a difference only in the identity can
// be written only with the option. Cancelled there, nothing is written.
void TstFilesMenu::nothingToWrite()
{
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, shown);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    const QString path = WriteFile(settings);
    QStringList seen;
    watcher.SetOther([&seen](QDialog& d) {
        auto* diff = qobject_cast<TDiffDialog*>(&d);
        auto onOff = [diff] { return diff->BtnWrite->isEnabled() ? "on" : "off"; };
        seen << QStringLiteral("Write %1").arg(onOff());
        diff->ChckBxIdentity->setChecked(true);
        seen << QStringLiteral("with the identity: Write %1").arg(onOff());
        diff->BtnClose->click();
    });
    frm->Files->MFileWrite->trigger();

    for (const QString& text : watcher.Texts()) {
        if (!text.isEmpty())
            seen << text;
    }
    for (QString& line : shown)
        line.replace(QLatin1String("%1"), QDir::toNativeSeparators(path));
    QCOMPARE(seen, shown);
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(Backups(), QStringList());
}

// Cancel, given while a write's reply is awaited, stops the run after that
// write; the report names exactly what was written and what was not.
void TstFilesMenu::cancelStopsAfterCurrentWrite()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    WriteFile(R"({"cold_end_compensation": false, "output": "0-20mA", "output_limit": false,
                  "input_error": "none", "wiring": "2/4-wire"})");
    AcceptDifferences();
    int readAllsAtCancel = -1;
    bool secondCommandRan = true;
    AtWrite(*frm, 2, [&](QWidget& progress) {
        QueueClick(progress.findChild<QPushButton*>(QStringLiteral("BtnCancel")));
        // No second command while one runs, even one that got through.
        proposed_.clear();
        chosen_ = dir_->filePath(QStringLiteral("x.json"));
        frm->Files->MFileSaveClick();
        secondCommandRan = !proposed_.isEmpty();
        readAllsAtCancel = int(converter.sim.Counters().readAlls);
    });
    frm->Files->MFileWrite->trigger();

    QVERIFY(!secondCommandRan);
    QCOMPARE(readAllsAtCancel, 2);
    QCOMPARE(WrittenNumbers(converter.sim), (QList<int>{4, 5}));
    QCOMPARE(watcher.Seen().last().Title, QStringLiteral("Warning"));
    const QStringList lines = watcher.Seen().last().Text.split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 7),
             (QStringList{"Zápis byl přerušen.", "", "Kompenzace studeného konce: zapsáno a ověřeno",
                          "Výstup: zapsáno a ověřeno",
                          "Omezit výstup na max. 10 VDC, 20 mADC: nezapsáno",
                          "Nekorektní vstup: nezapsáno", "Způsob zapojení: nezapsáno"}));
    QCOMPARE(frm->Form->Ctl.RdGrpOutput->ItemIndex(), 1);
    QVERIFY(frm->PanelSettings->isVisible());
}

void TstFilesMenu::rejectedFileWritesNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("key");
    const QByteArray head = R"({"format": "tq36-settings", "version": 1, "settings": )";
    QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "1:";
    QTest::newRow("unknown key") << head + R"({"colour": "red"}})" << "settings.colour";
    QTest::newRow("key given twice") << head + "{\"output\": \"0-10V\",\n\"output\": \"4-20mA\"}}"
                                     << "settings.output: given twice, on lines 1 and 2";
    QTest::newRow("end not above begin")
        << head + R"({"range_begin": 500, "range_end": 400}})" << "settings.range_end";
}

// A file the library rejects: its problems, key and reason, and not one
// exchange with the converter.
void TstFilesMenu::rejectedFileWritesNothing()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    chosen_ = dir_->filePath(QStringLiteral("bad.json"));
    QFile f(chosen_);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    AcceptDifferences();
    frm->Files->MFileWrite->trigger();

    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen().first().Title, QStringLiteral("Warning"));
    const QStringList lines = watcher.Texts().first().split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("Soubor %1 nelze použít, obsahuje chyby:").arg(QDir::toNativeSeparators(chosen_)));
    QVERIFY2(lines.size() > 1 && lines[1].startsWith(key), qPrintable(lines.join('\n')));
    QCOMPARE(converter.sim.Counters().requests, std::size_t(0));
    QCOMPARE(Backups(), QStringList());
    QVERIFY(frm->PanelSettings->isVisible());
}

// A converter that stops answering part-way, or whose acknowledgements
// come damaged: the report first, saying which (as tq36ctl does), then the
// connection-lost handling; the backup holds the block as it was.
void TstFilesMenu::converterLostPartWay_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("first");
    QTest::newRow("silent") << Fault::Silent << "Převodník přestal odpovídat, zápis byl ukončen.";
    QTest::newRow("damaged acknowledgement")
        << Fault::CorruptChecksum << "Převodník potvrdil zápis poškozenou odpovědí, zápis byl ukončen.";
}

void TstFilesMenu::converterLostPartWay()
{
    QFETCH(Fault, fault);
    QFETCH(QString, first);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    WriteFile(R"({"cold_end_compensation": false, "output": "0-20mA", "output_limit": false,
                  "input_error": "none", "wiring": "2/4-wire"})");
    AcceptDifferences();
    AtWrite(*frm, 2, [&](QWidget&) { converter.sim.SetFault(fault); });
    frm->Files->MFileWrite->trigger();

    if (fault == Fault::Silent)
        QCOMPARE(WrittenNumbers(converter.sim), QList<int>{4});
    QCOMPARE(watcher.Seen().size(), 4);
    const TSeenDialog report = watcher.Seen()[2];
    QCOMPARE(report.Title, QStringLiteral("Error"));
    const QStringList lines = report.Text.split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 7),
             (QStringList{first, "",
                          "Kompenzace studeného konce: zapsáno, ale neověřeno",
                          "Výstup: zápis selhal", "Omezit výstup na max. 10 VDC, 20 mADC: nezapsáno",
                          "Nekorektní vstup: nezapsáno", "Způsob zapojení: nezapsáno"}));
    QCOMPARE(watcher.Seen()[3].Text, kConnectionLost);
    QVERIFY(frm->PanelConnect->isVisible());
    QVERIFY(!frm->ComPort.Active());
    const QStringList backups = Backups();
    QCOMPARE(backups.size(), 1);
    QCOMPARE(lines.last(), QStringLiteral("Původní nastavení bylo zálohováno do souboru %1.").arg(QDir::toNativeSeparators(backups.first())));
    QFile backup(backups.first());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QVERIFY(config::ReadSettingsFile(backup.readAll()).file->block == SampleBlock());
}

// A field written from the window and a file written from its menu land in
// the converter's change log; the history dialog takes the converter back
// to before the first of them through the file write, which is logged too.
void TstFilesMenu::historyAndTheWayBack()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    const config::Settings original = config::FromBlock(SampleBlock());
    auto frm = NewWindow();
    Connect(*frm, converter);
    ClickLoad(*frm);
    TypeInto(frm->Form->Ctl.EdtName, QStringLiteral("Kotel 5"));
    PressEnter(frm->Form->Ctl.EdtName);
    WriteFile(R"({"range_end": 450})");
    AcceptDifferences(false);
    frm->Files->MFileWrite->trigger();

    const QDir logs(config::DefaultHistoryDir());
    const QStringList names = logs.entryList(QDir::Files);
    QCOMPARE(names, QStringList{QStringLiteral("TQ36-2107-013.jsonl")});
    auto records = [&] { return config::ReadHistory(logs.filePath(names.first())).records; };
    const std::vector<config::HistoryRecord> written = records();
    QCOMPARE(written.size(), std::size_t(2));
    QCOMPARE(written[0].key, config::Key::Label);
    QVERIFY(written[0].before == original[config::Key::Label]);
    QVERIFY(written[0].after == config::Value(Bytes{'K', 'o', 't', 'e', 'l', ' ', '5'}));
    QCOMPARE(written[0].outcome, config::Outcome::Acknowledged);
    QCOMPARE(written[0].program, QStringLiteral("LK58 0.2.1.7"));
    QCOMPARE(written[0].port, converter.Path());
    QCOMPARE(written[1].key, config::Key::RangeEnd);
    QVERIFY(written[1].before == original[config::Key::RangeEnd]);
    QVERIFY(written[1].after == config::Value(std::int32_t(450)));
    QCOMPARE(written[1].outcome, config::Outcome::Verified);

    // The label's rows only (and the backup's); the first change chosen.
    QStringList shown;
    watcher.Clear();
    watcher.SetOther([&](QDialog& d) {
        if (auto* history = qobject_cast<THistoryDialog*>(&d)) {
            history->CmbBxFilter->setCurrentIndex(1 + int(config::Key::Label));
            for (int row = 0; row < history->TblHistory->rowCount(); ++row)
                if (!history->TblHistory->isRowHidden(row))
                    shown << history->TblHistory->item(row, 2)->text() + ": " + history->TblHistory->item(row, 3)->text();
            history->TblHistory->selectRow(history->TblHistory->rowCount() - 1);
            history->BtnRestore->click();
        } else if (auto* diff = qobject_cast<TDiffDialog*>(&d)) {
            diff->BtnWrite->click();
        }
    });
    frm->History->MFileHistoryClick();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[0].startsWith(QStringLiteral("Záloha před zápisem souboru: 2107-013-")), qPrintable(shown[0]));
    QCOMPARE(shown[1], QStringLiteral("Označení: Pec č.3 → Kotel 5"));
    // Read whole from the converter, it holds what it held at first.
    QCOMPARE(config::FromBlock(*config::ReadBlock(frm->Link)), original);
    const std::vector<config::HistoryRecord> after = records();
    QCOMPARE(after.size(), std::size_t(4));
    QCOMPARE(after[2].key, config::Key::Label);
    QCOMPARE(after[3].key, config::Key::RangeEnd);
    QCOMPARE(after[3].outcome, config::Outcome::Verified);
}

QTEST_MAIN(TstFilesMenu)
#include "tst_filesmenu.moc"

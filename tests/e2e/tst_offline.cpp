// A settings file in the form with no converter: open, edit with the form's
// own rules, save, the question about unsaved edits, and the held file
// written to a converter connected afterwards. The simulated converter sits
// on the port the user picked, to show that nothing crosses the line.
#include "e2efixture.h"

#include "app/filesdialogs.h"
#include "app/filesmenu.h"
#include "app/offlinefile.h"
#include "config/settingsfile.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace lk58;
using namespace lk58::test;
using config::Key;

namespace {

const QByteArray kFullFile = R"({"type": "TQ36", "serial": "2107-013", "label": "Pec 3",
    "calibration_date": "2007-12-31", "calibrated_by": "Jiří Žůrek", "input": "K",
    "cold_end_compensation": true, "set_temperature": 25.5, "wiring_resistance": 12.34,
    "output": "4-20mA", "range_begin": -50, "range_end": 400, "output_limit": true,
    "input_error": "pulsation", "wiring": "3-wire"})";
const QByteArray kPt100File = R"({"input": "PT100", "wiring_resistance": 12.34, "wiring": "3-wire"})";
const QByteArray kTemplate = R"({"output": "4-20mA", "range_begin": 0, "range_end": 600})";

// The file's settings as text, key = value.
QStringList Listed(const config::Settings& s)
{
    QStringList lines;
    for (const Key key : config::kKeys)
        if (s.Has(key))
            lines << QString::fromStdString(std::string(config::KeyName(key)) + " = " +
                                            config::FormatValue(key, *s[key]));
    return lines;
}

} // namespace

class TstOffline : public TE2eTest {
    Q_OBJECT

private slots:
    void init();

    void editAndSaveRoundTrip_data();
    void editAndSaveRoundTrip();
    void closingAsksAboutEdits_data();
    void closingAsksAboutEdits();
    void fileThatWouldNotReadBackIsNotSaved_data();
    void fileThatWouldNotReadBackIsNotSaved();
    void converterBlockKept_data();
    void converterBlockKept();
    void statusFollowsLanguage_data();
    void statusFollowsLanguage();
    void demoFromFileOffersConverterItems();
    void heldFileWrittenAfterConnect_data();
    void heldFileWrittenAfterConnect();

private:
    std::unique_ptr<TFrmMain> NewWindow(TSimulatedConverter& converter);
    QString WriteFile(const QByteArray& settings);
    config::Settings ReadBack() const;
    void ClickButton(const QString& text);

    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TstOffline::init()
{
    watcher.Clear();
    watcher.SetWhileShown({});
    watcher.SetOther({});
    dir_ = std::make_unique<QTemporaryDir>();
    PutUserData(dir_->filePath(QStringLiteral("data")));
}

// The port box names the simulated converter, as if the user had picked it.
std::unique_ptr<TFrmMain> TstOffline::NewWindow(TSimulatedConverter& converter)
{
    auto frm = std::make_unique<TFrmMain>();
    frm->Files->SetChooser([this](QWidget*, TFileUse, const QString&) { return path_; });
    frm->show();
    frm->activateWindow();
    if (!QTest::qWaitForWindowActive(frm.get()))
        qWarning("main window did not become active");
    frm->CmbBxComPorts->setEditText(converter.Path());
    return frm;
}

QString TstOffline::WriteFile(const QByteArray& settings)
{
    const QByteArray text = R"({"format": "tq36-settings", "version": 1, "settings": )" + settings + "}";
    path_ = dir_->filePath(QStringLiteral("boiler.json"));
    QFile f(path_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        qWarning("cannot write %s", qPrintable(path_));
    return path_;
}

config::Settings TstOffline::ReadBack() const
{
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const config::ReadResult read = config::ReadSettingsFile(f.readAll());
    if (!read.file)
        qWarning("the saved file does not read back");
    return read.file ? read.file->settings : config::Settings();
}

// Answers the next message box with the button of this text.
void TstOffline::ClickButton(const QString& text)
{
    watcher.SetWhileShown([text](QDialog& d) {
        if (auto* box = qobject_cast<QMessageBox*>(&d))
            for (QAbstractButton* b : box->buttons())
                if (b->text() == text)
                    b->click();
    });
}

void TstOffline::editAndSaveRoundTrip_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed"); // a radio item's number for a radio group
    QTest::addColumn<QString>("edited"); // the key = value the saved file holds
    QTest::addColumn<bool>("enter");     // false: Save takes the edit as typed
    QTest::newRow("label by Enter") << kFullFile << "EdtName" << "Kotel 9" << "label = Kotel 9" << true;
    QTest::newRow("Czech name by Enter") << kFullFile << "EdtPerson" << "Řehoř" << "calibrated_by = Řehoř"
                                         << true;
    QTest::newRow("range end by Enter") << kFullFile << "MskEdtTempEnd" << "0650" << "range_end = 650" << true;
    QTest::newRow("set temperature by Enter") << kFullFile << "MskEdtSetTemp" << "0305"
                                              << "set_temperature = 30.5" << true;
    QTest::newRow("PT100's resistance, 32 bits") << kPt100File << "MskEdtResComp" << "04550"
                                                 << "wiring_resistance = 45.50" << true;
    QTest::newRow("output by its choice") << kFullFile << "RdGrpOutput" << "0" << "output = 0-10V" << true;
    QTest::newRow("template gains the label") << kTemplate << "EdtName" << "Kotel 9"
                                              << "label = Kotel 9" << true;
    QTest::newRow("template's own range end") << kTemplate << "MskEdtTempEnd" << "0800"
                                              << "range_end = 800" << true;
    QTest::newRow("label typed, saved without Enter") << kFullFile << "EdtName" << "Kotel 9"
                                                      << "label = Kotel 9" << false;
    QTest::newRow("range end typed, saved without Enter") << kFullFile << "MskEdtTempEnd" << "0650"
                                                          << "range_end = 650" << false;
    QTest::newRow("template's label, saved without Enter") << kTemplate << "EdtName" << "Kotel 9"
                                                           << "label = Kotel 9" << false;
}

// The form shows the file; an edit shows its mark until Enter or the choice
// puts it into the file, which only Save writes. The saved file holds the
// file's settings with the edit, a template no more than its own and the
// edited ones, and the converter on the chosen port heard nothing.
void TstOffline::editAndSaveRoundTrip()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, edited);
    QFETCH(bool, enter);
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    WriteFile(file);
    const QStringList before = Listed(ReadBack());
    frm->Offline->MFileOpen->trigger();

    const TSettingsControls& c = frm->Form->Ctl;
    QVERIFY(frm->PanelSettings->isVisible());
    QCOMPARE(frm->Form->StatusText(),
             QStringLiteral("Soubor nastavení %1, bez převodníku").arg(QDir::toNativeSeparators(path_)));
    QVERIFY(frm->windowTitle().startsWith(QStringLiteral("boiler.json[*] - ")));
    QVERIFY(!frm->isWindowModified());
    QVERIFY(!c.BtnLoadData->isEnabled());
    QVERIFY(!frm->Files->MFileWrite->isEnabled());
    QCOMPARE(c.EdtName->text(), file == kFullFile ? QStringLiteral("Pec 3") : QString());

    if (auto* group = frm->findChild<TRadioGroup*>(field)) {
        ClickItem(group, typed.toInt());
    } else {
        auto* edit = frm->findChild<QLineEdit*>(field);
        QVERIFY(edit != nullptr);
        TypeInto(edit, typed);
        const auto marks = c.ChangeMarks();
        QVERIFY(std::any_of(marks.begin(), marks.end(), [](QLabel* m) { return !m->isHidden(); }));
        QCOMPARE(Listed(ReadBack()), before);
        if (enter)
            PressEnter(edit);
    }
    const auto marks = c.ChangeMarks();
    auto noMark = [&marks] {
        return std::all_of(marks.begin(), marks.end(), [](QLabel* m) { return m->isHidden(); });
    };
    QCOMPARE(noMark(), enter);
    QCOMPARE(frm->isWindowModified(), enter);
    QCOMPARE(Listed(ReadBack()), before);

    frm->Offline->MFileSaveOpen->trigger();
    QVERIFY(noMark());
    QVERIFY(!frm->isWindowModified());
    QStringList expected = before;
    const QString key = edited.section(QLatin1Char(' '), 0, 0);
    const auto at = std::find_if(expected.begin(), expected.end(),
                                 [&key](const QString& l) { return l.startsWith(key + ' '); });
    if (at != expected.end())
        *at = edited;
    const QStringList saved = Listed(ReadBack());
    QVERIFY(saved.contains(edited));
    for (const QString& line : expected)
        QVERIFY2(saved.contains(line), qPrintable(line));
    QCOMPARE(saved.size(), expected.size() + (at == expected.end() ? 1 : 0));
    QCOMPARE(frm->Form->StatusText(), QStringLiteral("Soubor nastavení %1 byl uložen.").arg(QDir::toNativeSeparators(path_)));
    QCOMPARE(converter.sim.Counters().requests, std::size_t(0));
    QVERIFY(!frm->ComPort.Active());
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstOffline::closingAsksAboutEdits_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("label"); // in the file afterwards
    QTest::addColumn<bool>("enter");    // false: the edit only typed, its mark showing
    QTest::newRow("cancel keeps the window") << "Zrušit" << false << "Pec 3" << true;
    QTest::newRow("don't save closes") << "Neukládat" << true << "Pec 3" << true;
    QTest::newRow("save, then close") << "Uložit" << true << "Nový" << true;
    QTest::newRow("typed only: cancel keeps the window") << "Zrušit" << false << "Pec 3" << false;
    QTest::newRow("typed only: don't save closes") << "Neukládat" << true << "Pec 3" << false;
    QTest::newRow("typed only: save takes it, then close") << "Uložit" << true << "Nový" << false;
}

void TstOffline::closingAsksAboutEdits()
{
    QFETCH(QString, button);
    QFETCH(bool, closed);
    QFETCH(QString, label);
    QFETCH(bool, enter);
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    WriteFile(kFullFile);
    frm->Offline->MFileOpen->trigger();
    TypeInto(frm->Form->Ctl.EdtName, QStringLiteral("Nový"));
    if (enter)
        PressEnter(frm->Form->Ctl.EdtName);
    ClickButton(button);
    frm->close();
    QCOMPARE(watcher.Texts(),
             QStringList{QStringLiteral("Soubor %1 má neuložené změny. Uložit je?").arg(QDir::toNativeSeparators(path_))});
    QCOMPARE(frm->isVisible(), !closed);
    QCOMPARE(QString::fromStdString(config::FormatValue(Key::Label, *ReadBack()[Key::Label])), label);
}

void TstOffline::fileThatWouldNotReadBackIsNotSaved_data()
{
    QTest::addColumn<QString>("typed"); // into the range end, whose begin is -50
    QTest::addColumn<bool>("enter");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("message");
    QTest::newRow("end equal to begin, entered")
        << "-050" << true << int(QMessageBox::Warning)
        << "Soubor %1 nelze uložit, nešel by znovu načíst:\n"
           "settings.range_end = -50: must be above range_begin (-50)";
    QTest::newRow("end below begin, only typed: the field's own rule")
        << "-100" << false << int(QMessageBox::Information)
        << "Hodnota horního rozsahu teploty musí být vyšší než hodnota spodního rozsahu.";
}

// The form lets a range end equal its begin pass; a settings file does not,
// so such a file would be refused when opened again: it is not written. An
// edit that Save takes as Enter would meets the field's rule first.
void TstOffline::fileThatWouldNotReadBackIsNotSaved()
{
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    QFETCH(int, icon);
    QFETCH(QString, message);
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    WriteFile(kFullFile);
    frm->Offline->MFileOpen->trigger();
    TypeInto(frm->Form->Ctl.MskEdtTempEnd, typed);
    if (enter)
        PressEnter(frm->Form->Ctl.MskEdtTempEnd);
    frm->Offline->MFileSaveOpen->trigger();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(int(watcher.Seen()[0].Icon), icon);
    QCOMPARE(watcher.Texts()[0], message.contains(QLatin1String("%1")) ? message.arg(QDir::toNativeSeparators(path_)) : message);
    QCOMPARE(frm->isWindowModified(), enter);
    QCOMPARE(frm->Form->Ctl.LblTempEndCh->isHidden(), enter);
    QCOMPARE(frm->Form->StatusText(), QStringLiteral("Soubor nastavení %1, bez převodníku").arg(QDir::toNativeSeparators(path_)));
    QCOMPARE(QString::fromStdString(config::FormatValue(Key::RangeEnd, *ReadBack()[Key::RangeEnd])),
             QStringLiteral("400"));
}

void TstOffline::heldFileWrittenAfterConnect_data()
{
    QTest::addColumn<bool>("enter");
    QTest::newRow("edit entered") << true;
    QTest::newRow("edit only typed") << false;
}

// From the file to the port panel and a converter: the file stays held and
// "Write file to converter" writes it, unsaved edit included (also one
// typed but not entered), through the usual difference table, backup and
// check.
void TstOffline::heldFileWrittenAfterConnect()
{
    QFETCH(bool, enter);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = NewWindow(converter);
    WriteFile(R"({"label": "Pec č.3", "range_end": 500})");
    frm->Offline->MFileOpen->trigger();
    TypeInto(frm->Form->Ctl.EdtName, QStringLiteral("Kotel 7"));
    if (enter)
        PressEnter(frm->Form->Ctl.EdtName);
    frm->Offline->MFileToPort->trigger();
    QVERIFY(frm->PanelConnect->isVisible());
    QCOMPARE(converter.sim.Counters().requests, std::size_t(0));

    QTest::mouseClick(frm->BtnConnect, Qt::LeftButton);
    QVERIFY(frm->PanelSettings->isVisible());
    QVERIFY(frm->Form->WritesToConverter());
    QVERIFY(frm->windowTitle().startsWith(QStringLiteral("boiler.json[*] - ")));
    QStringList rows;
    watcher.SetOther([&rows](QDialog& d) {
        if (auto* diff = qobject_cast<TDiffDialog*>(&d)) {
            for (int r = 0; r < diff->TblDiff->rowCount(); ++r)
                rows << diff->TblDiff->item(r, 0)->text();
            diff->BtnWrite->click();
        }
    });
    frm->Files->MFileWrite->trigger();
    QCOMPARE(rows, QStringList({"Označení", "Konec výstupního rozsahu"}));
    QCOMPARE(DecodeTextField(converter.Block(), kName), std::string("Kotel 7"));
    QCOMPARE(DecodeNumber(converter.Block(), kRangeEnd), 500);
    QCOMPARE(frm->Form->Ctl.EdtName->text(), QStringLiteral("Kotel 7"));
}

void TstOffline::converterBlockKept_data()
{
    QTest::addColumn<bool>("withBlock");
    QTest::newRow("a converter's file keeps its block, edited") << true;
    QTest::newRow("a file without one gains none") << false;
}

// A file saved from a converter records its whole block. Saved offline, it
// keeps the words no setting names and carries the edit in the block too,
// so that the block reads as the settings do.
void TstOffline::converterBlockKept()
{
    QFETCH(bool, withBlock);
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    SettingsBlock block = SampleBlock();
    block.SetWord(10, 0x1234);
    block.SetWord(50, 0xBEEF);
    config::SettingsFile file = config::FileFromBlock(block, QDateTime::currentDateTime(), QStringLiteral("LK58"));
    if (!withBlock)
        file.block.reset();
    path_ = dir_->filePath(QStringLiteral("boiler.json"));
    QVERIFY(config::SaveSettingsFile(path_, file).isEmpty());
    frm->Offline->MFileOpen->trigger();
    TypeInto(frm->Form->Ctl.EdtName, QStringLiteral("Kotel 9"));
    PressEnter(frm->Form->Ctl.EdtName);
    frm->Offline->MFileSaveOpen->trigger();
    QCOMPARE(watcher.Texts(), QStringList());

    QFile f(path_);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const config::ReadResult read = config::ReadSettingsFile(f.readAll());
    QVERIFY(read.file.has_value());
    const config::Settings& saved = read.file->settings;
    QCOMPARE(QString::fromStdString(config::FormatValue(Key::Label, *saved[Key::Label])), QStringLiteral("Kotel 9"));
    QCOMPARE(read.file->block.has_value(), withBlock);
    if (!withBlock)
        return;
    const SettingsBlock& kept = *read.file->block;
    QCOMPARE(kept.Word(10), std::uint16_t(0x1234));
    QCOMPARE(kept.Word(50), std::uint16_t(0xBEEF));
    QCOMPARE(Listed(config::FromBlock(kept)), Listed(saved));
    for (const int word : ChangedWords(block, kept))
        QVERIFY2(word >= kName.number && word < kName.number + kName.words, qPrintable(QString::number(word)));
}

void TstOffline::statusFollowsLanguage_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("czech");
    QTest::addColumn<QString>("english");
    QTest::newRow("opened") << false << "Soubor nastavení %1, bez převodníku"
                            << "Settings file %1, no converter attached";
    QTest::newRow("saved") << true << "Soubor nastavení %1 byl uložen." << "Settings file %1 saved.";
}

// The status text and the caption speak the language of the menu, also
// when they were made before it was switched.
void TstOffline::statusFollowsLanguage()
{
    QFETCH(bool, save);
    QFETCH(QString, czech);
    QFETCH(QString, english);
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    WriteFile(kFullFile);
    frm->Offline->MFileOpen->trigger();
    if (save)
        frm->Offline->MFileSaveOpen->trigger();
    QCOMPARE(frm->Form->StatusText(), czech.arg(QDir::toNativeSeparators(path_)));
    QVERIFY(frm->LangMenuEnabled());
    frm->MLangEN->trigger();
    QCOMPARE(frm->Form->StatusText(), english.arg(QDir::toNativeSeparators(path_)));
    QCOMPARE(frm->windowTitle(),
             QStringLiteral("boiler.json[*] - Configuration software for TQ36 converter - TAVRIN®"));
    frm->MLangCZ->trigger();
    QCOMPARE(frm->Form->StatusText(), czech.arg(QDir::toNativeSeparators(path_)));
    QCOMPARE(watcher.Texts(), QStringList());
}

// File > Demo converter from a file's form: the form passes to the
// converter, and the converter's commands come with it; the file stays
// held for them.
void TstOffline::demoFromFileOffersConverterItems()
{
    TSimulatedConverter converter;
    auto frm = NewWindow(converter);
    if (frm->MDemo == nullptr)
        QSKIP("this system runs no demo converter");
    WriteFile(kFullFile);
    frm->Offline->MFileOpen->trigger();
    const QList<QAction*> items{frm->Files->MFileSave, frm->Files->MFileCompare, frm->Files->MFileWrite,
                                frm->Files->MFileReport};
    auto enabled = [&items] {
        QList<bool> e;
        for (const QAction* a : items)
            e << a->isEnabled();
        return e;
    };
    QCOMPARE(enabled(), QList<bool>({false, false, false, false}));
    frm->MDemo->trigger();
    QVERIFY(frm->DemoConnected());
    QVERIFY(frm->Form->WritesToConverter());
    QCOMPARE(enabled(), QList<bool>({true, true, true, true}));
    QVERIFY(frm->windowTitle().startsWith(QStringLiteral("boiler.json[*] - Demo (simulovaný převodník) - ")));
    QCOMPARE(converter.sim.Counters().requests, std::size_t(0));
    QCOMPARE(watcher.Texts(), QStringList());
}

QTEST_MAIN(TstOffline)
#include "tst_offline.moc"

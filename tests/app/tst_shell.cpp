// The application shell: start-up, languages, help window, clearing the
// form, Exit, and the general error box.
#include "appfixture.h"
#include "common/dialogwatcher.h"
#include "porterrors.h"

#include "app/errorbox.h"
#include "app/frmhelp.h"
#include "app/helptext.h"
#include "app/porterror.h"
#include "core/apperror.h"
#include "serial/comport.h"
#include "settings/radiogroup.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenuBar>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>

#include <stdexcept>

using namespace lk58;
using namespace lk58::test;

namespace {

// Every text the language can change, by where it is shown.
QMap<QString, QString> Texts(const TFrmMain& frm)
{
    QMap<QString, QString> t;
    t[QStringLiteral("caption")] = frm.windowTitle();
    t[QStringLiteral("MenuFile")] = frm.MenuFile->title();
    for (const QAction* a : frm.MenuFile->actions())
        t[a->objectName()] = a->text();
    t[QStringLiteral("MenuLang")] = frm.MenuLang->title();
    t[QStringLiteral("MLangCZ")] = frm.MLangCZ->text();
    t[QStringLiteral("MLangEN")] = frm.MLangEN->text();
    for (const QLabel* l : frm.findChildren<QLabel*>())
        t[l->objectName()] = l->text();
    for (const QAbstractButton* b : frm.findChildren<QAbstractButton*>())
        t[b->objectName()] = b->text();
    for (const QGroupBox* g : frm.findChildren<QGroupBox*>())
        t[g->objectName()] = g->title();
    for (const TRadioGroup* g : frm.findChildren<TRadioGroup*>())
        t[g->objectName() + QLatin1String(" items")] = g->Items().join(QLatin1Char('|'));
    t.removeIf([](const auto& it) { return it.key().isEmpty() || it.key().startsWith(QLatin1String("qt_")); });
    const TMessages& m = frm.Msg;
    for (const auto& [name, text] :
         {std::pair{"MsgNotFound", &m.MsgNotFound}, {"MsgInvalidPort", &m.MsgInvalidPort},
          {"MsgConnected", &m.MsgConnected}, {"MsgConnectionLost", &m.MsgConnectionLost},
          {"MsgDateCorrupt", &m.MsgDateCorrupt}, {"MsgRangeOrder", &m.MsgRangeOrder},
          {"MsgVoltageNoIndication", &m.MsgVoltageNoIndication}, {"MsgLoading", &m.MsgLoading},
          {"MsgLoaded", &m.MsgLoaded}})
        t[QString::fromLatin1(name)] = *text;
    return t;
}

QString Joined(QStringList texts)
{
    for (QString& text : texts)
        text = text.remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    return texts.join(QLatin1Char('|'));
}

// The question of Qt's own file dialog before a save replaces a file: its
// text and its buttons.
TSeenDialog ReplaceQuestion()
{
    QTemporaryDir dir;
    QFile existing(dir.filePath(QStringLiteral("x.json")));
    if (!existing.open(QIODevice::WriteOnly))
        qFatal("cannot make %s", qPrintable(existing.fileName()));
    existing.close();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(dir.path());
    dialog.selectFile(QStringLiteral("x.json"));
    dialog.show();
    TDialogWatcher watcher;
    static_cast<QDialog&>(dialog).accept(); // as Save would
    return watcher.Seen().value(0);
}

// Qt's own texts by where the user meets them.
QString QtText(const QString& where)
{
    if (where == QLatin1String("Qt replace question"))
        return ReplaceQuestion().Text;
    if (where == QLatin1String("Qt replace buttons"))
        return Joined(ReplaceQuestion().Buttons);
    if (where == QLatin1String("Qt line edit menu")) {
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (const QAction* a : menu->actions()) {
            if (!a->isSeparator())
                texts << a->text();
        }
        return Joined(texts);
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (where == QLatin1String("Qt file dialog buttons")) {
        QStringList texts;
        for (const QAbstractButton* b : dialog.findChild<QDialogButtonBox*>()->buttons())
            texts << b->text();
        return Joined(texts);
    }
    QStringList texts;
    for (const char* label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
        texts << dialog.findChild<QLabel*>(QLatin1String(label))->text();
    return Joined(texts);
}

QStringList HelpLines(const TFrmHelp& help)
{
    QStringList lines;
    const QTextDocument* doc = help.MemoHlp->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

} // namespace

class TstShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpLikeMain(); }

    void startUp();
    void languageTexts_data();
    void languageTexts();
    void languageRoundTrip();
    void helpLines_data();
    void helpLines();
    void helpIsModalAndOnlyOkCloses();
    void focusedButtonTakesKey_data();
    void focusedButtonTakesKey();
    void clearForm();
    void clearButtonHidesMarksOnly();
    void exitClosesWindow();
    void menuAccessKeys_data();
    void menuAccessKeys();
    void errorBoxText_data();
    void errorBoxText();
    void errorBoxShown();
    void portOpenErrorText_data() { AddPortErrorRows(); }
    void portOpenErrorText();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void refusedLineSettingText();
};

void TstShell::startUp()
{
    auto frm = ShownMainWindow();
    QVERIFY(frm->PanelConnect->isVisible());
    QVERIFY(!frm->PanelSettings->isVisible());
    QCOMPARE(frm->windowTitle(), QStringLiteral("Konfigurační program pro převodník TQ36 - TAVRIN®"));
    QVERIFY(frm->MLangCZ->isChecked());
    QVERIFY(!frm->MLangEN->isChecked());
    QVERIFY(frm->LangMenuEnabled());
    QCOMPARE(frm->CmbBxComPorts->currentText(), QString());
    std::vector<std::string> ports;
    TComPort::ListPorts(ports);
    QStringList listed;
    for (int i = 0; i < frm->CmbBxComPorts->count(); ++i)
        listed << frm->CmbBxComPorts->itemText(i);
    QStringList expected;
    for (const std::string& p : ports)
        expected << QString::fromStdString(p);
    QCOMPARE(listed, expected);
    QVERIFY(frm->CmbBxComPorts->isEditable());
    QVERIFY(frm->BtnConnect->isEnabled());
    QCOMPARE(frm->BtnConnect->focusPolicy(), Qt::NoFocus);
    QCOMPARE(frm->Msg.MsgConnected, QStringLiteral("Spojení s převodníkem TQ36 bylo navázáno."));
    QCOMPARE(frm->Form->StatusText(), QString());
    for (QLabel* mark : frm->Form->Ctl.ChangeMarks())
        QVERIFY2(mark->isHidden(), qPrintable(mark->objectName()));
    QVERIFY(!frm->Form->Ctl.Label13->isHidden());
    QCOMPARE(frm->Form->Ctl.DtTmPckr->date(), QDate::currentDate());
    QVERIFY(frm->FrmHelp != nullptr);
    QVERIFY(!frm->FrmHelp->isVisible());
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("0.2.1.7"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TstShell::languageTexts_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("czech");
    QTest::addColumn<QString>("english");
    QTest::newRow("caption") << "caption" << "Konfigurační program pro převodník TQ36 - TAVRIN®"
                             << "Configuration software for TQ36 converter - TAVRIN®";
    QTest::newRow("label without colon in English") << "LabelName" << "Označení:" << "Text label";
    QTest::newRow("resistance compensation, as the report spells it")
        << "LabelResComp" << "Kompenzace odporu vedení:" << "Wiring resist. compens.:";
    QTest::newRow("group caption keeps its spaces")
        << "GrpBxOutTempRange" << " Výstupní rozsah ve °C " << " Output range in °C ";
    QTest::newRow("wiring items") << "RdGrpWire items" << "2 nebo 4 vodič|3 vodič"
                                  << "2 or 4 wire|3 wire";
    QTest::newRow("indication items")
        << "RdGrpInErr items" << "bez signálu|pulsace 50% / 100%|výstup 2 mA"
        << "no indication|pulsation 50% / 100%|output 2 mA";
    QTest::newRow("fixed input items") << "RdGrpInput items" << "J|K|S|B|PT100" << "J|K|S|B|PT100";
    QTest::newRow("save to file") << "MFileSave" << "Uložit nastavení do souboru…"
                                  << "Save settings to file…";
    QTest::newRow("compare with file") << "MFileCompare" << "Porovnat se souborem…"
                                       << "Compare with file…";
    QTest::newRow("write file") << "MFileWrite" << "Zapsat soubor do převodníku…"
                                << "Write file to converter…";
    QTest::newRow("settings report") << "MFileReport" << "Protokol nastavení (PDF)…"
                                     << "Settings report (PDF)…";
    QTest::newRow("language menu") << "MenuLang" << "&Jazyk / Language" << "&Jazyk / Language";
    QTest::newRow("file menu") << "MenuFile" << "&Soubor" << "&File";
    QTest::newRow("exit") << "MFileExit" << "&Konec" << "E&xit";
    QTest::newRow("Czech item") << "MLangCZ" << "Čestina" << "Čestina";
    QTest::newRow("change mark") << "LblNameCh" << "x" << "x";
    QTest::newRow("connected") << "MsgConnected" << "Spojení s převodníkem TQ36 bylo navázáno."
                               << "Connection with converter was established.";
    QTest::newRow("not found") << "MsgNotFound" << "Převodník nebyl na zvoleném COM portu nalezen."
                               << "Converter was not found on selected COM port.";
    QTest::newRow("Qt: replace question")
        << "Qt replace question" << "Soubor x.json již existuje.\nChcete jej nahradit?"
        << "x.json already exists.\nDo you want to replace it?";
    QTest::newRow("Qt: replace buttons") << "Qt replace buttons" << "Ano|Ne" << "Yes|No";
    QTest::newRow("Qt: file dialog labels") << "Qt file dialog labels"
                                            << "Hledat v:|Název souboru:|Soubory typu:"
                                            << "Look in:|File name:|Files of type:";
    QTest::newRow("Qt: file dialog buttons") << "Qt file dialog buttons" << "Otevřít|Zrušit"
                                             << "Open|Cancel";
    QTest::newRow("Qt: line edit menu") << "Qt line edit menu"
                                        << "Zpět|Znovu|Vyjmout|Kopírovat|Vložit|Smazat|Vybrat vše"
                                        << "Undo|Redo|Cut|Copy|Paste|Delete|Select All";
}

void TstShell::languageTexts()
{
    QFETCH(QString, where);
    QFETCH(QString, czech);
    QFETCH(QString, english);
    TFrmMain frm;
    auto shown = [&frm, &where] {
        return where.startsWith(QLatin1String("Qt ")) ? QtText(where) : Texts(frm).value(where);
    };
    QCOMPARE(shown(), czech);
    frm.MLangENClick();
    QVERIFY(!frm.MLangCZ->isChecked());
    QVERIFY(frm.MLangEN->isChecked());
    QCOMPARE(shown(), english);
    frm.MLangCZClick();
    QCOMPARE(shown(), czech);
}

// English and back restores every text; the two rebuilt radio lists never
// grow, lose their selection, and an unknown language changes nothing.
void TstShell::languageRoundTrip()
{
    TFrmMain frm;
    const QMap<QString, QString> czech = Texts(frm);
    frm.MLangENClick();
    const QMap<QString, QString> english = Texts(frm);
    QStringList unchanged;
    for (auto it = czech.begin(); it != czech.end(); ++it) {
        if (english.value(it.key()) == it.value())
            unchanged << it.key();
    }
    unchanged.sort();
    QCOMPARE(unchanged.join(QLatin1Char(' ')),
             QStringLiteral("BtnHlpClose Image1 Label13 LblDateCh LblNameCh LblPersonCh "
                            "LblResCompCh LblSerialCh LblSetTempCh LblTempBeginCh LblTempEndCh "
                            "LblTypeCh MLangCZ MLangEN MenuLang RdGrpInput items "
                            "RdGrpInput0 RdGrpInput1 RdGrpInput2 RdGrpInput3 RdGrpInput4 "
                            "RdGrpOutput items RdGrpOutput0 RdGrpOutput1 RdGrpOutput2"));
    frm.Form->Ctl.RdGrpWire->SetItemIndex(1);
    frm.Form->Ctl.RdGrpInErr->SetItemIndex(2);
    for (int i = 0; i < 3; ++i) {
        frm.MLangENClick();
        frm.MLangCZClick();
    }
    QCOMPARE(Texts(frm), czech);
    QCOMPARE(frm.Form->Ctl.RdGrpWire->Count(), 2);
    QCOMPARE(frm.Form->Ctl.RdGrpInErr->Count(), 3);
    QCOMPARE(frm.Form->Ctl.RdGrpWire->ItemIndex(), -1);
    QCOMPARE(frm.Form->Ctl.RdGrpInErr->ItemIndex(), -1);
    frm.SetLang(2);
    QCOMPARE(Texts(frm), czech);
    frm.MLangCZClick();
    QVERIFY(frm.MLangCZ->isChecked());
    QVERIFY(!frm.MLangEN->isChecked());
}

void TstShell::helpLines_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << 1 << "Konfigurační program pro TQ36";
    QTest::newRow("empty third") << 3 << "";
    QTest::newRow("trailing space kept") << 4 << "Ovládání programu se řídí zvyklostmi operačního ";
    QTest::newRow("registered sign") << 5 << "systému (OS) Windows® a k jeho obsluze lze ";
    QTest::newRow("capital accents") << 26 << "! PRO ULOŽENÍ HODNOT DO PŘEVODNÍKU SLOUŽÍ ";
    QTest::newRow("English title") << 57 << "TQ36 configuration program";
    QTest::newRow("lone word with space") << 69 << "into ";
    QTest::newRow("typo kept") << 85 << "displayed next to item, which menas that value ";
    QTest::newRow("maker heading") << 108 << "Výrobce/Manafacturer:";
    QTest::newRow("rule under it") << 109 << "-------------------------";
}

// The text is fixed, line for line, and no language switch touches it.
void TstShell::helpLines()
{
    QFETCH(int, line);
    QFETCH(QString, text);
    TFrmMain frm;
    const QStringList before = HelpLines(*frm.FrmHelp);
    QCOMPARE(before.size(), 116);
    QCOMPARE(before[line - 1], text);
    frm.MLangENClick();
    QCOMPARE(HelpLines(*frm.FrmHelp), before);
    QCOMPARE(frm.FrmHelp->windowTitle(), QStringLiteral("Nápověda pro LK52"));
    const QStringList contacts = before.mid(109);
    QVERIFY(contacts.join(QLatin1Char('\n')).contains(QLatin1String("TAVRIN")));
    QVERIFY(contacts.join(QLatin1Char('\n')).contains(QLatin1String(".example")));
}

// Help opens modally over the window; Esc, and Enter in the text, leave it
// open; Enter on the focused OK closes it; the text cannot be edited.
void TstShell::helpIsModalAndOnlyOkCloses()
{
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    TFrmHelp& help = *frm->FrmHelp;
    QVERIFY(!(help.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(help.windowFlags() & Qt::WindowSystemMenuHint));
    QStringList steps;
    TDialogWatcher watcher;
    watcher.SetOther([&](QDialog& d) {
        steps << QStringLiteral("modal %1").arg(d.isModal());
        QTest::keyClick(help.MemoHlp, Qt::Key_Escape);
        steps << QStringLiteral("after Esc %1").arg(d.isVisible());
        QTest::keyClicks(help.MemoHlp, QStringLiteral("abc"));
        steps << QStringLiteral("still 116 lines %1").arg(HelpLines(help).size() == 116);
        QTest::keyClick(help.MemoHlp, Qt::Key_Return);
        steps << QStringLiteral("after Enter in the text %1").arg(d.isVisible());
        help.BtnHlpClose->setFocus(Qt::TabFocusReason);
        QTest::keyClick(help.BtnHlpClose, Qt::Key_Return);
        steps << QStringLiteral("after Enter on OK %1").arg(d.isVisible());
    });
    frm->Form->Ctl.BtnHelp->click();
    QCOMPARE(steps, QStringList({"modal 1", "after Esc 1", "still 116 lines 1",
                                 "after Enter in the text 1", "after Enter on OK 0"}));
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].ObjectName, QStringLiteral("FrmHelp"));
}

void TstShell::focusedButtonTakesKey_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Load data, Enter") << "BtnLoadData" << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Clear form, keypad Enter")
        << "BtnCleanForm" << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Help, Enter") << "BtnHelp" << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Help, Space") << "BtnHelp" << int(Qt::Key_Space) << int(Qt::NoModifier);
}

// Enter presses the push button that has the focus, as Space does.
void TstShell::focusedButtonTakesKey()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    auto* b = frm->findChild<QPushButton*>(button);
    QVERIFY(b != nullptr);
    TDialogWatcher watcher; // the help window, or the error of a load without a port
    int clicks = 0;
    connect(b, &QPushButton::clicked, [&] { ++clicks; });
    b->setFocus(Qt::TabFocusReason);
    QTest::keyClick(b, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(clicks, 1);
}

void TstShell::clearForm()
{
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    const TSettingsControls& c = frm->Form->Ctl;
    for (QLineEdit* e : {c.EdtType, c.EdtSerial, c.EdtName, c.EdtPerson})
        e->setText(QStringLiteral("ABC"));
    for (QLineEdit* e : {c.MskEdtSetTemp, c.MskEdtResComp, c.MskEdtTempBegin, c.MskEdtTempEnd})
        e->setText(QStringLiteral("12345"));
    c.DtTmPckr->setDate(QDate(2007, 12, 31));
    c.RdGrpInput->SetItemIndex(0);
    c.RdGrpOutput->SetItemIndex(1);
    c.RdGrpWire->SetItemIndex(1);
    c.RdGrpInErr->SetItemIndex(2);
    c.ChckBxColdComp->setChecked(true);
    c.ChckBxOutLimit->setChecked(true);
    // The thermocouple state: set temperature usable, compensation not.
    c.MskEdtResComp->setEnabled(false);
    c.LabelResComp->setEnabled(false);
    for (QLabel* mark : c.ChangeMarks())
        mark->show();
    frm->Form->SetStatusText(frm->Msg.MsgConnected);
    QList<bool> fillingSeen;
    connect(c.EdtName, &QLineEdit::textChanged, [&] { fillingSeen << frm->Form->Filling; });

    frm->ClearForm();

    QCOMPARE(fillingSeen, QList<bool>{true});
    QVERIFY(!frm->Form->Filling);
    for (QLineEdit* e : {c.EdtType, c.EdtSerial, c.EdtName, c.EdtPerson})
        QCOMPARE(e->text(), QString());
    QCOMPARE(c.MskEdtSetTemp->displayText(), QStringLiteral("000,0"));
    QCOMPARE(c.MskEdtResComp->displayText(), QStringLiteral("000,00"));
    QCOMPARE(c.MskEdtTempBegin->displayText(), QStringLiteral("0000"));
    QCOMPARE(c.MskEdtTempEnd->displayText(), QStringLiteral("0000"));
    QCOMPARE(c.DtTmPckr->date(), QDate::currentDate());
    for (TRadioGroup* g : {c.RdGrpInput, c.RdGrpOutput, c.RdGrpWire, c.RdGrpInErr})
        QCOMPARE(g->ItemIndex(), -1);
    QVERIFY(!c.ChckBxColdComp->isChecked());
    QVERIFY(!c.ChckBxOutLimit->isChecked());
    for (QLabel* mark : c.ChangeMarks())
        QVERIFY2(!mark->isVisible(), qPrintable(mark->objectName()));
    QVERIFY(c.Label13->isVisible());
    QCOMPARE(frm->Form->StatusText(), QString());
    QVERIFY(!c.MskEdtResComp->isEnabled());
    QVERIFY(!c.LabelResComp->isEnabled());
    QVERIFY(c.MskEdtSetTemp->isEnabled());
}

// The button clears the form; clearing selects nothing, so no choice field
// reports a selection (which would be written to the converter).
void TstShell::clearButtonHidesMarksOnly()
{
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    const TSettingsControls& c = frm->Form->Ctl;
    c.EdtName->setText(QStringLiteral("Pec 3"));
    c.LblNameCh->show();
    c.RdGrpOutput->SetItemIndex(2);
    int selections = 0;
    for (TRadioGroup* g : {c.RdGrpInput, c.RdGrpOutput, c.RdGrpWire, c.RdGrpInErr})
        connect(g, &TRadioGroup::ItemSelected, [&] { ++selections; });
    QTest::mouseClick(c.BtnCleanForm, Qt::LeftButton);
    QVERIFY(!c.LblNameCh->isVisible());
    QCOMPARE(c.EdtName->text(), QString());
    QCOMPARE(c.RdGrpOutput->ItemIndex(), -1);
    QCOMPARE(selections, 0);
}

void TstShell::exitClosesWindow()
{
    auto frm = ShownMainWindow();
    QVERIFY(frm->isVisible());
    frm->MFileExit->trigger();
    QVERIFY(!frm->isVisible());
}

// Alt and a letter opens a menu of the bar, and a letter picks an item
// of an open menu; no letter serves two in one place.
void TstShell::menuAccessKeys_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("bar");
    QTest::newRow("Czech") << int(kLangCzech) << "Alt+S Alt+J";
    QTest::newRow("English") << int(kLangEnglish) << "Alt+F Alt+J";
}

void TstShell::menuAccessKeys()
{
    QFETCH(int, lang);
    QFETCH(QString, bar);
    TFrmMain frm;
    frm.SetLang(lang);
    auto keys = [](const QList<QAction*>& actions) {
        QStringList k;
        for (const QAction* a : actions)
            if (const QKeySequence key = QKeySequence::mnemonic(a->text()); !key.isEmpty())
                k << key.toString();
        return k;
    };
    const QStringList barKeys = keys(frm.menuBar()->actions());
    QCOMPARE(barKeys.join(' '), bar);
    for (QAction* m : frm.menuBar()->actions()) {
        const QStringList itemKeys = keys(m->menu()->actions());
        QCOMPARE(QSet<QString>(itemKeys.begin(), itemKeys.end()).size(), itemKeys.size());
    }
    QVERIFY(!keys(frm.MenuFile->actions()).isEmpty());
}

void TstShell::errorBoxText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter gets a stop") << "Port is busy" << "Port is busy.";
    QTest::newRow("digit gets a stop") << "Error 5" << "Error 5.";
    QTest::newRow("quote gets none") << "not valid '12,5'" << "not valid '12,5'";
    QTest::newRow("stop stays single") << "Done." << "Done.";
    QTest::newRow("exclamation gets none") << "Stop!" << "Stop!";
    QTest::newRow("space gets none") << "Trailing " << "Trailing ";
    QTest::newRow("comma gets none") << "List," << "List,";
    QTest::newRow("hyphen gets none") << "Range -" << "Range -";
    QTest::newRow("accented letter gets a stop") << "Chyba portu č" << "Chyba portu č.";
    QTest::newRow("empty stays empty") << "" << "";
    QTest::newRow("Windows text, its line end dropped") << "Access is denied.\r\n" << "Access is denied.";
    QTest::newRow("line end after a letter") << "The device is not ready\r\n" << "The device is not ready.";
}

void TstShell::errorBoxText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message), shown);
}

// An error out of a handler shows the critical box with the title as its
// caption and one OK button; the silent abort shows nothing.
void TstShell::errorBoxShown()
{
    InstallErrorBox();
    TDialogWatcher watcher;
    Guarded([] { throw std::runtime_error("Input/output error"); });
    Guarded([] { throw EAbort(); });
    QCOMPARE(watcher.Seen().size(), 1);
    const TSeenDialog& box = watcher.Seen()[0];
    QCOMPARE(box.Title, QStringLiteral("LK58 - TAVRIN"));
    QCOMPARE(box.Text, QStringLiteral("Input/output error."));
    QCOMPARE(box.Icon, QMessageBox::Critical);
    QCOMPARE(box.Buttons, QStringList{QStringLiteral("OK")});
}

// The box for a port that does not open: the cause in the user's terms for
// the system's error codes (rows in porterrors_*.cpp), else the system's text.
void TstShell::portOpenErrorText()
{
    QFETCH(int, lang);
    QFETCH(int, code);
    QFETCH(QString, system);
    QFETCH(QString, device);
    QFETCH(QString, text);
    if (!PreparePortErrorRow(device, text))
        QSKIP("this user cannot give a file that group, or make a lock file");
    TFrmMain frm;
    if (lang == kLangEnglish)
        frm.MLangENClick();
    const EComError error(code, system.toStdString());
    QCOMPARE(PortOpenErrorText(frm.Msg, error, device.toStdString()), text);
}

// --help and --version need no window, so no display either (a shell
// over ssh, a package's build): they print and end well without one.
void TstShell::answersWithoutDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("says"); // at the start of standard output
    QTest::newRow("version") << "--version" << "lk58 0.2.1.7\n";
    QTest::newRow("help") << "--help" << "Usage: " LK58_PROGRAM " [options]\n";
}

void TstShell::answersWithoutDisplay()
{
#ifdef Q_OS_WIN
    QSKIP("Windows answers a window program's --help and --version in a box");
#endif
    QFETCH(QString, option);
    QFETCH(QString, says);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess lk58;
    lk58.setProcessEnvironment(env);
    lk58.start(QStringLiteral(LK58_PROGRAM), {option});
    QVERIFY(lk58.waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(lk58.readAllStandardError());
    QCOMPARE(lk58.exitStatus(), QProcess::NormalExit);
    QVERIFY2(lk58.exitCode() == 0, qPrintable(err));
    QCOMPARE(err, QString());
    const QString out = QString::fromLocal8Bit(lk58.readAllStandardOutput());
    QVERIFY2(out.startsWith(says), qPrintable(out));
    QVERIFY(option != "--help" || out.contains("--demo"));
}

// A port that opened but would not keep the converter's line names the
// setting, whatever system code came with it (Windows' "not supported"
// also stands for a device that is no serial port).
void TstShell::refusedLineSettingText()
{
    TFrmMain frm;
    const EComError error(50, "Can't apply BaudRate on this port: The request is not supported", "BaudRate");
    QCOMPARE(PortOpenErrorText(frm.Msg, error, "COM3"),
             QStringLiteral("Vybrali jste neplatný COM port.\nPort COM3 nepřijal nastavení linky převodníku "
                            "(BaudRate: 4800 Bd, 8 datových bitů, bez parity, 1 stop bit)."));
    frm.MLangENClick();
    QCOMPARE(PortOpenErrorText(frm.Msg, error, "COM3"),
             QStringLiteral("Invalid COM port selected.\nPort COM3 refused a setting of the converter's line "
                            "(BaudRate: 4800 baud, 8 data bits, no parity, 1 stop bit)."));
}

QTEST_MAIN(TstShell)
#include "tst_shell.moc"

// Loading a converter's settings into the real window: texts, dates, choices
// and numbers as the simulated converter holds them, and what a load leaves
// alone (marks, the converter's block).
#include "e2efixture.h"

#include <QStatusBar>

using namespace lk58;
using namespace lk58::test;

namespace {

const QString kDateCorrupt = QStringLiteral("Načtené datum je poškozeno.");
const QString kLoaded = QStringLiteral("Data byla načtena z převodníku.");
const QString kLoading = QStringLiteral("Načítám data z převodníku, prosím čekejte...");
const QDate kEarlierDate(2001, 2, 3);

// Loads `block` into a freshly connected window.
struct TLoaded {
    TSimulatedConverter converter;
    std::unique_ptr<TFrmMain> frm;

    explicit TLoaded(const SettingsBlock& block)
    {
        converter.SetBlock(block);
        frm = ConnectedWindow(converter);
        ClickLoad(*frm);
    }
    const TSettingsControls& Ctl() const { return frm->Form->Ctl; }
};

void SetBytes(SettingsBlock& block, std::size_t offset, const QByteArray& bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        const std::size_t at = offset + std::size_t(i);
        const int word = int(at + 1) / 2;
        const std::uint16_t w = block.Word(word);
        const std::uint8_t b = std::uint8_t(bytes[i]);
        block.SetWord(word, at % 2 ? std::uint16_t((b << 8) | (w & 0xFF)) : std::uint16_t((w & 0xFF00) | b));
    }
}

QStringList MarksShown(const TSettingsControls& c)
{
    QStringList shown;
    for (const QLabel* mark : c.ChangeMarks())
        if (mark->isVisible())
            shown << mark->objectName();
    return shown;
}

} // namespace

class TstSettingsLoad : public TE2eTest {
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void date_data();
    void date();
    void choices_data();
    void choices();
    void numbers_data();
    void numbers();
    void numberOutsideField_data();
    void numberOutsideField();
    void writesNothingAndKeepsMarks();
    void bytesBehindTheReply();
    void converterSilent_data();
    void converterSilent();

private:
};

void TstSettingsLoad::texts_data()
{
    QTest::addColumn<QByteArray>("type");   // the field's bytes in Windows-1250
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("person");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("nameText");
    QTest::addColumn<QString>("personText");
    QTest::newRow("short texts") << QByteArray("TQ36\0\0\0\0", 8) << QByteArray("Pec 3\0\0\0\0\0", 10)
                                 << QByteArray("Novak\0", 6) << "TQ36" << "Pec 3" << "Novak";
    QTest::newRow("Czech characters")
        << QByteArray("TQ36\0\0\0\0", 8) << QByteArray("\x8e\xe1r \xe8.\xec\xf8\xf9\x9e", 10)
        << QByteArray("Ji\xf8\xed \x8e\xf9rek\0", 11) << "TQ36" << "Žár č.ěřůž" << "Jiří Žůrek";
    QTest::newRow("full width, no zero byte")
        << QByteArray("ABCDEFGH") << QByteArray("0123456789") << QByteArray("Calibrated by X!")
        << "ABCDEFGH" << "0123456789" << "Calibrated by X";
    QTest::newRow("up to the first zero byte")
        << QByteArray("AB\0DEFGH", 8) << QByteArray("\0BCDEFGHIJ", 10) << QByteArray("Jan\0Novak", 9)
        << "AB" << "" << "Jan";
}

void TstSettingsLoad::texts()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, person);
    SettingsBlock block = SampleBlock();
    SetBytes(block, kType.offset, type);
    SetBytes(block, kSerial.offset, type);
    SetBytes(block, kName.offset, name);
    SetBytes(block, kPerson.offset, person);
    TLoaded l(block);
    QFETCH(QString, typeText);
    QCOMPARE(l.Ctl().EdtType->text(), typeText);
    QCOMPARE(l.Ctl().EdtSerial->text(), typeText);
    QFETCH(QString, nameText);
    QCOMPARE(l.Ctl().EdtName->text(), nameText);
    QFETCH(QString, personText);
    QCOMPARE(l.Ctl().EdtPerson->text(), personText);
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsLoad::date_data()
{
    QTest::addColumn<QByteArray>("chars"); // reply offsets 69 to 76
    QTest::addColumn<QDate>("shown");
    QTest::addColumn<int>("warnings");
    QTest::newRow("311207") << QByteArray("311207\0\0", 8) << QDate(2007, 12, 31) << 0;
    QTest::newRow("060807") << QByteArray("060807\0\0", 8) << QDate(2007, 8, 6) << 0;
    QTest::newRow("06.08.07 second layout") << QByteArray("06.08.07") << QDate(2007, 8, 6) << 0;
    QTest::newRow("01.01.99 second layout") << QByteArray("01.01.99") << QDate(1999, 1, 1) << 0;
    QTest::newRow("010197 is 1997") << QByteArray("010197\0\0", 8) << QDate(1997, 1, 1) << 0;
    QTest::newRow("010196 is 2096") << QByteArray("010196\0\0", 8) << QDate(2096, 1, 1) << 0;
    QTest::newRow("310207 no such day") << QByteArray("310207\0\0", 8) << kEarlierDate << 1;
    QTest::newRow("all zero") << QByteArray(8, '\0') << kEarlierDate << 1;
    QTest::newRow("0608x7 and zeros") << QByteArray("0608x7\0\0", 8) << kEarlierDate << 1;
    QTest::newRow("06AB07 bad month") << QByteArray("06AB07\0\0", 8) << kEarlierDate << 1;
    QTest::newRow("ABCD07 bad month and day") << QByteArray("ABCD07\0\0", 8) << kEarlierDate << 2;
    QTest::newRow("month 13") << QByteArray("011307\0\0", 8) << kEarlierDate << 1;
}

// A corrupt date leaves the picker's earlier date; each warning is a modal
// warning box with the current text.
void TstSettingsLoad::date()
{
    QFETCH(QByteArray, chars);
    QFETCH(int, warnings);
    SettingsBlock block = SampleBlock();
    SetBytes(block, kDate.offset, chars);
    TSimulatedConverter converter;
    converter.SetBlock(block);
    auto frm = ConnectedWindow(converter);
    frm->Form->Ctl.DtTmPckr->setDate(kEarlierDate);
    ClickLoad(*frm);
    QFETCH(QDate, shown);
    QCOMPARE(frm->Form->Ctl.DtTmPckr->date(), shown);
    QCOMPARE(watcher.Texts(), QStringList(QList<QString>(warnings, kDateCorrupt)));
    for (const TSeenDialog& d : watcher.Seen()) {
        QCOMPARE(d.Title, QStringLiteral("Warning"));
        QCOMPARE(d.Icon, QMessageBox::Warning);
    }
    QCOMPARE(frm->Form->StatusText(), kLoaded);
}

void TstSettingsLoad::choices_data()
{
    // Words of parameters 1 to 5 and 61.
    QTest::addColumn<QList<int>>("words");
    // Input, incorrect-input, output and wiring items; limit and cold end.
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<bool>("outLimit");
    QTest::addColumn<bool>("coldComp");
    QTest::addColumn<bool>("thermocouple"); // set temperature enabled, resistance disabled
    QTest::addColumn<bool>("pt100");        // the reverse
    QTest::newRow("sample") << QList<int>{2, 1, 1, 1, 3, 2} << QList<int>{1, 1, 2, 1} << true << true
                            << true << false;
    QTest::newRow("PT100 by 5") << QList<int>{5, 0, 2, 0, 1, 1} << QList<int>{4, 2, 0, 0} << false
                                << false << false << true;
    QTest::newRow("J by 1") << QList<int>{1, 0, 0, 0, 2, 1} << QList<int>{0, 0, 1, 0} << false << false
                            << true << false;
    QTest::newRow("input 0: no selection, rule not run")
        << QList<int>{0, 0, 0, 0, 0, 0} << QList<int>{-1, 0, -1, -1} << false << false << true << true;
    QTest::newRow("input 9 selects PT100") << QList<int>{9, 0, 0, 0, 1, 1} << QList<int>{4, 0, 0, 0}
                                           << false << false << false << true;
    QTest::newRow("incorrect input 7 selects output 2 mA")
        << QList<int>{2, 0, 7, 0, 1, 1} << QList<int>{1, 2, 0, 0} << false << false << true << false;
    QTest::newRow("check bytes of 2 leave the boxes unchecked")
        << QList<int>{2, 2, 0, 2, 1, 1} << QList<int>{1, 0, 0, 0} << false << false << true << false;
    QTest::newRow("high bytes are not read") << QList<int>{0x0305, 0x0101, 0xFF00, 0x0201, 0x0103, 0x0102}
                                             << QList<int>{4, 0, 2, 1} << true << true << false << true;
    QTest::newRow("output and wiring far past their items")
        << QList<int>{2, 1, 200, 1, 200, 200} << QList<int>{1, 2, 2, 1} << true << true << true << false;
}

void TstSettingsLoad::choices()
{
    QFETCH(QList<int>, words);
    QFETCH(QList<int>, items);
    SettingsBlock block = SampleBlock();
    const int numbers[] = {1, 2, 3, 4, 5, 61};
    for (int i = 0; i < 6; ++i)
        block.SetWord(numbers[i], std::uint16_t(words[i]));
    TLoaded l(block);
    const TSettingsControls& c = l.Ctl();
    QCOMPARE((QList<int>{c.RdGrpInput->ItemIndex(), c.RdGrpInErr->ItemIndex(), c.RdGrpOutput->ItemIndex(),
                         c.RdGrpWire->ItemIndex()}),
             items);
    QFETCH(bool, outLimit);
    QCOMPARE(c.ChckBxOutLimit->isChecked(), outLimit);
    QFETCH(bool, coldComp);
    QCOMPARE(c.ChckBxColdComp->isChecked(), coldComp);
    QFETCH(bool, thermocouple);
    QFETCH(bool, pt100);
    QCOMPARE(c.MskEdtSetTemp->isEnabled(), thermocouple);
    QCOMPARE(c.LabelSetTemp->isEnabled(), thermocouple);
    QCOMPARE(c.ChckBxColdComp->isEnabled(), thermocouple);
    QCOMPARE(c.MskEdtResComp->isEnabled(), pt100);
    QCOMPARE(c.LabelResComp->isEnabled(), pt100);
    QCOMPARE(l.converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsLoad::numbers_data()
{
    QTest::addColumn<int>("begin"); // words 20, 21, 62; 63-64
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("setTemp");
    QTest::addColumn<int>("resComp");
    QTest::addColumn<QStringList>("texts"); // begin, end, set temperature, resistance
    QTest::newRow("sample") << -50 << 400 << 255 << 1234
                            << QStringList{"-050", "0400", "025,5", "012,34"};
    QTest::newRow("zeros") << 0 << 0 << 0 << 0 << QStringList{"0000", "0000", "000,0", "000,00"};
    QTest::newRow("begin 150, set temperature 25,0") << 150 << 0 << 250 << 0
                                                     << QStringList{"0150", "0000", "025,0", "000,00"};
    QTest::newRow("begin -5") << -5 << 5 << 5 << 5 << QStringList{"-005", "0005", "000,5", "000,05"};
    QTest::newRow("range end FF9C reads -100") << -999 << 0xFF9C << 0 << 0
                                               << QStringList{"-999", "-100", "000,0", "000,00"};
    QTest::newRow("negative decimals") << 0 << 0 << -5 << -1234
                                       << QStringList{"0000", "0000", "-00,5", "-12,34"};
    QTest::newRow("set temperature FFFF reads -0,1") << 0 << 0 << 0xFFFF << -1
                                                     << QStringList{"0000", "0000", "-00,1", "-00,01"};
    QTest::newRow("largest the fields hold") << 9999 << 9999 << 9999 << 99999
                                             << QStringList{"9999", "9999", "999,9", "999,99"};
    QTest::newRow("smallest the fields hold") << -999 << -999 << -999 << -9999
                                              << QStringList{"-999", "-999", "-99,9", "-99,99"};
}

void TstSettingsLoad::numbers()
{
    SettingsBlock block = SampleBlock();
    QFETCH(int, begin);
    StoreValue(block, kRangeBegin, begin);
    QFETCH(int, end);
    StoreValue(block, kRangeEnd, end);
    QFETCH(int, setTemp);
    StoreValue(block, kSetTemp, setTemp);
    QFETCH(int, resComp);
    StoreValue(block, kResComp, resComp);
    TLoaded l(block);
    const TSettingsControls& c = l.Ctl();
    QFETCH(QStringList, texts);
    QCOMPARE((QStringList{c.MskEdtTempBegin->displayText(), c.MskEdtTempEnd->displayText(),
                          c.MskEdtSetTemp->displayText(), c.MskEdtResComp->displayText()}),
             texts);
    QCOMPARE(MarksShown(c), QStringList());
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsLoad::numberOutsideField_data()
{
    QTest::addColumn<int>("number"); // parameter
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("status"); // after "Hodnota převodníku se do pole nevejde: "
    QTest::addColumn<QString>("english"); // the same, once the window speaks English
    QTest::newRow("range begin 10000") << 20 << 10000 << "MskEdtTempBegin" << "LblTempBeginCh"
                                       << "????" << "začátek rozsahu 10000" << "range begin 10000";
    QTest::newRow("range begin -1000") << 20 << -1000 << "MskEdtTempBegin" << "LblTempBeginCh"
                                       << "????" << "začátek rozsahu -1000" << "range begin -1000";
    QTest::newRow("range end 32767") << 21 << 32767 << "MskEdtTempEnd" << "LblTempEndCh" << "????"
                                     << "konec rozsahu 32767" << "range end 32767";
    QTest::newRow("set temperature 1000,0") << 62 << 10000 << "MskEdtSetTemp" << "LblSetTempCh"
                                            << "???,?" << "pevně nastavená teplota 1000,0"
                                            << "fixed set temperature 1000,0";
    QTest::newRow("resistance -100,00") << 63 << -10000 << "MskEdtResComp" << "LblResCompCh"
                                        << "???,??" << "kompenzace odporu vedení -100,00"
                                        << "wiring resistance compensation -100,00";
}

// A value the mask cannot hold is not cut to a different number: the field
// shows no digits, the status text names it with the converter's value, and
// its mark says that it does not show the converter's value.
void TstSettingsLoad::numberOutsideField()
{
    QFETCH(int, number);
    SettingsBlock block = SampleBlock();
    const SettingInfo& setting = *std::find_if(kSettings.begin(), kSettings.end(),
                                               [&](const SettingInfo& s) { return s.number == number; });
    QFETCH(int, value);
    StoreValue(block, setting, value);
    TLoaded l(block);
    QFETCH(QString, field);
    auto* edit = l.frm->findChild<QLineEdit*>(field);
    QVERIFY(edit != nullptr);
    QCOMPARE(edit->text(), QString(setting.kind == FieldKind::Decimal ? "," : ""));
    QFETCH(QString, shown);
    QCOMPARE(edit->displayText(), shown);
    QFETCH(QString, status);
    QCOMPARE(l.frm->Form->StatusText(), "Hodnota převodníku se do pole nevejde: " + status);
    QFETCH(QString, english);
    l.frm->SetLang(kLangEnglish);
    QCOMPARE(l.frm->Form->StatusText(), "The converter's value does not fit its field: " + english);
    l.frm->SetLang(kLangCzech);
    QFETCH(QString, mark);
    QCOMPARE(MarksShown(l.Ctl()), QStringList{mark});
    QCOMPARE(l.converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(watcher.Texts(), QStringList());
}

// A mark shown before the load stays although the field now shows the
// converter's value; the load writes nothing and ends in EdtType.
void TstSettingsLoad::writesNothingAndKeepsMarks()
{
    TSimulatedConverter converter;
    const SettingsBlock block = SampleBlock();
    converter.SetBlock(block);
    auto frm = ConnectedWindow(converter);
    const TSettingsControls& c = frm->Form->Ctl;
    TypeInto(c.EdtName, QStringLiteral("Kotel"));
    TypeInto(c.MskEdtTempEnd, QStringLiteral("0123"));
    ClickLoad(*frm);
    QCOMPARE(c.EdtName->text(), QStringLiteral("Pec č.3"));
    QCOMPARE(c.MskEdtTempEnd->displayText(), QStringLiteral("0400"));
    QCOMPARE(MarksShown(c), (QStringList{"LblNameCh", "LblTempEndCh"}));
    QCOMPARE(frm->Form->StatusText(), kLoaded);
    QCOMPARE(QApplication::focusWidget(), c.EdtType);
    QVERIFY(!frm->Form->Filling);
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(1));
    QCOMPARE(converter.sim.Counters().writes, std::size_t(0));
    QCOMPARE(converter.Block(), block);
}

// A byte that follows the reply (in the same read or a later one) is no
// part of the block.
void TstSettingsLoad::bytesBehindTheReply()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    converter.sim.SetFault(Fault::ExtraBytes, kEveryReply, kOnReadAll);
    auto frm = ConnectedWindow(converter);
    ClickLoad(*frm);
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(frm->Form->Ctl.EdtName->text(), QStringLiteral("Pec č.3"));
    QCOMPARE(frm->Form->StatusText(), kLoaded);
}

void TstSettingsLoad::converterSilent_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("no reply") << int(Fault::Silent);
    QTest::newRow("bad check bytes") << int(Fault::CorruptChecksum);
    QTest::newRow("reply after 4 s") << int(Fault::Delay);
}

// No valid reply: the connection-lost dialog, the port panel; the form and
// the status line stay as they were.
void TstSettingsLoad::converterSilent()
{
    QFETCH(int, fault);
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    // Well past the 1.5 s budget, so that late ticks on a loaded machine cannot
    // stretch the wait over it.
    converter.sim.SetDelay(std::chrono::milliseconds(4000));
    auto frm = ConnectedWindow(converter);
    const TSettingsControls& c = frm->Form->Ctl;
    c.EdtName->setText(QStringLiteral("Kotel"));
    converter.sim.SetFault(Fault(fault), kEveryReply, kOnReadAll);
    ClickLoad(*frm);
    QCOMPARE(watcher.Texts(), QStringList{QStringLiteral("Spojení s převodníkem bylo ztraceno.")});
    QCOMPARE(watcher.Seen().first().Title, QStringLiteral("Error"));
    QVERIFY(frm->PanelConnect->isVisible());
    QVERIFY(!frm->ComPort.Active());
    QCOMPARE(c.EdtName->text(), QStringLiteral("Kotel"));
    QCOMPARE(c.MskEdtTempEnd->displayText(), QStringLiteral("0000"));
    QCOMPARE(frm->Form->StatusText(), kLoading);
}

QTEST_MAIN(TstSettingsLoad)
#include "tst_settingsload.moc"

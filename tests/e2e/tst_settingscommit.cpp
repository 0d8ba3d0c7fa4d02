// Writing single fields from the real window to the simulated converter:
// each commit changes exactly its words in the converter's block; marks,
// failures, the input-type rule and the choice fields.
#include "e2efixture.h"

using namespace lk58;
using namespace lk58::test;

namespace {

const QString kConnectionLost = QStringLiteral("Spojení s převodníkem bylo ztraceno.");

// The words a text write leaves in the block.
QList<int> TextWordValues(const SettingInfo& setting, const char* utf8)
{
    SettingsBlock b;
    StoreText(b, setting, EncodeTextField(setting, utf8));
    QList<int> values;
    for (int i = 0; i < setting.words; ++i)
        values << b.Word(setting.number + i);
    return values;
}

QList<int> WordValues(const SettingsBlock& block, const QList<int>& numbers)
{
    QList<int> values;
    for (int n : numbers)
        values << block.Word(n);
    return values;
}

// A window with the sample block loaded and the converter's log empty.
struct TLoaded {
    TSimulatedConverter converter;
    std::unique_ptr<TFrmMain> frm;
    SettingsBlock before;

    explicit TLoaded(int inputType = 2) : TLoaded(SampleBlock(inputType)) {}
    explicit TLoaded(const SettingsBlock& block) : before(block)
    {
        converter.SetBlock(before);
        frm = ConnectedWindow(converter);
        ClickLoad(*frm);
        converter.sim.ClearLog();
    }
    const TSettingsControls& Ctl() const { return frm->Form->Ctl; }
    template <class W>
    W* Field(const QString& name) const
    {
        return frm->findChild<W*>(name);
    }
};

} // namespace

class TstSettingsCommit : public TE2eTest {
    Q_OBJECT

private slots:
    void textAndNumberFields_data();
    void textAndNumberFields();
    void date_data();
    void date();
    void typedDate_data();
    void typedDate();
    void readOnlyFieldRewritesShownText_data();
    void readOnlyFieldRewritesShownText();
    void emptyReadOnlyFieldWritesNothing();
    void unchangedTextWritesLoadedBytes_data();
    void unchangedTextWritesLoadedBytes();
    void clearThenEnterWritesToday();
    void failedWriteKeepsMark_data();
    void failedWriteKeepsMark();
    void choices_data();
    void choices();
    void selectedItemAgainWritesNothing();
    void inputTypeRule_data();
    void inputTypeRule();

private:
};

void TstSettingsCommit::textAndNumberFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QList<int>>("numbers"); // parameters written, in order
    QTest::addColumn<QList<int>>("words");   // the converter's words from the first one
    QTest::newRow("name, Czech") << "EdtName" << "Kotel č.2" << "LblNameCh" << Range(30, 5)
                                 << TextWordValues(kName, "Kotel č.2");
    QTest::newRow("name emptied") << "EdtName" << "" << "LblNameCh" << Range(30, 5)
                                  << QList<int>{0, 0, 0, 0, 0};
    QTest::newRow("person, 15 characters") << "EdtPerson" << "Ing. Jiří Novák" << "LblPersonCh"
                                           << Range(39, 8) << TextWordValues(kPerson, "Ing. Jiří Novák");
    QTest::newRow("set temperature 25,5") << "MskEdtSetTemp" << "0255" << "LblSetTempCh" << QList<int>{62}
                                          << QList<int>{255};
    QTest::newRow("set temperature -12,3") << "MskEdtSetTemp" << "-123" << "LblSetTempCh"
                                           << QList<int>{62} << QList<int>{0xFF85};
    QTest::newRow("resistance 12,34, 32 bits") << "MskEdtResComp" << "01234" << "LblResCompCh"
                                               << QList<int>{63} << QList<int>{0, 1234};
    QTest::newRow("resistance -0,05") << "MskEdtResComp" << "-0005" << "LblResCompCh" << QList<int>{63}
                                      << QList<int>{0xFFFF, 0xFFFB};
    QTest::newRow("range begin -100") << "MskEdtTempBegin" << "-100" << "LblTempBeginCh"
                                      << QList<int>{20} << QList<int>{0xFF9C};
    QTest::newRow("range end 500") << "MskEdtTempEnd" << "0500" << "LblTempEndCh" << QList<int>{21}
                                   << QList<int>{500};
    QTest::newRow("range end equal to begin") << "MskEdtTempEnd" << "-050" << "LblTempEndCh"
                                              << QList<int>{21} << QList<int>{0xFFCE};
}

// Typing shows the mark; Enter writes the field, hides the mark and leaves
// focus and text where they were.
void TstSettingsCommit::textAndNumberFields()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, mark);
    QFETCH(QList<int>, numbers);
    QFETCH(QList<int>, words);
    // The resistance compensation is a PT100's.
    TLoaded l(field == "MskEdtResComp" ? 5 : 2);
    auto* edit = l.Field<QLineEdit>(field);
    auto* label = l.Field<QLabel>(mark);
    TypeInto(edit, keys);
    QVERIFY(label->isVisible());
    const QString shown = edit->displayText();
    PressEnter(edit);
    QVERIFY(label->isHidden());
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->displayText(), shown);
    QCOMPARE(WrittenNumbers(l.converter.sim), numbers);
    const QList<int> span = Range(numbers.first(), int(words.size()));
    QCOMPARE(WordValues(l.converter.Block(), span), words);
    for (int n : ChangedWords(l.before, l.converter.Block()))
        QVERIFY2(span.contains(n), qPrintable(QStringLiteral("word %1 changed").arg(n)));
}

void TstSettingsCommit::date_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("6 August 2007") << QDate(2007, 8, 6) << QByteArray("060807");
    QTest::newRow("31 December 1998") << QDate(1998, 12, 31) << QByteArray("311298");
    QTest::newRow("1 January 1997") << QDate(1997, 1, 1) << QByteArray("010197");
    QTest::newRow("31 December 2096") << QDate(2096, 12, 31) << QByteArray("311296");
}

void TstSettingsCommit::date()
{
    QFETCH(QDate, date);
    QFETCH(QByteArray, text);
    TLoaded l;
    QDateEdit* picker = l.Ctl().DtTmPckr;
    Focus(picker);
    picker->setDate(date);
    QVERIFY(l.Ctl().LblDateCh->isVisible());
    PressEnter(picker);
    QVERIFY(l.Ctl().LblDateCh->isHidden());
    QCOMPARE(WrittenNumbers(l.converter.sim), Range(35, 4));
    QCOMPARE(WordValues(l.converter.Block(), Range(35, 4)), TextWordValues(kDate, text.constData()));
    QCOMPARE(picker->date(), date);
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::typedDate_data()
{
    QTest::addColumn<QString>("start"); // how the focus comes into the picker
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QByteArray>("text");
    const QDate august6(2007, 8, 6);
    QTest::newRow("dots, click into the day") << "day" << "06.08.2007" << august6 << QByteArray("060807");
    QTest::newRow("slashes, click into the month") << "month" << "06/08/2007" << august6 << QByteArray("060807");
    QTest::newRow("dashes, click into the year") << "year" << "06-08-2007" << august6 << QByteArray("060807");
    QTest::newRow("digits only, after Tab") << "Tab" << "06082007" << august6 << QByteArray("060807");
    QTest::newRow("digits only, click into the month") << "month" << "06082007" << august6 << QByteArray("060807");
    QTest::newRow("one-digit parts, click into the year") << "year" << "6.8.2007" << august6 << QByteArray("060807");
    QTest::newRow("one-digit parts, after Shift+Tab") << "Shift+Tab" << "6.8.2007" << august6 << QByteArray("060807");
    QTest::newRow("a leap day over 31 December 2007") << "day" << "29.02.2008" << QDate(2008, 2, 29)
                                                      << QByteArray("290208");
    QTest::newRow("two-digit year") << "Tab" << "1.2.99" << QDate(1999, 2, 1) << QByteArray("010299");
}

// A whole date typed after a click anywhere in the picker, or after Tab,
// sets exactly that date, and Enter writes what the picker shows; the mark
// goes, and Enter does not bring it back. Tab still leaves the picker, and a
// separator typed on its own moves to the date's next part.
void TstSettingsCommit::typedDate()
{
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QDate, date);
    QFETCH(QByteArray, text);
    TLoaded l;
    QDateEdit* picker = l.Ctl().DtTmPckr;
    QCOMPARE(picker->date(), QDate(2007, 12, 31));
    if (start == "Tab" || start == "Shift+Tab") {
        QWidget* before = start == "Tab" ? l.Ctl().EdtName : l.Ctl().EdtPerson;
        Focus(before);
        QTest::keyClick(before, start == "Tab" ? Qt::Key_Tab : Qt::Key_Backtab);
    } else {
        // The middle of the part's digits in "31.12.2007".
        const int part = QStringList{"day", "month", "year"}.indexOf(start);
        auto* edit = picker->findChild<QLineEdit*>();
        const QString shown = edit->text();
        const int at = QList<int>{1, 4, 8}[part];
        const QFontMetrics fm = edit->fontMetrics();
        const int x = edit->contentsRect().left() + 2 + fm.horizontalAdvance(shown.left(at));
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, edit->height() / 2));
        QCOMPARE(picker->currentSectionIndex(), part);
    }
    QCOMPARE(QApplication::focusWidget(), picker);
    for (const QChar c : keys)
        QTest::keyClick(picker, c.toLatin1());
    QCOMPARE(picker->date(), date);
    QCOMPARE(QApplication::focusWidget(), picker);
    QVERIFY(l.Ctl().LblDateCh->isVisible());
    PressEnter(picker);
    QCOMPARE(picker->date(), date);
    QVERIFY(l.Ctl().LblDateCh->isHidden());
    QCOMPARE(WordValues(l.converter.Block(), Range(35, 4)), TextWordValues(kDate, text.constData()));

    picker->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, '.');
    QCOMPARE(QApplication::focusWidget(), picker);
    QCOMPARE(picker->currentSection(), QDateTimeEdit::MonthSection);
    QTest::keyClick(picker, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), l.Ctl().EdtPerson);
    QCOMPARE(picker->date(), date);
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::readOnlyFieldRewritesShownText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("first");
    QTest::newRow("type") << "EdtType" << 22;
    QTest::newRow("serial number") << "EdtSerial" << 26;
}

// The converter's words changed behind the form's back: Enter writes back
// what the field shows. Only the program changes these fields, so their
// marks never appear.
void TstSettingsCommit::readOnlyFieldRewritesShownText()
{
    QFETCH(QString, field);
    QFETCH(int, first);
    TLoaded l;
    for (int n = first; n < first + 4; ++n)
        l.converter.sim.SetWord(n, 0x5858);
    auto* edit = l.Field<QLineEdit>(field);
    Focus(edit);
    QTest::keyClicks(edit, QStringLiteral("abc"));
    PressEnter(edit);
    QCOMPARE(WrittenNumbers(l.converter.sim), Range(first, 4));
    QCOMPARE(l.converter.Block(), l.before);
    QVERIFY(l.Ctl().LblTypeCh->isHidden());
    QVERIFY(l.Ctl().LblSerialCh->isHidden());
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::unchangedTextWritesLoadedBytes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("bytes"); // the words of the field in the block
    QTest::newRow("type, bytes Windows-1250 lacks")
        << "EdtType" << QByteArray("\x81\x83\x88\x90\x98T36");
    QTest::newRow("serial number, bytes after its end")
        << "EdtSerial" << QByteArray("36\x98\0\x81xyz", 8);
    QTest::newRow("name") << "EdtName" << QByteArray("Pec\x90\x88 \xe8.3\0", 10);
    QTest::newRow("calibrated by, the sixteenth byte too")
        << "EdtPerson" << QByteArray("Ji\xf8\xed \x83\x81rek\0\0\0\0\0\x98", 16);
}

// Enter in a text field that still shows what was loaded writes back the
// converter's bytes exactly, also those shown as "?".
void TstSettingsCommit::unchangedTextWritesLoadedBytes()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, bytes);
    const SettingInfo& setting = *std::find_if(kSettings.begin(), kSettings.end(),
                                               [&](const SettingInfo& s) { return field == s.field; });
    SettingsBlock block = SampleBlock();
    StoreText(block, setting, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                        std::size_t(bytes.size())));
    TLoaded l(block);
    auto* edit = l.Field<QLineEdit>(field);
    Focus(edit);
    PressEnter(edit);
    QCOMPARE(WrittenNumbers(l.converter.sim), Range(setting.number, setting.words));
    QCOMPARE(ChangedWords(block, l.converter.Block()), QList<int>());
    QCOMPARE(watcher.Texts(), QStringList());
}

// After "Clear form" the identity fields are empty: Enter must not erase
// the converter's type and serial number.
void TstSettingsCommit::emptyReadOnlyFieldWritesNothing()
{
    TLoaded l;
    QTest::mouseClick(l.Ctl().BtnCleanForm, Qt::LeftButton);
    for (QLineEdit* edit : {l.Ctl().EdtType, l.Ctl().EdtSerial}) {
        Focus(edit);
        PressEnter(edit);
    }
    QCOMPARE(l.converter.sim.Counters().requests, std::size_t(0));
    QCOMPARE(l.converter.Block(), l.before);
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::clearThenEnterWritesToday()
{
    TLoaded l;
    TypeInto(l.Ctl().EdtName, QStringLiteral("Kotel"));
    QTest::mouseClick(l.Ctl().BtnCleanForm, Qt::LeftButton);
    for (const QLabel* mark : l.Ctl().ChangeMarks())
        QVERIFY(mark->isHidden());
    QCOMPARE(l.converter.sim.Counters().requests, std::size_t(0));
    Focus(l.Ctl().DtTmPckr);
    PressEnter(l.Ctl().DtTmPckr);
    const QByteArray today = QDate::currentDate().toString(QStringLiteral("ddMMyy")).toLatin1();
    QCOMPARE(WordValues(l.converter.Block(), Range(35, 4)), TextWordValues(kDate, today.constData()));
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::failedWriteKeepsMark_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("mark");
    QTest::newRow("text") << "EdtName" << "Kotel" << "LblNameCh";
    QTest::newRow("16-bit number") << "MskEdtTempBegin" << "0010" << "LblTempBeginCh";
    QTest::newRow("32-bit number") << "MskEdtResComp" << "00100" << "LblResCompCh";
}

// A converter that stops answering: the connection-lost dialog and the port
// panel; the field keeps its text and its mark.
void TstSettingsCommit::failedWriteKeepsMark()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, mark);
    TLoaded l(field == "MskEdtResComp" ? 5 : 2);
    auto* edit = l.Field<QLineEdit>(field);
    TypeInto(edit, keys);
    l.converter.sim.SetFault(Fault::Silent);
    PressEnter(edit);
    QCOMPARE(watcher.Texts(), QStringList{kConnectionLost});
    QCOMPARE(watcher.Seen().first().Title, QStringLiteral("Error"));
    QVERIFY(l.frm->PanelConnect->isVisible());
    QVERIFY(!l.frm->ComPort.Active());
    QVERIFY(!l.Field<QLabel>(mark)->isHidden());
    QCOMPARE(l.converter.Block(), l.before);
}

void TstSettingsCommit::choices_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("item"); // -1: a check box, clicked
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("value");
    QTest::newRow("input PT100") << "RdGrpInput" << 4 << 1 << 5;
    QTest::newRow("input J") << "RdGrpInput" << 0 << 1 << 1;
    QTest::newRow("output 4 - 20 mA") << "RdGrpOutput" << 0 << 5 << 1;
    QTest::newRow("output 0 - 20 mA") << "RdGrpOutput" << 1 << 5 << 2;
    QTest::newRow("no indication") << "RdGrpInErr" << 0 << 3 << 0;
    QTest::newRow("output 2 mA") << "RdGrpInErr" << 2 << 3 << 2;
    QTest::newRow("2 or 4 wire") << "RdGrpWire" << 0 << 61 << 1;
    QTest::newRow("output limit off") << "ChckBxOutLimit" << -1 << 2 << 0;
    QTest::newRow("cold end off") << "ChckBxColdComp" << -1 << 4 << 0;
}

// A radio group writes when an item becomes selected, a check box when it
// changes; neither has a mark.
void TstSettingsCommit::choices()
{
    QFETCH(QString, control);
    QFETCH(int, item);
    QFETCH(int, number);
    QFETCH(int, value);
    TLoaded l;
    if (item >= 0)
        ClickItem(l.Field<TRadioGroup>(control), item);
    else
        QTest::mouseClick(l.Field<QCheckBox>(control), Qt::LeftButton);
    const auto writes = l.converter.sim.AppliedWrites();
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0], (WriteRecord{number, std::uint32_t(value)}));
    QCOMPARE(ChangedWords(l.before, l.converter.Block()), QList<int>{number});
    QCOMPARE(l.converter.Block().Word(number), value);
    for (const QLabel* mark : l.Ctl().ChangeMarks())
        QVERIFY(mark->isHidden());

    // Set by the program outside a load, a check box writes as well.
    if (item < 0) {
        l.Field<QCheckBox>(control)->setChecked(true);
        QCOMPARE(l.converter.Block().Word(number), 1);
    }
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::selectedItemAgainWritesNothing()
{
    TLoaded l;
    ClickItem(l.Ctl().RdGrpInput, 1);
    ClickItem(l.Ctl().RdGrpOutput, 2);
    ClickItem(l.Ctl().RdGrpWire, 1);
    ClickItem(l.Ctl().RdGrpInErr, 1);
    QCOMPARE(l.converter.sim.Counters().requests, std::size_t(0));
    QCOMPARE(watcher.Texts(), QStringList());
}

void TstSettingsCommit::inputTypeRule_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<int>("written"); // the last value of parameter 1
    QTest::addColumn<bool>("thermocouple");
    QTest::newRow("PT100") << QList<int>{4} << 5 << false;
    QTest::newRow("PT100, then J") << QList<int>{4, 0} << 1 << true;
    QTest::newRow("B") << QList<int>{3} << 4 << true;
    QTest::newRow("S, then PT100") << QList<int>{2, 4} << 5 << false;
}

// A thermocouple enables the cold end and the set temperature, a PT100 the
// resistance compensation; the disabled fields keep their values.
void TstSettingsCommit::inputTypeRule()
{
    QFETCH(QList<int>, clicks);
    QFETCH(int, written);
    QFETCH(bool, thermocouple);
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    for (int item : clicks)
        ClickItem(c.RdGrpInput, item);
    QCOMPARE(c.ChckBxColdComp->isEnabled(), thermocouple);
    QCOMPARE(c.MskEdtSetTemp->isEnabled(), thermocouple);
    QCOMPARE(c.LabelSetTemp->isEnabled(), thermocouple);
    QCOMPARE(c.MskEdtResComp->isEnabled(), !thermocouple);
    QCOMPARE(c.LabelResComp->isEnabled(), !thermocouple);
    QCOMPARE(WrittenNumbers(l.converter.sim), QList<int>(clicks.size(), 1));
    QCOMPARE(l.converter.Block().Word(1), written);
    QCOMPARE(c.MskEdtSetTemp->displayText(), QStringLiteral("025,5"));
    QCOMPARE(c.MskEdtResComp->displayText(), QStringLiteral("012,34"));
    QVERIFY(c.ChckBxColdComp->isChecked());
    QCOMPARE(watcher.Texts(), QStringList());
}

QTEST_MAIN(TstSettingsCommit)
#include "tst_settingscommit.moc"

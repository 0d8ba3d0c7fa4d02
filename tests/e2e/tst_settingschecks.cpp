// The checks between fields (range order, voltage output with a 2 mA
// indication) and the highlight of the focused field, in the real window
// against the simulated converter.
#include "e2efixture.h"

using namespace lk58;
using namespace lk58::test;

namespace {

const QString kRangeOrder = QStringLiteral(
    "Hodnota horního rozsahu teploty musí být vyšší než hodnota spodního rozsahu.");
const QString kVoltageNotice = QStringLiteral("Je zvolen napěťový výstup (0 - 10 V) a volba hlášení "
                                              "nekorektního vstupu 20mA nebude aktivní.");
const QColor kLime(0, 255, 0);

struct TLoaded {
    TSimulatedConverter converter;
    std::unique_ptr<TFrmMain> frm;

    TLoaded()
    {
        converter.SetBlock(SampleBlock());
        frm = ConnectedWindow(converter);
        ClickLoad(*frm);
        converter.sim.ClearLog();
    }
    const TSettingsControls& Ctl() const { return frm->Form->Ctl; }
};

// Lets queued handlers run (the checks on leaving a field).
void Settle()
{
    QTest::qWait(50);
}

QColor Base(const QWidget* w)
{
    return w->palette().color(QPalette::Base);
}

QColor Face(const QWidget* w)
{
    return w->palette().color(QPalette::Window);
}

} // namespace

class TstSettingsChecks : public TE2eTest {
    Q_OBJECT

private slots:
    void rangeOrderOnEnter_data();
    void rangeOrderOnEnter();
    void messageInLanguageInForce();
    void rangeOrderOnLeaving_data();
    void rangeOrderOnLeaving();
    void leavingByClickWritesThenChecks();
    void rangeAsLoaded_data();
    void rangeAsLoaded();
    void voltageNotice_data();
    void voltageNotice();
    void highlight_data();
    void highlight();
    void readOnlyFieldsKeepGrey();

private:
};

void TstSettingsChecks::rangeOrderOnEnter_data()
{
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("inOrder");
    QTest::addColumn<int>("written");
    QTest::newRow("end 0100 below begin 0200") << "0200" << "0100" << false << 0;
    QTest::newRow("end equal to begin") << "0200" << "0200" << true << 200;
    QTest::newRow("end above begin") << "-100" << "-099" << true << 0xFF9D;
    QTest::newRow("negative end below begin") << "-010" << "-020" << false << 0;
}

void TstSettingsChecks::rangeOrderOnEnter()
{
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(bool, inOrder);
    QFETCH(int, written);
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    TypeInto(c.MskEdtTempBegin, begin);
    TypeInto(c.MskEdtTempEnd, end);
    PressEnter(c.MskEdtTempEnd);
    Reactivate(l.frm.get());
    QCOMPARE(QApplication::focusWidget(), c.MskEdtTempEnd);
    QCOMPARE(c.LblTempEndCh->isVisible(), !inOrder);
    if (inOrder) {
        QCOMPARE(watcher.Seen().size(), 0);
        QCOMPARE(WrittenNumbers(l.converter.sim), QList<int>{21});
        QCOMPARE(l.converter.sim.Word(21), written);
    } else {
        QCOMPARE(watcher.Texts(), QStringList{kRangeOrder});
        QCOMPARE(watcher.Seen().first().Title, QStringLiteral("Information"));
        QCOMPARE(watcher.Seen().first().Icon, QMessageBox::Information);
        QCOMPARE(l.converter.sim.Counters().requests, std::size_t(0));
    }
    // The begin is never checked against the end.
    PressEnter(c.MskEdtTempBegin);
    QCOMPARE(watcher.Seen().size(), inOrder ? 0 : 1);
}

// A message takes its text when it is shown.
void TstSettingsChecks::messageInLanguageInForce()
{
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    TypeInto(c.MskEdtTempEnd, QStringLiteral("-100"));
    l.frm->SetLang(kLangEnglish);
    PressEnter(c.MskEdtTempEnd);
    l.frm->SetLang(kLangCzech);
    PressEnter(c.MskEdtTempEnd);
    QCOMPARE(watcher.Texts(),
             (QStringList{"The upper range temperature has to be greater than the lower range temperature.",
                          kRangeOrder}));
}

void TstSettingsChecks::rangeOrderOnLeaving_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("inOrder");
    QTest::newRow("Tab with end below begin") << "-051" << int(Qt::Key_Tab) << false;
    QTest::newRow("Shift+Tab with end below begin") << "-100" << int(Qt::Key_Backtab) << false;
    QTest::newRow("Tab with end above begin") << "0100" << int(Qt::Key_Tab) << true;
}

// Leaving a range end below the begin shows the notice and puts the focus
// back, still highlighted; leaving never writes.
void TstSettingsChecks::rangeOrderOnLeaving()
{
    QFETCH(QString, end);
    QFETCH(int, key);
    QFETCH(bool, inOrder);
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    TypeInto(c.MskEdtTempEnd, end);
    QCOMPARE(Base(c.MskEdtTempEnd), kLime);
    QTest::keyClick(c.MskEdtTempEnd, Qt::Key(key));
    Settle();
    QWidget* next = key == Qt::Key_Tab ? static_cast<QWidget*>(c.ChckBxOutLimit) : c.MskEdtTempBegin;
    if (inOrder) {
        QCOMPARE(watcher.Seen().size(), 0);
        QCOMPARE(QApplication::focusWidget(), next);
        QCOMPARE(Base(c.MskEdtTempEnd), QApplication::palette(c.MskEdtTempEnd).color(QPalette::Base));
    } else {
        QCOMPARE(watcher.Texts(), QStringList{kRangeOrder});
        Reactivate(l.frm.get());
        QCOMPARE(QApplication::focusWidget(), c.MskEdtTempEnd);
        QCOMPARE(Base(c.MskEdtTempEnd), kLime);
        QVERIFY(Base(next) != kLime && Face(next) != kLime);
    }
    QCOMPARE(l.converter.sim.Counters().requests, std::size_t(0));
}

// A click on a radio item both leaves the range end and writes the item:
// the write runs first, the notice after it, never inside its reply wait.
void TstSettingsChecks::leavingByClickWritesThenChecks()
{
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    TypeInto(c.MskEdtTempEnd, QStringLiteral("-100"));
    bool busyWhileShown = true;
    watcher.SetWhileShown([&](QDialog&) { busyWhileShown = l.frm->Link.Busy(); });
    ClickItem(c.RdGrpWire, 0);
    QTRY_COMPARE(watcher.Texts(), QStringList{kRangeOrder});
    QVERIFY(!busyWhileShown);
    QCOMPARE(l.converter.sim.AppliedWrites(), (std::vector<WriteRecord>{{61, 1}}));
    Reactivate(l.frm.get());
    QCOMPARE(QApplication::focusWidget(), c.MskEdtTempEnd);
}

void TstSettingsChecks::rangeAsLoaded_data()
{
    QTest::addColumn<int>("begin"); // as the converter holds them
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("keys"); // typed into the end; empty: nothing typed
    QTest::addColumn<bool>("noticeOnLeaving");
    QTest::addColumn<bool>("noticeOnEnter");
    QTest::addColumn<QList<int>>("written"); // words of parameter 21 written by Enter
    QTest::newRow("end 32767 beyond its field") << 100 << 32767 << "" << false << false << QList<int>{};
    QTest::newRow("end 32767, then 0500 typed") << 100 << 32767 << "0500" << false << false
                                               << QList<int>{500};
    QTest::newRow("end below begin as loaded") << 200 << 100 << "" << false << true << QList<int>{};
    QTest::newRow("begin 10000 beyond its field, 0500 typed")
        << 10000 << 400 << "0500" << true << true << QList<int>{};
}

// A field the user has not typed into is passed through freely, and one
// that cannot show the converter's value stands for that value, never for
// a zero: Enter in it writes nothing, and the range check compares with it.
void TstSettingsChecks::rangeAsLoaded()
{
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(QString, keys);
    QFETCH(bool, noticeOnLeaving);
    QFETCH(bool, noticeOnEnter);
    QFETCH(QList<int>, written);
    SettingsBlock block = SampleBlock();
    StoreValue(block, kRangeBegin, begin);
    StoreValue(block, kRangeEnd, end);
    TSimulatedConverter converter;
    converter.SetBlock(block);
    auto frm = ConnectedWindow(converter);
    ClickLoad(*frm);
    converter.sim.ClearLog();
    const TSettingsControls& c = frm->Form->Ctl;
    if (keys.isEmpty())
        Focus(c.MskEdtTempEnd);
    else
        TypeInto(c.MskEdtTempEnd, keys);
    QTest::keyClick(c.MskEdtTempEnd, Qt::Key_Tab);
    Settle();
    QCOMPARE(watcher.Texts(), noticeOnLeaving ? QStringList{kRangeOrder} : QStringList());
    Reactivate(frm.get());
    QCOMPARE(QApplication::focusWidget(),
             noticeOnLeaving ? static_cast<QWidget*>(c.MskEdtTempEnd) : c.ChckBxOutLimit);
    watcher.Clear();
    Focus(c.MskEdtTempEnd);
    PressEnter(c.MskEdtTempEnd);
    QCOMPARE(watcher.Texts(), noticeOnEnter ? QStringList{kRangeOrder} : QStringList());
    QList<int> words;
    for (const WriteRecord& w : converter.sim.AppliedWrites())
        words << (w.number == 21 ? int(w.value) : -w.number);
    QCOMPARE(words, written);
}

void TstSettingsChecks::voltageNotice_data()
{
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("inErr");
    QTest::addColumn<bool>("notice");
    QTest::newRow("2 mA on 0 - 10 VDC") << 0 << 2 << true;
    QTest::newRow("2 mA on 4 - 20 mADC") << 2 << 2 << false;
    QTest::newRow("pulsation on 0 - 10 VDC") << 0 << 1 << false;
}

// The notice comes when the focus leaves the group; the selection has been
// written already and stays.
void TstSettingsChecks::voltageNotice()
{
    QFETCH(int, output);
    QFETCH(int, inErr);
    QFETCH(bool, notice);
    TLoaded l;
    const TSettingsControls& c = l.Ctl();
    ClickItem(c.RdGrpOutput, output);
    ClickItem(c.RdGrpInErr, inErr);
    Focus(c.RdGrpInErr->Button(inErr));
    Settle();
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(Face(c.RdGrpInErr), kLime);
    Focus(c.EdtName);
    Settle();
    QCOMPARE(watcher.Texts(), notice ? QStringList{kVoltageNotice} : QStringList());
    QCOMPARE(c.RdGrpInErr->ItemIndex(), inErr);
    QCOMPARE(l.converter.sim.Word(3), inErr);
    QCOMPARE(Face(c.RdGrpInErr), QApplication::palette(c.RdGrpInErr).color(QPalette::Button));
}

void TstSettingsChecks::highlight_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("edit"); // its base, else its face
    QTest::newRow("EdtName") << "EdtName" << true;
    QTest::newRow("DtTmPckr") << "DtTmPckr" << true;
    QTest::newRow("EdtPerson") << "EdtPerson" << true;
    QTest::newRow("MskEdtSetTemp") << "MskEdtSetTemp" << true;
    QTest::newRow("MskEdtTempBegin") << "MskEdtTempBegin" << true;
    QTest::newRow("ChckBxColdComp") << "ChckBxColdComp" << false;
    QTest::newRow("ChckBxOutLimit") << "ChckBxOutLimit" << false;
    QTest::newRow("RdGrpInput") << "RdGrpInput" << false;
    QTest::newRow("RdGrpWire") << "RdGrpWire" << false;
}

// Lime while focused; then the window colour for an edit, the button face
// for a group or box. A dialog taking the focus is not leaving the field.
void TstSettingsChecks::highlight()
{
    QFETCH(QString, field);
    QFETCH(bool, edit);
    TLoaded l;
    auto* w = l.frm->findChild<QWidget*>(field);
    auto colour = [&] { return edit ? Base(w) : Face(w); };
    auto* group = qobject_cast<TRadioGroup*>(w);
    Focus(group != nullptr ? group->Button(0) : w);
    QCOMPARE(colour(), kLime);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), QStringLiteral("x"),
                    QMessageBox::Ok, l.frm.get());
    box.exec();
    QCOMPARE(colour(), kLime);
    Reactivate(l.frm.get());
    QCOMPARE(colour(), kLime);
    Focus(l.Ctl().BtnHelp);
    const QPalette standard = QApplication::palette(w);
    QCOMPARE(colour(), standard.color(edit ? QPalette::Base : QPalette::Button));
}

void TstSettingsChecks::readOnlyFieldsKeepGrey()
{
    TLoaded l;
    for (QLineEdit* e : {l.Ctl().EdtType, l.Ctl().EdtSerial}) {
        const QColor grey = Base(e);
        Focus(e);
        QCOMPARE(Base(e), grey);
        Focus(l.Ctl().BtnHelp);
        QCOMPARE(Base(e), grey);
        QVERIFY(grey != QApplication::palette(e).color(QPalette::Base));
    }
    QCOMPARE(watcher.Texts(), QStringList());
}

QTEST_MAIN(TstSettingsChecks)
#include "tst_settingschecks.moc"

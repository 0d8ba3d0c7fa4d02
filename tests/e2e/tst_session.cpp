// A technician's session in the real window against the simulated
// converter: load, change every setting once, clear the form, load again;
// the converter holds exactly what was written and every field shows it.
#include "e2efixture.h"

using namespace lk58;
using namespace lk58::test;

class TstSession : public TE2eTest {
    Q_OBJECT

private slots:
    void changeEverySettingAndLoadAgain();

private:
    static void EditAndEnter(QLineEdit* edit, const QString& keys)
    {
        TypeInto(edit, keys);
        PressEnter(edit);
    }
};

void TstSession::changeEverySettingAndLoadAgain()
{
    TSimulatedConverter converter;
    converter.SetBlock(SampleBlock());
    auto frm = ConnectedWindow(converter);
    const TSettingsControls& c = frm->Form->Ctl;
    ClickLoad(*frm);

    // With the thermocouple K selected: its own settings first.
    EditAndEnter(c.EdtName, QStringLiteral("Kotel č.2"));
    Focus(c.DtTmPckr);
    c.DtTmPckr->setDate(QDate(2010, 5, 4));
    PressEnter(c.DtTmPckr);
    EditAndEnter(c.EdtPerson, QStringLiteral("Ing. Jiří Novák"));
    QTest::mouseClick(c.ChckBxColdComp, Qt::LeftButton);
    EditAndEnter(c.MskEdtSetTemp, QStringLiteral("-123"));
    ClickItem(c.RdGrpInput, 4);
    EditAndEnter(c.MskEdtResComp, QStringLiteral("01500"));
    ClickItem(c.RdGrpOutput, 0);
    EditAndEnter(c.MskEdtTempBegin, QStringLiteral("-100"));
    EditAndEnter(c.MskEdtTempEnd, QStringLiteral("1200"));
    QTest::mouseClick(c.ChckBxOutLimit, Qt::LeftButton);
    ClickItem(c.RdGrpWire, 0);
    ClickItem(c.RdGrpInErr, 2);
    Focus(c.EdtType);
    PressEnter(c.EdtType);
    QTest::qWait(50); // leaving the incorrect-input group: the voltage-output notice
    QCOMPARE(watcher.Texts().size(), 1);
    QVERIFY(frm->PanelSettings->isVisible());
    for (const QLabel* mark : c.ChangeMarks())
        QVERIFY2(mark->isHidden(), qPrintable(mark->objectName()));

    SettingsBlock expected = SampleBlock();
    StoreUtf8(expected, kName, "Kotel č.2");
    StoreUtf8(expected, kDate, "040510");
    StoreUtf8(expected, kPerson, "Ing. Jiří Novák");
    StoreValue(expected, kColdComp, 0);
    StoreValue(expected, kSetTemp, -123);
    StoreValue(expected, kInputType, 5);
    StoreValue(expected, kResComp, 1500);
    StoreValue(expected, kOutputType, 1);
    StoreValue(expected, kRangeBegin, -100);
    StoreValue(expected, kRangeEnd, 1200);
    StoreValue(expected, kOutputLimit, 0);
    StoreValue(expected, kWiring, 1);
    StoreValue(expected, kInputError, 2);
    QCOMPARE(ChangedWords(expected, converter.Block()), QList<int>());

    QTest::mouseClick(c.BtnCleanForm, Qt::LeftButton);
    QCOMPARE(c.EdtName->text(), QString());
    ClickLoad(*frm);
    QCOMPARE(c.EdtType->text(), QStringLiteral("TQ36"));
    QCOMPARE(c.EdtSerial->text(), QStringLiteral("2107-013"));
    QCOMPARE(c.EdtName->text(), QStringLiteral("Kotel č.2"));
    QCOMPARE(c.DtTmPckr->date(), QDate(2010, 5, 4));
    QCOMPARE(c.EdtPerson->text(), QStringLiteral("Ing. Jiří Novák"));
    QCOMPARE(c.RdGrpInput->ItemIndex(), 4);
    QVERIFY(!c.ChckBxColdComp->isChecked());
    QCOMPARE(c.MskEdtSetTemp->displayText(), QStringLiteral("-12,3"));
    QCOMPARE(c.MskEdtResComp->displayText(), QStringLiteral("015,00"));
    QCOMPARE(c.RdGrpOutput->ItemIndex(), 0);
    QCOMPARE(c.MskEdtTempBegin->displayText(), QStringLiteral("-100"));
    QCOMPARE(c.MskEdtTempEnd->displayText(), QStringLiteral("1200"));
    QVERIFY(!c.ChckBxOutLimit->isChecked());
    QCOMPARE(c.RdGrpWire->ItemIndex(), 0);
    QCOMPARE(c.RdGrpInErr->ItemIndex(), 2);
    QVERIFY(c.MskEdtResComp->isEnabled());
    QVERIFY(!c.MskEdtSetTemp->isEnabled());
    for (const QLabel* mark : c.ChangeMarks())
        QVERIFY2(mark->isHidden(), qPrintable(mark->objectName()));
    QCOMPARE(converter.sim.Counters().readAlls, std::size_t(2));
    QCOMPARE(watcher.Texts().size(), 1);
}

QTEST_MAIN(TstSession)
#include "tst_session.moc"

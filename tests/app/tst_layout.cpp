// The main window's controls: texts that fit in both languages, no
// overlaps, tab order and input limits.
#include "appfixture.h"

#include "app/frmhelp.h"
#include "settings/radiogroup.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

using namespace lk58;
using namespace lk58::test;

namespace {

QString Describe(const QWidget* w, const QString& why)
{
    return QStringLiteral("%1 (%2): %3").arg(w->objectName(), w->metaObject()->className(), why);
}

// Why a widget's text does not fit it, or an empty string when it does.
QString TextMisfit(const QWidget* w)
{
    const QFontMetrics fm = w->fontMetrics();
    const int lineHeight = fm.height();
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->text().isEmpty())
            return {};
        if (l->sizeHint().width() > l->width() || lineHeight > l->height())
            return QStringLiteral("text %1 px wide, label %2").arg(l->sizeHint().width()).arg(l->width());
        if (l->buddy() != nullptr && l->geometry().right() >= l->buddy()->x())
            return QStringLiteral("runs into %1").arg(l->buddy()->objectName());
        return {};
    }
    if (const auto* b = qobject_cast<const QPushButton*>(w)) {
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        if (fm.horizontalAdvance(b->text()) + 2 * margin > b->width() || lineHeight > b->height())
            return QStringLiteral("caption wider than the button");
        return {};
    }
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w) ||
        qobject_cast<const QToolButton*>(w)) {
        if (w->sizeHint().width() > w->width() || lineHeight > w->height())
            return QStringLiteral("needs %1 px, has %2").arg(w->sizeHint().width()).arg(w->width());
        return {};
    }
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
        if (fm.horizontalAdvance(g->title()) + 16 > g->width())
            return QStringLiteral("caption wider than the group");
        return {};
    }
    if (const auto* d = qobject_cast<const QDateEdit*>(w)) {
        const QString widest = QDate(2088, 8, 28).toString(d->displayFormat());
        const QLineEdit* edit = d->findChild<QLineEdit*>();
        if (fm.horizontalAdvance(widest) + 4 > edit->width())
            return QStringLiteral("%1 does not fit").arg(widest);
        return {};
    }
    if (const auto* e = qobject_cast<const QLineEdit*>(w); e && !e->inputMask().isEmpty()) {
        // The widest text the mask admits: a sign and eights.
        QString widest = e->displayText();
        widest.replace(QLatin1Char('0'), QLatin1Char('8'));
        widest[0] = QLatin1Char('-');
        if (fm.horizontalAdvance(widest) + 8 > e->width())
            return QStringLiteral("%1 does not fit").arg(widest);
    }
    return {};
}

QStringList Misfits(const QWidget* root)
{
    QStringList misfits;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root))
            continue;
        if (const QString why = TextMisfit(w); !why.isEmpty())
            misfits << Describe(w, why);
    }
    return misfits;
}

// Where a control draws: a label only where its glyphs or its picture are
// (the layout gives some labels more room than they draw in).
QRect InkRect(const QWidget* w)
{
    const auto* l = qobject_cast<const QLabel*>(w);
    if (l == nullptr)
        return w->geometry();
    const QPixmap pixmap = l->pixmap();
    if (!pixmap.isNull())
        return QRect(l->pos(), pixmap.deviceIndependentSize().toSize());
    const QFontMetrics fm = l->fontMetrics();
    const int top = l->alignment() & Qt::AlignTop ? 0 : (l->height() - fm.height()) / 2;
    return fm.tightBoundingRect(l->text()).translated(l->x(), l->y() + top + fm.ascent());
}

// Pairs of visible controls of one parent that cover each other.
QStringList Overlaps(const QWidget* parent)
{
    QList<const QWidget*> kids;
    for (const QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisibleTo(parent) && !w->objectName().isEmpty())
            kids << w;
    }
    QStringList overlaps;
    for (int i = 0; i < kids.size(); ++i) {
        for (int j = i + 1; j < kids.size(); ++j) {
            if (InkRect(kids[i]).intersects(InkRect(kids[j])))
                overlaps << kids[i]->objectName() + QLatin1String(" / ") + kids[j]->objectName();
        }
    }
    for (const QWidget* w : kids)
        overlaps << Overlaps(w);
    return overlaps;
}

// The control that has the focus, radio buttons named after their group.
QString FocusName()
{
    QWidget* w = QApplication::focusWidget();
    if (w == nullptr)
        return QStringLiteral("(none)");
    if (qobject_cast<QRadioButton*>(w))
        return w->parentWidget()->objectName() + QLatin1Char('/') + qobject_cast<QRadioButton*>(w)->text();
    while (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
        w = w->parentWidget();
    return w->objectName();
}

} // namespace

class TstLayout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpLikeMain(); }

    void textsFit_data();
    void textsFit();
    void tabOrder_data();
    void tabOrder();
    void typing_data();
    void typing();
    void windowIsFixed();
    void fontsHaveTheLayoutsWidths();
};

void TstLayout::textsFit_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<bool>("settings");
    QTest::newRow("Czech, port panel") << int(kLangCzech) << false;
    QTest::newRow("Czech, settings panel") << int(kLangCzech) << true;
    QTest::newRow("English, port panel") << int(kLangEnglish) << false;
    QTest::newRow("English, settings panel") << int(kLangEnglish) << true;
}

// Every caption, label, item and mask fits its control and no control covers
// another, with the fonts of the layout.
void TstLayout::textsFit()
{
    QFETCH(int, lang);
    QFETCH(bool, settings);
    auto frm = ShownMainWindow();
    frm->SetLang(lang);
    if (settings)
        ShowSettingsPanel(*frm);
    QWidget* panel = settings ? frm->PanelSettings : frm->PanelConnect;
    const QStringList misfits = Misfits(panel);
    QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QLatin1String(", "))));
    const QStringList overlaps = Overlaps(panel);
    QVERIFY2(overlaps.isEmpty(), qPrintable(overlaps.join(QLatin1String(", "))));
    const QStatusBar* bar = frm->Form->Ctl.StatusBar;
    // The longest one-field "does not fit" notice: the widest name, the
    // widest value.
    const QString notShown = frm->Msg.MsgValueNotShown.arg(frm->Msg.NameResComp + " -21474836,48");
    for (const QString& status : {frm->Msg.MsgConnected, frm->Msg.MsgLoading, frm->Msg.MsgLoaded, notShown})
        QVERIFY2(bar->fontMetrics().horizontalAdvance(status) + 8 <= bar->width(), qPrintable(status));
    QCOMPARE(Misfits(frm->FrmHelp.get()), QStringList());
}

void TstLayout::tabOrder_data()
{
    QTest::addColumn<int>("outputItem");
    QTest::addColumn<QStringList>("order");
    const QStringList head = {"EdtType", "EdtSerial", "EdtName", "DtTmPckr", "EdtPerson",
                              "RdGrpInput/J", "ChckBxColdComp", "MskEdtSetTemp", "MskEdtResComp"};
    const QStringList tail = {"MskEdtTempBegin", "MskEdtTempEnd", "ChckBxOutLimit",
                              "RdGrpWire/2 nebo 4 vodič", "RdGrpInErr/bez signálu",
                              "BtnLoadData", "BtnCleanForm", "BtnHelp", "EdtType"};
    QTest::newRow("no output selected") << -1 << head + QStringList{"RdGrpOutput/0 - 10 VDC"} + tail;
    QTest::newRow("a radio group stops at its selected item")
        << 2 << head + QStringList{"RdGrpOutput/4 - 20 mADC"} + tail;
}

// Tab walks the settings panel in reading order, a radio group being one
// stop; Shift+Tab walks the same way back.
void TstLayout::tabOrder()
{
    QFETCH(int, outputItem);
    QFETCH(QStringList, order);
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    frm->Form->Ctl.RdGrpOutput->SetItemIndex(outputItem);
    frm->Form->Ctl.EdtType->setFocus(Qt::TabFocusReason);
    QStringList forward = {FocusName()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward << FocusName();
    }
    QCOMPARE(forward, order);
    QStringList backward = {FocusName()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward << FocusName();
    }
    std::reverse(backward.begin(), backward.end());
    QCOMPARE(backward, order);
}

void TstLayout::typing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty range field shows its mask") << "MskEdtTempBegin" << "" << "0000";
    QTest::newRow("sign in the first position") << "MskEdtTempBegin" << "-5" << "-500";
    QTest::newRow("sign refused later") << "MskEdtTempEnd" << "1-2+" << "1200";
    QTest::newRow("letters refused") << "MskEdtTempEnd" << "a7b" << "7000";
    QTest::newRow("empty set temperature") << "MskEdtSetTemp" << "" << "000,0";
    QTest::newRow("caret skips the comma") << "MskEdtSetTemp" << "0255" << "025,5";
    QTest::newRow("two decimals") << "MskEdtResComp" << "+01234" << "+01,23";
    QTest::newRow("label at most 10") << "EdtName" << "ABCDEFGHIJKL" << "ABCDEFGHIJ";
    QTest::newRow("calibrated by at most 15") << "EdtPerson" << "Jan Novak Praha 1" << "Jan Novak Praha";
    QTest::newRow("type is read-only") << "EdtType" << "TQ36" << "";
    QTest::newRow("serial is read-only") << "EdtSerial" << "1234" << "";
}

void TstLayout::typing()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    auto frm = ShownMainWindow();
    ShowSettingsPanel(*frm);
    auto* edit = frm->findChild<QLineEdit*>(field);
    QVERIFY(edit != nullptr);
    edit->setFocus();
    edit->home(false);
    QTest::keyClicks(edit, keys);
    QCOMPARE(edit->displayText(), shown);
}

// A fixed client area of 530 x 463 below the menu, no maximise button.
void TstLayout::windowIsFixed()
{
    auto frm = ShownMainWindow();
    QCOMPARE(frm->centralWidget()->size(), QSize(530, 463));
    QCOMPARE(frm->minimumSize(), frm->maximumSize());
    QVERIFY(!(frm->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(frm->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(frm->windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(frm->PanelConnect->geometry(), QRect(0, 0, 530, 463));
    QCOMPARE(frm->PanelSettings->geometry(), QRect(0, 0, 530, 463));
}

// The layout's widths hold only with its families or the fonts drawn to
// their widths, never with a fallback the system picks (Wine lacks Arial).
void TstLayout::fontsHaveTheLayoutsWidths()
{
    const QStringList sans{SansFamily(), QStringLiteral("Liberation Sans")};
    const QStringList mono{MonoFamily(), QStringLiteral("Liberation Mono")};
    for (const QFont& f : {DefaultFont(), FieldFont(), MarkFont()})
        QVERIFY2(sans.contains(QFontInfo(f).family()), qPrintable(QFontInfo(f).family()));
    QVERIFY2(mono.contains(QFontInfo(HelpFont()).family()), qPrintable(QFontInfo(HelpFont()).family()));
}

QTEST_MAIN(TstLayout)
#include "tst_layout.moc"

// The radio group: selection with "none" reachable, clamping, the selection
// signal, arrow keys, item lists and focus entering and leaving.
#include "settings/radiogroup.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using lk58::TRadioGroup;

namespace {

QList<int> Selections(const QSignalSpy& spy)
{
    QList<int> items;
    for (const QList<QVariant>& args : spy)
        items << args.at(0).toInt();
    return items;
}

// A radio button reacts to clicks on its circle and its text only.
void ClickItem(TRadioGroup& g, int index)
{
    QRadioButton* b = g.Button(index);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

QList<bool> Checks(const TRadioGroup& g)
{
    QList<bool> checks;
    for (int i = 0; i < g.Count(); ++i)
        checks << g.Button(i)->isChecked();
    return checks;
}

} // namespace

class TstRadioGroup : public QObject {
    Q_OBJECT

private slots:
    void setItemIndex_data();
    void setItemIndex();
    void userClicks();
    void arrowKeys_data();
    void arrowKeys();
    void setItems();
    void focusEntersAndLeaves();
};

void TstRadioGroup::setItemIndex_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<int>>("signalled");
    QTest::newRow("select from none") << -1 << 0 << 0 << QList<int>{0};
    QTest::newRow("select another") << 0 << 2 << 2 << QList<int>{2};
    QTest::newRow("same item again") << 1 << 1 << 1 << QList<int>{};
    QTest::newRow("none") << 1 << -1 << -1 << QList<int>{};
    QTest::newRow("below -1 is none") << 1 << -7 << -1 << QList<int>{};
    QTest::newRow("past the end is the last") << -1 << 7 << 2 << QList<int>{2};
    QTest::newRow("past the end when last is selected") << 2 << 3 << 2 << QList<int>{};
}

void TstRadioGroup::setItemIndex()
{
    QFETCH(int, start);
    QFETCH(int, set);
    QFETCH(int, index);
    QFETCH(QList<int>, signalled);
    TRadioGroup g;
    g.SetItems({"a", "b", "c"});
    g.SetItemIndex(start);
    QSignalSpy spy(&g, &TRadioGroup::ItemSelected);
    g.SetItemIndex(set);
    QCOMPARE(g.ItemIndex(), index);
    QCOMPARE(Selections(spy), signalled);
    QList<bool> checks = {false, false, false};
    if (index >= 0)
        checks[index] = true;
    QCOMPARE(Checks(g), checks);
}

// A click selects and signals once; clicking the selected item again does
// nothing; after "none" a click selects again.
void TstRadioGroup::userClicks()
{
    TRadioGroup g;
    g.resize(120, 100);
    g.SetItems({"a", "b", "c"});
    g.show();
    QSignalSpy spy(&g, &TRadioGroup::ItemSelected);
    ClickItem(g, 1);
    ClickItem(g, 1);
    QCOMPARE(g.ItemIndex(), 1);
    g.SetItemIndex(-1);
    ClickItem(g, 1);
    ClickItem(g, 0);
    QCOMPARE(Selections(spy), (QList<int>{1, 1, 0}));
    QCOMPARE(Checks(g), (QList<bool>{true, false, false}));
}

void TstRadioGroup::arrowKeys_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("index");
    QTest::newRow("down") << 0 << int(Qt::Key_Down) << 1;
    QTest::newRow("right") << 1 << int(Qt::Key_Right) << 2;
    QTest::newRow("down wraps") << 2 << int(Qt::Key_Down) << 0;
    QTest::newRow("up wraps") << 0 << int(Qt::Key_Up) << 2;
    QTest::newRow("left") << 2 << int(Qt::Key_Left) << 1;
}

// Arrows move the selection and the focus together, as a click would.
void TstRadioGroup::arrowKeys()
{
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, index);
    TRadioGroup g;
    g.resize(120, 100);
    g.SetItems({"a", "b", "c"});
    g.SetItemIndex(start);
    g.show();
    QVERIFY(QTest::qWaitForWindowActive(&g));
    g.Button(start)->setFocus();
    QSignalSpy spy(&g, &TRadioGroup::ItemSelected);
    QTest::keyClick(g.Button(start), Qt::Key(key));
    QCOMPARE(g.ItemIndex(), index);
    QCOMPARE(Selections(spy), QList<int>{index});
    QCOMPARE(QApplication::focusWidget(), g.Button(index));
}

// New texts reuse the buttons (keeping their place in the tab order) and
// leave nothing selected, without a signal.
void TstRadioGroup::setItems()
{
    TRadioGroup g;
    g.SetItems({"2 nebo 4 vodič", "3 vodič"});
    QRadioButton* first = g.Button(0);
    g.SetItemIndex(1);
    QSignalSpy spy(&g, &TRadioGroup::ItemSelected);
    g.SetItems({"2 or 4 wire", "3 wire"});
    QCOMPARE(g.Items(), QStringList({"2 or 4 wire", "3 wire"}));
    QCOMPARE(g.Button(0), first);
    QCOMPARE(g.ItemIndex(), -1);
    QCOMPARE(Checks(g), (QList<bool>{false, false}));
    g.SetItems({"x"});
    QCOMPARE(g.Count(), 1);
    QCOMPARE(g.findChildren<QRadioButton*>().size(), 1);
    g.SetItems({"x", "y", "z"});
    QCOMPARE(g.Items(), QStringList({"x", "y", "z"}));
    QCOMPARE(spy.count(), 0);
}

// Entering the group from another field and leaving it signal once each;
// moving between its own buttons signals nothing.
void TstRadioGroup::focusEntersAndLeaves()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* g = new TRadioGroup(&window);
    g->setMinimumHeight(90);
    g->SetItems({"a", "b", "c"});
    layout->addWidget(before);
    layout->addWidget(g);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    QSignalSpy entered(g, &TRadioGroup::Entered);
    QSignalSpy exited(g, &TRadioGroup::Exited);
    g->Button(0)->setFocus();
    g->Button(2)->setFocus();
    QCOMPARE(entered.count(), 1);
    QCOMPARE(exited.count(), 0);
    before->setFocus();
    QCOMPARE(entered.count(), 1);
    QCOMPARE(exited.count(), 1);
}

QTEST_MAIN(TstRadioGroup)
#include "tst_radiogroup.moc"

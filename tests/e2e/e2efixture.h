#pragma once

// The real main window connected to the simulated converter on a port
// inside the process, and the helpers the end-to-end tests share.

#include "common/dialogwatcher.h"
#include "common/simconverter.h"

#include "app/appearance.h"
#include "app/errorbox.h"
#include "app/frmmain.h"
#include "settings/parammap.h"
#include "settings/radiogroup.h"
#include "sim/simulator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace lk58::test {

// LK58's data for the user (backups, change logs) below `dir`: the
// variable that moves it is the system's own.
inline void PutUserData(const QString& dir)
{
#ifdef _WIN32
    qputenv("LOCALAPPDATA", dir.toUtf8());
#else
    qputenv("XDG_DATA_HOME", dir.toUtf8());
#endif
}

// Font and style as main() sets them, and the real error box.
inline void SetUpLikeMain()
{
    SetUpApplication(*qApp);
    InstallErrorBox();
}

// The base of the end-to-end test classes: the program's look, and one
// dialog watcher that closes and records every dialog, also one that setting
// up a case brings, so that a case can fail on it but never hang.
class TE2eTest : public QObject {
    Q_OBJECT

protected:
    TDialogWatcher watcher;
    // The user's data (backups, change logs) for this run only.
    QTemporaryDir userData;

private slots:
    void initTestCase()
    {
        PutUserData(userData.path());
        // The C locale's date order on every system, as LC_ALL=C gives on
        // Linux: the cases type their dates in it.
        QLocale::setDefault(QLocale::c());
        SetUpLikeMain();
    }
    void init()
    {
        watcher.Clear();
        watcher.SetWhileShown({});
    }
};

// The shown main window, connected to `converter`, its settings panel up.
inline std::unique_ptr<TFrmMain> ConnectedWindow(TSimulatedConverter& converter)
{
    auto frm = std::make_unique<TFrmMain>();
    frm->show();
    frm->activateWindow();
    if (!QTest::qWaitForWindowActive(frm.get()))
        qWarning("main window did not become active");
    frm->CmbBxComPorts->setEditText(converter.Path());
    QTest::mouseClick(frm->BtnConnect, Qt::LeftButton);
    if (!frm->PanelSettings->isVisible())
        qWarning("no connection to the simulated converter");
    converter.sim.ClearLog();
    return frm;
}

// Gives the window back the focus after a dialog, as a window manager
// would; offscreen, nothing else does.
inline void Reactivate(QWidget* window)
{
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("window did not become active again");
}

inline void ClickLoad(TFrmMain& frm)
{
    QTest::mouseClick(frm.Form->Ctl.BtnLoadData, Qt::LeftButton);
}

// Puts the focus into a field as a click would.
inline void Focus(QWidget* w)
{
    w->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
}

// Replaces an edit's text by typing, as the user would: a plain edit is
// emptied first, a masked one overwritten from its first position.
inline void TypeInto(QLineEdit* edit, const QString& keys)
{
    Focus(edit);
    if (edit->inputMask().isEmpty())
        edit->clear();
    else
        edit->setCursorPosition(0);
    // keyClicks takes Latin-1 only; a Czech letter comes as a key with text.
    for (const QChar c : keys) {
        if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

inline void PressEnter(QWidget* w)
{
    QTest::keyClick(w, Qt::Key_Return);
}

// A radio button takes clicks on its circle and its text only.
inline void ClickItem(TRadioGroup* group, int item)
{
    QRadioButton* b = group->Button(item);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

// The numbers of the parameters the converter applied writes to, in order.
inline QList<int> WrittenNumbers(const Tq36Simulator& sim)
{
    QList<int> numbers;
    for (const WriteRecord& w : sim.AppliedWrites())
        numbers << w.number;
    return numbers;
}

// Words 1 to 64 where two blocks differ.
inline QList<int> ChangedWords(const SettingsBlock& before, const SettingsBlock& after)
{
    QList<int> words;
    for (int n = 1; n <= SettingsBlock::kWordCount; ++n)
        if (before.Word(n) != after.Word(n))
            words << n;
    return words;
}

inline QList<int> Range(int first, int count)
{
    QList<int> numbers;
    for (int i = 0; i < count; ++i)
        numbers << first + i;
    return numbers;
}

inline void StoreUtf8(SettingsBlock& block, const SettingInfo& setting, const char* utf8)
{
    const Bytes text = EncodeText(utf8, setting.width);
    StoreText(block, setting, text);
}

// A converter's block in which every setting differs from the factory's;
// `inputType` 5 makes it a PT100 converter.
inline SettingsBlock SampleBlock(int inputType = 2)
{
    SettingsBlock b;
    StoreUtf8(b, kType, "TQ36");
    StoreUtf8(b, kSerial, "2107-013");
    StoreUtf8(b, kName, "Pec č.3");
    StoreUtf8(b, kDate, "311207");
    StoreUtf8(b, kPerson, "Jiří Žůrek");
    StoreValue(b, kInputType, inputType); // K by default
    StoreValue(b, kOutputLimit, 1);
    StoreValue(b, kInputError, 1); // pulsation
    StoreValue(b, kColdComp, 1);
    StoreValue(b, kOutputType, 3); // 4 - 20 mA
    StoreValue(b, kRangeBegin, -50);
    StoreValue(b, kRangeEnd, 400);
    StoreValue(b, kWiring, 2);     // 3 wire
    StoreValue(b, kSetTemp, 255);
    StoreValue(b, kResComp, 1234);
    return b;
}

} // namespace lk58::test

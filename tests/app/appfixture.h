#pragma once

// The main window as the program builds it, for the window's tests.

#include "app/appearance.h"
#include "app/frmmain.h"

#include <QApplication>
#include <QFrame>
#include <QTest>

#include <memory>

namespace lk58::test {

// Font and style as main() sets them; call before the first widget exists.
inline void SetUpLikeMain()
{
    SetUpApplication(*qApp);
}

inline std::unique_ptr<TFrmMain> ShownMainWindow()
{
    auto frm = std::make_unique<TFrmMain>();
    frm->show();
    frm->activateWindow();
    if (!QTest::qWaitForWindowActive(frm.get()))
        qWarning("main window did not become active");
    return frm;
}

// Shows the settings panel as a connection would, without a port.
inline void ShowSettingsPanel(TFrmMain& frm)
{
    frm.PanelConnect->hide();
    frm.PanelSettings->show();
}

} // namespace lk58::test

// User input during a reply wait: held back, then delivered once, at once.
#include "link/devicelink.h"
#include "link/frame.h"
#include "linkpeer.h"

#include <QtTest>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

using namespace lk58;
using namespace lk58::test;

namespace {

class TInputWindow : public QWindow {
public:
    explicit TInputWindow(const TDeviceLink& link) : link_(link) {}
    int Keys = 0;
    int KeysDuringExchange = 0;
    int Clicks = 0;
    std::function<void()> OnKey;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress) {
            ++Keys;
            KeysDuringExchange += link_.Busy();
            if (OnKey)
                OnKey();
        }
        if (e->type() == QEvent::MouseButtonPress)
            ++Clicks;
        return QWindow::event(e);
    }

private:
    const TDeviceLink& link_;
};

} // namespace

class TstLinkInput : public QObject {
    Q_OBJECT
private slots:
    void inputDuringWaitComesAfterIt()
    {
        TScriptedPeer peer;
        TComPort port;
        TDeviceLink link(port);
        OpenPort(port, peer.SlavePath());
        TInputWindow window(link);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // A key and a click reach the application as the window system
        // queues them, in the middle of the wait.
        peer.Script = [&](std::size_t, const Bytes&) {
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                &window, QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
            const QPointF at(5, 5);
            QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                &window, at, window.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                QEvent::MouseButtonPress);
            peer.SendLater(50, ShortReply(kPingCode));
        };

        // The exchange runs from a handler of the event loop, as a button's
        // click handler would. Once it has ended, the held-back input must
        // come without waiting for some unrelated event: the guard only
        // keeps a failing test from hanging.
        QEventLoop loop;
        bool ok = false;
        int keysAtReturn = -1;
        int clicksAtReturn = -1;
        bool stranded = false;
        window.OnKey = [&] { loop.quit(); };
        QTimer::singleShot(0, this, [&] {
            ok = link.Ping();
            keysAtReturn = window.Keys;
            clicksAtReturn = window.Clicks;
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [&] {
            stranded = true;
            loop.quit();
        });
        guard.start(5000);
        loop.exec();

        QVERIFY(ok);
        QCOMPARE(keysAtReturn, 0);
        QCOMPARE(clicksAtReturn, 0);
        QVERIFY(!stranded);
        QCOMPARE(window.KeysDuringExchange, 0);
        QTest::qWait(50);
        QCOMPARE(window.Keys, 1);
        QCOMPARE(window.Clicks, 1);
    }
};

QTEST_MAIN(TstLinkInput)
#include "tst_linkinput.moc"

// The device link's exchanges through the Win32 serial port, against the
// simulated converter on a Wine COM port (run by with-sim.sh).
#include "waitend.h"
#include "winport.h"

#include "link/devicelink.h"
#include "link/frame.h"

#include <QtTest>

using namespace lk58;
using namespace lk58::test;

namespace {

// Word n (1-64) of the settings block in a read-all reply.
std::uint16_t Word(std::span<const std::uint8_t> reply, int n)
{
    return std::uint16_t(reply[2 * n - 1] << 8 | reply[2 * n]);
}

enum TWrite { wrInt, wrLong, wrString };

// A window of this thread that counts the keys that reach it.
class TKeyCatcher {
public:
    TKeyCatcher()
    {
        WNDCLASSW c{};
        c.lpfnWndProc = Proc;
        c.hInstance = ::GetModuleHandleW(nullptr);
        c.lpszClassName = L"LK58KeyCatcher";
        ::RegisterClassW(&c);
        window = ::CreateWindowExW(0, c.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);
    }
    ~TKeyCatcher() { ::DestroyWindow(window); }
    static inline int keys = 0;
    HWND window;

private:
    static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wp, LPARAM lp)
    {
        keys += message == WM_KEYDOWN;
        return ::DefWindowProcW(w, message, wp, lp);
    }
};

} // namespace

Q_DECLARE_METATYPE(TWrite)

class TstWinLink : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(!TestCom().empty(), "run through with-sim.sh");
        SetConverterLine(port_);
        port_.SetDeviceName(TestCom());
        port_.SetActive(true);
    }

    void ping() { QVERIFY(link_.Ping()); }

    void waitEndsWithItsCondition_data() { WaitEndRows(); }
    void waitEndsWithItsCondition() { CheckWaitEnd(link_); }

    void readAll()
    {
        QVERIFY(link_.ReadAll());
        const auto reply = link_.Reply();
        QCOMPARE(reply.size(), kReadAllReplySize);
        QCOMPARE(reply[0], kReadAllCode);
        QVERIFY(ChecksumValid(reply));
    }

    // Each write is acknowledged, and a read-all gives back the words it
    // set, whatever their bytes.
    void writeReadsBack_data()
    {
        QTest::addColumn<TWrite>("kind");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("words"); // from word `number` on
        QTest::newRow("negative 16-bit") << wrInt << 20 << -50 << QByteArray() << QList<int>{0xFFCE};
        QTest::newRow("zero and FF bytes") << wrInt << 21 << 0x00FF << QByteArray() << QList<int>{0x00FF};
        QTest::newRow("32-bit over words 63, 64") << wrLong << 63 << 0x12345678 << QByteArray()
                                                   << QList<int>{0x1234, 0x5678};
        QTest::newRow("text with high and null bytes")
            << wrString << 39 << 4 << QByteArray("\x8A\xE8\x00\xFF" "ab", 6)
            << QList<int>{0x8AE8, 0x00FF, 0x6162, 0x0000};
    }

    void writeReadsBack()
    {
        QFETCH(TWrite, kind);
        QFETCH(int, number);
        QFETCH(int, value);
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, words);
        switch (kind) {
        case wrInt: QVERIFY(link_.SendInt(number, value)); break;
        case wrLong: QVERIFY(link_.SendLong(number, value)); break;
        case wrString:
            QVERIFY(link_.SendString(Bytes(text.begin(), text.end()), std::uint8_t(number), std::uint8_t(value)));
            break;
        }
        QVERIFY(link_.ReadAll());
        for (int i = 0; i < words.size(); ++i)
            QCOMPARE(int(Word(link_.Reply(), number + i)), words[i]);
    }

    // The port closes (as when the device vanished): an exchange then
    // reports a lost converter or a port error, and reopening works.
    void reopen()
    {
        port_.SetActive(false);
        QVERIFY_THROWS_EXCEPTION(EComError, link_.Ping());
        port_.SetActive(true);
        QVERIFY(link_.Ping());
    }

    // A key pressed while the exchange waits reaches its window only after
    // the exchange, at the event loop's next pass.
    void keyDuringWaitComesAfterIt()
    {
        TKeyCatcher catcher;
        TKeyCatcher::keys = 0;
        link_.SetTrace([&](TTraffic what, std::span<const std::uint8_t>) {
            if (what == TTraffic::Request)
                ::PostMessageW(catcher.window, WM_KEYDOWN, VK_RETURN, 1);
        });
        const bool ok = link_.Ping();
        link_.SetTrace({});
        QVERIFY(ok);
        QCOMPARE(TKeyCatcher::keys, 0);
        QCoreApplication::processEvents();
        QCOMPARE(TKeyCatcher::keys, 1);
    }

private:
    TComPort port_;
    TDeviceLink link_{port_};
};

QTEST_GUILESS_MAIN(TstWinLink)
#include "tst_winlink.moc"

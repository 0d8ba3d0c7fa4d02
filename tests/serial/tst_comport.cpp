#include "ptypair.h"
#include "testport.h"

#include "core/apperror.h"
#include "serial/comport.h"

#include <QtTest>

#include <cerrno>
#include <future>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <cstring>
#include <termios.h>

using namespace lk58;

using TChange = std::function<void(TComPort&)>;
Q_DECLARE_METATYPE(TChange)

namespace {

int NiceOf(pid_t thread)
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

// A second thread of the process, waiting until the case ends.
class TOtherThread {
public:
    TOtherThread()
        : thread_([this] {
              tid_.set_value(gettid());
              release_.get_future().wait();
          })
    {
        id = tid_.get_future().get();
    }
    ~TOtherThread()
    {
        release_.set_value();
        thread_.join();
    }
    pid_t id = 0;

private:
    std::promise<pid_t> tid_;
    std::promise<void> release_;
    std::thread thread_;
};

// While alive, the calling thread (and the threads it starts) may not lower
// a nice value, as a user without CAP_SYS_NICE and RLIMIT_NICE.
class TWithoutSysNice {
public:
    TWithoutSysNice()
    {
        getrlimit(RLIMIT_NICE, &limit_);
        const rlimit none{0, limit_.rlim_max};
        setrlimit(RLIMIT_NICE, &none);
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_SYS_NICE);
        syscall(SYS_capset, &header_, reduced);
    }
    ~TWithoutSysNice()
    {
        syscall(SYS_capset, &header_, saved_);
        setrlimit(RLIMIT_NICE, &limit_);
    }

private:
    rlimit limit_{};
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

// The program's own line settings.
void UseProgramSettings(TComPort& port)
{
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
}

struct TLink {
    int rx = 0;
    void RxChar(TComPort&) { ++rx; }
    void Other(TComPort&) {}
};

} // namespace

class TstComPort : public QObject {
    Q_OBJECT
private slots:
    void newPortDefaults()
    {
        TComPort port;
        QCOMPARE(port.DeviceName(), std::string("COM1"));
        QCOMPARE(port.BufferSizes().Input(), 4096);
        QCOMPARE(port.BufferSizes().Output(), 2048);
        QCOMPARE(port.Characters().XOn(), char(0x11));
        QCOMPARE(port.Characters().XOff(), char(0x13));
        QCOMPARE(port.Timeouts().ReadInterval() + port.Timeouts().ReadMultiplier() +
                     port.Timeouts().ReadConstant() + port.Timeouts().WriteMultiplier() +
                     port.Timeouts().WriteConstant(),
                 0);
        QCOMPARE(port.ThreadPriority(), tpTimeCritical);
        QVERIFY(port.SynchronizeEvents());
        QVERIFY(!port.Active());
        QCOMPARE(port.BaudRate(), brDefault);
        QCOMPARE(port.CustomBaudRate(), 0);
    }

    void programSettingsFillRecord()
    {
        TComPort port;
        UseProgramSettings(port);
        TDcb dcb;
        // What a driver might report: handshakes on, every option on, 9600 7E2.
        dcb.BaudRate = 9600;
        dcb.ByteSize = 7;
        dcb.Parity = kEvenParity;
        dcb.StopBits = kTwoStopBits;
        dcb.Flags = 0x7FFF;
        dcb.XonLim = 100;
        dcb.XoffLim = 200;
        port.FillDeviceControlBlock(dcb);
        QCOMPARE(dcb.BaudRate, 4800u);
        QCOMPARE(dcb.ByteSize, std::uint8_t(8));
        QCOMPARE(dcb.Parity, std::uint8_t(0));
        QCOMPARE(dcb.StopBits, std::uint8_t(0));
        QCOMPARE(dcb.Flags & kDcbDtrControlMask, 0x0000u);
        QCOMPARE(dcb.Flags & kDcbRtsControlMask, 0x1000u);
        QCOMPARE(dcb.Flags & 0x4CCEu, 0u); // the eight option bits
        QCOMPARE(dcb.Flags & 0x0301u, 0x0301u); // XON/XOFF and fBinary as the driver had them
        QCOMPARE(dcb.XonLim, std::uint16_t(0));
        QCOMPARE(dcb.XoffLim, std::uint16_t(0));
        QCOMPARE(dcb.XonChar, char(0x11));
        QCOMPARE(dcb.XoffChar, char(0x13));
    }

    void defaultsKeepDriverValues()
    {
        TComPort port;
        TDcb dcb;
        dcb.BaudRate = 19200;
        dcb.ByteSize = 7;
        dcb.Parity = kOddParity;
        dcb.StopBits = kTwoStopBits;
        dcb.Flags = kDcbBinary | kDtrControlHandshake | kRtsControlToggle | kDcbOutX | kDcbParity;
        port.FillDeviceControlBlock(dcb);
        QCOMPARE(dcb.BaudRate, 19200u);
        QCOMPARE(dcb.ByteSize, std::uint8_t(7));
        QCOMPARE(dcb.Parity, kOddParity);
        QCOMPARE(dcb.StopBits, kTwoStopBits);
        // Options are always written: the empty set clears fParity.
        QCOMPARE(dcb.Flags, kDcbBinary | kDtrControlHandshake | kRtsControlToggle | kDcbOutX);
    }

    void optionsAndControls_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<uint>("bit");
        QTest::newRow("check parity") << int(opCheckParity) << 0x0002u;
        QTest::newRow("CTS flow") << int(opOutputCTSFlow) << 0x0004u;
        QTest::newRow("DSR flow") << int(opOutputDSRFlow) << 0x0008u;
        QTest::newRow("DSR sensitivity") << int(opDSRSensitivity) << 0x0040u;
        QTest::newRow("TX continue on XOFF") << int(opTXContinueOnXOff) << 0x0080u;
        QTest::newRow("error char") << int(opUseErrorChar) << 0x0400u;
        QTest::newRow("discard nulls") << int(opDiscardNullBytes) << 0x0800u;
        QTest::newRow("abort on error") << int(opAbortOnError) << 0x4000u;
    }
    void optionsAndControls()
    {
        QFETCH(int, option);
        QFETCH(uint, bit);
        TComPort port;
        port.SetOptions({static_cast<TOption>(option)});
        TDcb dcb;
        port.FillDeviceControlBlock(dcb);
        QCOMPARE(dcb.Flags, std::uint32_t(bit));
    }

    void customBaudRate()
    {
        TComPort port;
        port.SetBaudRate(br4800);
        QCOMPARE(port.CustomBaudRate(), 4800);
        port.SetCustomBaudRate(9600);
        QCOMPARE(port.BaudRate(), brCustom);
        QCOMPARE(port.CustomBaudRate(), 9600);
        // Back to a table rate, then the old custom value again: the port
        // must run the custom value, not stay at the table rate.
        port.SetBaudRate(br4800);
        port.SetCustomBaudRate(9600);
        QCOMPARE(port.BaudRate(), brCustom);
        QCOMPARE(port.CustomBaudRate(), 9600);
    }

    void lineSettingsReachDevice_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("custom");
        QTest::newRow("4800") << 4800 << false;
        QTest::newRow("115200") << 115200 << false;
        QTest::newRow("10400 custom") << 10400 << true;
        QTest::newRow("15625 custom") << 15625 << true;
        QTest::newRow("128000 custom") << 128000 << true;
    }
    void lineSettingsReachDevice()
    {
        QFETCH(int, rate);
        QFETCH(bool, custom);
        TPtyPair pty;
        TComPort port;
        UseProgramSettings(port);
        if (custom)
            port.SetCustomBaudRate(rate);
        else
            port.SetBaudRate(rate == 4800 ? br4800 : br115200);
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        QCOMPARE(pty.SlaveRate(), std::uint32_t(rate));
        termios t{};
        pty.SlaveTermios(t);
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
        QVERIFY(t.c_cflag & CLOCAL);
    }

    void baudChangeOnOpenPortAppliesAtOnce()
    {
        TPtyPair pty;
        TComPort port;
        UseProgramSettings(port);
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        port.SetBaudRate(br9600);
        QCOMPARE(pty.SlaveRate(), 9600u);
        port.SetCustomBaudRate(15625);
        QCOMPARE(pty.SlaveRate(), 15625u);
        port.SetActive(false);
        port.SetBaudRate(br4800); // closed: only stored
        QCOMPARE(pty.SlaveRate(), 15625u);
    }

    void settersReachOpenPortOnlyOnChange_data()
    {
        QTest::addColumn<TChange>("change");
        QTest::addColumn<QList<int>>("writes"); // line state, queue sizes, time-outs, event mask
        const auto row = [](const char* name, TChange change, QList<int> writes) {
            QTest::newRow(name) << change << writes;
        };
        row("same baud rate", [](TComPort& p) { p.SetBaudRate(br4800); }, {0, 0, 0, 0});
        row("other baud rate", [](TComPort& p) { p.SetBaudRate(br9600); }, {1, 0, 0, 0});
        row("same parity", [](TComPort& p) { p.SetParity(paNone); }, {0, 0, 0, 0});
        row("other stop bits", [](TComPort& p) { p.SetStopBits(sb2); }, {1, 0, 0, 0});
        row("same DTR", [](TComPort& p) { p.FlowControl().SetDTR(dcDisable); }, {0, 0, 0, 0});
        row("other RTS", [](TComPort& p) { p.FlowControl().SetRTS(rcDisable); }, {1, 0, 0, 0});
        row("XON limit", [](TComPort& p) { p.FlowControl().SetXOnLimit(10); }, {1, 0, 0, 0});
        row("same XON char", [](TComPort& p) { p.Characters().SetXOn(0x11); }, {0, 0, 0, 0});
        row("event char", [](TComPort& p) { p.Characters().SetEvent('\r'); }, {1, 0, 0, 0});
        row("options", [](TComPort& p) { p.SetOptions({opCheckParity}); }, {1, 0, 0, 0});
        row("input size", [](TComPort& p) { p.BufferSizes().SetInput(1024); }, {0, 1, 0, 0});
        row("same output size", [](TComPort& p) { p.BufferSizes().SetOutput(2048); }, {0, 0, 0, 0});
        row("read constant", [](TComPort& p) { p.Timeouts().SetReadConstant(50); }, {0, 0, 1, 0});
        row("same write constant", [](TComPort& p) { p.Timeouts().SetWriteConstant(0); }, {0, 0, 0, 0});
        row("thread priority", [](TComPort& p) { p.SetThreadPriority(tpNormal); }, {0, 0, 0, 0});
        row("first handler", [](TComPort& p) { p.SetOnRxChar([](TComPort&) {}); }, {0, 0, 0, 1});
        row("hook", [](TComPort& p) { p.SetAfterClose([](TComPort&) {}); }, {0, 0, 0, 0});
    }
    void settersReachOpenPortOnlyOnChange()
    {
        QFETCH(TChange, change);
        QFETCH(QList<int>, writes);
        TPtyPair pty;
        TTestPort port;
        UseProgramSettings(port);
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        TInjection& count = *port.injection;
        QCOMPARE(QList<int>({count.states, count.sizes, count.timeouts, count.masks}), QList<int>({1, 1, 1, 1}));
        change(port);
        QCOMPARE(QList<int>({count.states - 1, count.sizes - 1, count.timeouts - 1, count.masks - 1}), writes);
        port.SetActive(false);
        change(port); // closed: only stored
        QCOMPARE(QList<int>({count.states - 1, count.sizes - 1, count.timeouts - 1}), writes.mid(0, 3));
    }

    // What Linux cannot do is refused by name when the port opens; what it
    // can do is applied. On a pty: no RS-485 mode.
    void settingsLinuxCannotApply_data()
    {
        QTest::addColumn<TChange>("change");
        QTest::addColumn<int>("code"); // -1: applied
        QTest::addColumn<QString>("setting");
        const auto row = [](const char* name, TChange change, int code, const char* setting) {
            QTest::newRow(name) << change << code << QString(setting);
        };
        row("program's settings", [](TComPort&) {}, -1, "");
        row("RTS toggle without RS-485", [](TComPort& p) { p.FlowControl().SetRTS(rcToggle); }, ENOTTY,
            "FlowControl.RTS rcToggle");
        row("DTR handshake", [](TComPort& p) { p.FlowControl().SetDTR(dcHandshake); }, EOPNOTSUPP,
            "FlowControl.DTR dcHandshake");
        row("DSR flow", [](TComPort& p) { p.SetOptions({opOutputDSRFlow}); }, EOPNOTSUPP, "opOutputDSRFlow");
        row("discard nulls", [](TComPort& p) { p.SetOptions({opDiscardNullBytes}); }, EOPNOTSUPP,
            "opDiscardNullBytes");
        row("4 data bits", [](TComPort& p) { p.SetDataBits(db4); }, EOPNOTSUPP, "DataBits db4");
        row("input XON/XOFF stopping output", [](TComPort& p) { p.FlowControl().SetXOnXOff(xcInput); },
            EOPNOTSUPP, "FlowControl.XOnXOff input without opTXContinueOnXOff");
        row("input XON/XOFF sending on", [](TComPort& p) {
            p.SetOptions({opTXContinueOnXOff});
            p.FlowControl().SetXOnXOff(xcInput);
        }, -1, "");
        row("input XON/XOFF at a limit", [](TComPort& p) {
            p.SetOptions({opTXContinueOnXOff});
            p.FlowControl().SetXOnXOff(xcInput);
            p.FlowControl().SetXOffLimit(100);
        }, EOPNOTSUPP, "FlowControl.XOffLimit");
    }
    void settingsLinuxCannotApply()
    {
        QFETCH(TChange, change);
        QFETCH(int, code);
        QFETCH(QString, setting);
        TPtyPair pty;
        TComPort port;
        UseProgramSettings(port);
        change(port);
        port.SetDeviceName(pty.SlavePath());
        const auto [raised, message] = ComError([&] { port.SetActive(true); });
        QCOMPARE(raised, code);
        QCOMPARE(port.Active(), code == -1);
        if (code != -1)
            QCOMPARE(message, QString("Can't apply %1 on this port: %2")
                                  .arg(setting, QString::fromStdString(std::strerror(code))));
        port.SetActive(false);
        // On an open port the change is refused the same way, the line kept.
        TComPort open;
        UseProgramSettings(open);
        open.SetDeviceName(pty.SlavePath());
        open.SetActive(true);
        QCOMPARE(ComError([&] { change(open); }).first, code);
        QVERIFY(open.Active());
    }

    void rtsToggleIsRs485Mode()
    {
        constexpr std::uint32_t kRs485Flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND;
        TPtyPair pty;
        TTestPort port;
        port.injection->rs485 = true;
        port.injection->rs485Flags = SER_RS485_RTS_AFTER_SEND; // the driver's own mode: off
        UseProgramSettings(port);
        port.FlowControl().SetRTS(rcToggle);
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        QCOMPARE(port.injection->rs485Flags & kRs485Flags, std::uint32_t(SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND));
        port.FlowControl().SetRTS(rcEnable);
        QCOMPARE(port.injection->rs485Flags.load(), std::uint32_t(SER_RS485_RTS_AFTER_SEND));
        port.FlowControl().SetRTS(rcToggle);
        port.SetActive(false); // the driver's mode comes back on close
        QCOMPARE(port.injection->rs485Flags.load(), std::uint32_t(SER_RS485_RTS_AFTER_SEND));
    }

    // Adapters that hold received bytes for a latency timer run in the
    // driver's low-latency mode while the port is open; a pty has no such
    // setting and opens as it is.
    void lowLatencyMode_data()
    {
        QTest::addColumn<bool>("hasSetting");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("whileOpen");
        QTest::newRow("pseudo-terminal") << false << 0 << 0;
        QTest::newRow("adapter with a latency timer") << true << int(ASYNC_SPD_HI) << int(ASYNC_SPD_HI | ASYNC_LOW_LATENCY);
        QTest::newRow("already low latency") << true << int(ASYNC_LOW_LATENCY) << int(ASYNC_LOW_LATENCY);
    }
    void lowLatencyMode()
    {
        QFETCH(bool, hasSetting);
        QFETCH(int, before);
        QFETCH(int, whileOpen);
        TPtyPair pty;
        TTestPort port;
        port.injection->serialSettings = hasSetting;
        port.injection->serialFlags = before;
        UseProgramSettings(port);
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        QVERIFY(port.Active());
        QCOMPARE(port.injection->serialFlags.load(), whileOpen);
        port.SetActive(false);
        QCOMPARE(port.injection->serialFlags.load(), before);
    }

    // The class reaches every thread of the process, and closing puts each
    // back on exactly the nice value it had.
    void priorityClassWholeProcess_data()
    {
        QTest::addColumn<int>("priority");
        QTest::addColumn<int>("mainBefore");
        QTest::addColumn<int>("otherBefore");
        QTest::addColumn<int>("whileOpen");
        QTest::newRow("idle") << int(pcIdle) << 0 << 2 << 19;
        QTest::newRow("normal from nice 3") << int(pcNormal) << 3 << 5 << 0;
        QTest::newRow("high") << int(pcHigh) << 1 << 0 << -10;
    }
    void priorityClassWholeProcess()
    {
        QFETCH(int, priority);
        QFETCH(int, mainBefore);
        QFETCH(int, otherBefore);
        QFETCH(int, whileOpen);
        if (geteuid() != 0)
            QSKIP("lowering a nice value needs CAP_SYS_NICE");
        TPtyPair pty;
        TOtherThread other;
        setpriority(PRIO_PROCESS, 0, mainBefore);
        setpriority(PRIO_PROCESS, static_cast<id_t>(other.id), otherBefore);
        TComPort port;
        port.SetPriorityClass(static_cast<TPriorityClass>(priority));
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        QCOMPARE(QList<int>({NiceOf(gettid()), NiceOf(other.id)}), QList<int>({whileOpen, whileOpen}));
        port.SetActive(false);
        const QList<int> after{NiceOf(gettid()), NiceOf(other.id)};
        setpriority(PRIO_PROCESS, 0, 0);
        QCOMPARE(after, QList<int>({mainBefore, otherBefore}));
    }

    void priorityClassRefusedWhenNotRestorable()
    {
        TPtyPair pty;
        TOtherThread other;
        const QList<int> before{NiceOf(gettid()), NiceOf(other.id)};
        TComPort port;
        port.SetPriorityClass(pcIdle);
        port.SetDeviceName(pty.SlavePath());
        std::pair<int, QString> error;
        {
            TWithoutSysNice user;
            error = ComError([&] { port.SetActive(true); });
        }
        QVERIFY2(error.first == EACCES || error.first == EPERM, qPrintable(error.second));
        QVERIFY2(error.second.startsWith("Can't apply PriorityClass pcIdle: the process could not get its "
                                         "priority back on close: "),
                 qPrintable(error.second));
        QVERIFY(!port.Active());
        QCOMPARE(QList<int>({NiceOf(gettid()), NiceOf(other.id)}), before);
    }

    void sameHandlerRule()
    {
        TLink a, b;
        const TNotifyEvent lambda([](TComPort&) {});
        QVERIFY(TNotifyEvent(&a, &TLink::RxChar) == TNotifyEvent(&a, &TLink::RxChar));
        QVERIFY(!(TNotifyEvent(&a, &TLink::RxChar) == TNotifyEvent(&b, &TLink::RxChar)));
        QVERIFY(!(TNotifyEvent(&a, &TLink::RxChar) == TNotifyEvent(&a, &TLink::Other)));
        QVERIFY(lambda == TNotifyEvent(lambda));
        QVERIFY(!(lambda == TNotifyEvent([](TComPort&) {})));
        QVERIFY(TNotifyEvent() == TNotifyEvent());
        QVERIFY(!(TNotifyEvent() == lambda));

        TPtyPair pty;
        TTestPort port;
        port.SetDeviceName(pty.SlavePath());
        port.SetOnRxChar(TNotifyEvent(&a, &TLink::RxChar));
        port.SetActive(true);
        const int masks = port.injection->masks;
        port.SetOnRxChar(TNotifyEvent(&a, &TLink::RxChar));
        QCOMPARE(port.injection->masks.load(), masks);
        // Another object's handler must replace the stored one.
        port.SetOnRxChar(TNotifyEvent(&b, &TLink::RxChar));
        QCOMPARE(port.injection->masks.load(), masks + 1);
        pty.Write({0x01});
        QTRY_COMPARE(b.rx, 1);
        QCOMPARE(a.rx, 0);
    }

    void deviceNameNeedsClosedPort()
    {
        TPtyPair pty;
        TComPort port;
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(true);
        const auto [code, message] = ComError([&] { port.SetDeviceName("/dev/other"); });
        QCOMPARE(code, 0);
        QCOMPARE(message, QString("Can't perform this operation on an open port"));
        QCOMPARE(port.DeviceName(), pty.SlavePath());
        port.SetDeviceName(pty.SlavePath()); // the same name raises nothing
        QCOMPARE(ComError([&] { port.SetSynchronizeEvents(false); }).first, 0);
        QCOMPARE(ComError([&] { port.SetPriorityClass(pcHigh); }).first, 0);
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing device") << "/dev/lk58-no-such-port" << ENOENT << "No such file or directory";
        QTest::newRow("not a tty") << "/dev/null" << ENOTTY << "Inappropriate ioctl for device";
    }
    void openFailures()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(QString, message);
        TComPort port;
        int before = 0, after = 0;
        port.SetBeforeOpen([&](TComPort&) { ++before; });
        port.SetAfterOpen([&](TComPort&) { ++after; });
        port.SetDeviceName(name.toStdString());
        const auto [raised, text] = ComError([&] { port.SetActive(true); });
        QCOMPARE(raised, code);
        QCOMPARE(text, message);
        QVERIFY(!port.Active());
        QVERIFY(!port.ActiveRequested());
        QCOMPARE(before, 1);
        QCOMPARE(after, 0);
    }

    void busyPort()
    {
        TPtyPair pty;
        TComPort first, second;
        first.SetDeviceName(pty.SlavePath());
        second.SetDeviceName(pty.SlavePath());
        first.SetActive(true);
        const auto [code, message] = ComError([&] { second.SetActive(true); });
        QCOMPARE(code, EBUSY);
        QCOMPARE(message, QString("Device or resource busy"));
        QVERIFY(first.Active());
        QVERIFY(!second.Active());
        first.SetActive(false);
        second.SetActive(true);
        QVERIFY(second.Active());
    }

    // A program that marks its port with a UUCP lock file only: a lock
    // naming a running process makes the port busy before it is opened;
    // a stale one (its process gone, or this process's own number, which
    // writes no locks) or one without a process id does not.
    void lockFiles_data()
    {
        QTest::addColumn<QString>("name"); // @pts: pts_N; @n: the node's own name N
        QTest::addColumn<QString>("form"); // ascii, binary, or the very contents
        QTest::addColumn<QString>("holder"); // live, gone, self
        QTest::addColumn<bool>("busy");
        QTest::newRow("live, ten digits") << "@pts" << "ascii" << "live" << true;
        QTest::newRow("live, binary") << "@pts" << "binary" << "live" << true;
        QTest::newRow("live, by the node's name") << "@n" << "ascii" << "live" << true;
        QTest::newRow("stale") << "@pts" << "ascii" << "gone" << false;
        QTest::newRow("stale, binary") << "@pts" << "binary" << "gone" << false;
        QTest::newRow("this process's number") << "@pts" << "ascii" << "self" << false;
        QTest::newRow("no process id") << "@pts" << "locked\n" << "live" << false;
        QTest::newRow("another port's lock") << "ttyS77" << "ascii" << "live" << false;
    }
    void lockFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, form);
        QFETCH(QString, holder);
        QFETCH(bool, busy);
        TPtyPair pty;
        QTemporaryDir locks;
        qputenv("LK58_LOCK_DIR", QFile::encodeName(locks.path()));
        const QString node = QString::fromStdString(pty.SlavePath()).section('/', -1);
        name.replace("@pts", "pts_" + node).replace("@n", node);
        pid_t pid = holder == "self" ? ::getpid() : ::getppid();
        if (holder == "gone") {
            pid = ::fork();
            if (pid == 0)
                ::_exit(0);
            ::waitpid(pid, nullptr, 0);
        }
        QFile lock(locks.filePath("LCK.." + name));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        const int binary = static_cast<int>(pid);
        if (form == "ascii")
            lock.write(QByteArray::number(pid).rightJustified(10) + '\n');
        else if (form == "binary")
            lock.write(reinterpret_cast<const char*>(&binary), sizeof binary);
        else
            lock.write(form.toLatin1());
        lock.close();
        TComPort port;
        port.SetDeviceName(pty.SlavePath());
        const auto [code, message] = ComError([&] { port.SetActive(true); });
        qunsetenv("LK58_LOCK_DIR");
        QCOMPARE(code, busy ? EBUSY : -1);
        QCOMPARE(port.Active(), !busy);
    }

    void abortActionRaisesSilentAbort()
    {
        TComPort port;
        int seen = 0;
        port.SetOnError([&](TComPort& sender, const EComError& e, TComAction& action) {
            QCOMPARE(&sender, &port);
            QCOMPARE(e.ErrorCode(), ENOENT);
            action = caAbort;
            ++seen;
        });
        port.SetDeviceName("/dev/lk58-no-such-port");
        QVERIFY_THROWS_EXCEPTION(EAbort, port.Open());
        QCOMPARE(seen, 1);
        port.SetOnError(TComErrorEvent());
        QVERIFY_THROWS_EXCEPTION(EComError, port.Open());
    }

    void hooksAndActiveRules()
    {
        TPtyPair pty;
        TComPort port;
        QStringList calls;
        port.SetBeforeOpen([&](TComPort& p) { calls << QString("BeforeOpen %1").arg(p.Active()); });
        port.SetAfterOpen([&](TComPort& p) { calls << QString("AfterOpen %1").arg(p.Active()); });
        port.SetBeforeClose([&](TComPort& p) { calls << QString("BeforeClose %1").arg(p.Active()); });
        port.SetAfterClose([&](TComPort& p) { calls << QString("AfterClose %1").arg(p.Active()); });
        port.SetDeviceName(pty.SlavePath());
        port.SetActive(false); // closed already: nothing
        port.SetActive(true);
        port.SetActive(true);  // open already: opens once
        port.SetActive(false);
        QCOMPARE(calls, QStringList({"BeforeOpen 0", "AfterOpen 1", "BeforeClose 1", "AfterClose 0"}));
    }

    void activeAppliedWhenLoadingEnds()
    {
        TPtyPair pty;
        TComPort port;
        port.BeginLoading();
        port.SetActive(true);
        port.SetDeviceName(pty.SlavePath()); // later in the description than Active
        QVERIFY(!port.Active());
        QVERIFY(port.ActiveRequested());
        port.Loaded();
        QVERIFY(port.Active());
    }

    void listPortsAppends()
    {
        std::vector<std::string> names{"kept"};
        TComPort::ListPorts(names);
        QCOMPARE(names.front(), std::string("kept"));
        for (std::size_t i = 1; i < names.size(); ++i)
            QVERIFY(names[i].rfind("/dev/", 0) == 0);
        const std::size_t once = names.size();
        TComPort::ListPorts(names);
        QCOMPARE(names.size(), 2 * once - 1);
    }
};

QTEST_GUILESS_MAIN(TstComPort)
#include "tst_comport.moc"

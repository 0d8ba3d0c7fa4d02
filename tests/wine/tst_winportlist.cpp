// The list of serial ports from the registry's serial device map, with the
// values written by reg.exe (Wine's, under Wine).
#include "serial/comport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

using namespace lk58;

namespace {

const QString kKey = QStringLiteral("HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM");

int Reg(const QStringList& args)
{
    QProcess reg;
    reg.start(QStringLiteral("reg"), args);
    if (!reg.waitForFinished(60000))
        return -1;
    return reg.exitStatus() == QProcess::NormalExit ? reg.exitCode() : -1;
}

// The key lives in the volatile part of the registry, where reg.exe cannot
// make it again once it is gone.
bool CreateKey()
{
    HKEY key = nullptr;
    const LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                      REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS)
        ::RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::vector<std::string> Strings(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

} // namespace

class TstWinPortList : public QObject {
    Q_OBJECT
private slots:
    // What the machine had is put back afterwards.
    void initTestCase()
    {
        QVERIFY(saved_.isValid());
        QCOMPARE(Reg({"export", kKey, Saved(), "/y"}), 0);
    }

    void cleanupTestCase()
    {
        QVERIFY(CreateKey());
        Reg({"delete", kKey, "/va", "/f"});
        QCOMPARE(Reg({"import", Saved()}), 0);
    }

    void listPorts_data()
    {
        // Each value: name, type, data (reg.exe's words).
        QTest::addColumn<QList<QStringList>>("values");
        QTest::addColumn<bool>("keyMissing");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QStringList>("expected");
        const QStringList serial0 = {"\\Device\\Serial0", "REG_SZ", "COM7"};
        const QStringList serial1 = {"\\Device\\Serial1", "REG_SZ", "COM3"};
        QTest::newRow("two ports in the registry's order, after what the list held")
            << QList<QStringList>{serial0, serial1} << false << 1 << QStringList{"held", "COM7", "COM3"};
        QTest::newRow("called twice: appended twice")
            << QList<QStringList>{serial0, serial1} << false << 2
            << QStringList{"held", "COM7", "COM3", "COM7", "COM3"};
        QTest::newRow("empty data: an empty item")
            << QList<QStringList>{{"\\Device\\Serial0", "REG_SZ", ""}} << false << 1 << QStringList{"held", ""};
        QTest::newRow("expandable string skipped")
            << QList<QStringList>{serial1, {"\\Device\\Serial2", "REG_EXPAND_SZ", "COM4"}} << false << 1
            << QStringList{"held", "COM3"};
        QTest::newRow("number skipped")
            << QList<QStringList>{{"\\Device\\Serial0", "REG_DWORD", "5"}, serial1} << false << 1
            << QStringList{"held", "COM3"};
        QTest::newRow("no ports") << QList<QStringList>{} << false << 1 << QStringList{"held"};
        QTest::newRow("no key: nothing added, no error")
            << QList<QStringList>{} << true << 1 << QStringList{"held"};
    }

    void listPorts()
    {
        QFETCH(QList<QStringList>, values);
        QFETCH(bool, keyMissing);
        QFETCH(int, calls);
        QFETCH(QStringList, expected);
        QVERIFY(CreateKey());
        QCOMPARE(Reg({"delete", kKey, "/va", "/f"}), 0);
        for (const QStringList& v : values)
            QCOMPARE(Reg({"add", kKey, "/v", v[0], "/t", v[1], "/d", v[2], "/f"}), 0);
        if (keyMissing)
            QCOMPARE(Reg({"delete", kKey, "/f"}), 0);
        std::vector<std::string> names = {"held"};
        for (int i = 0; i < calls; ++i)
            TComPort::ListPorts(names);
        QCOMPARE(names, Strings(expected));
    }

private:
    QString Saved() const { return QDir::toNativeSeparators(saved_.filePath("serialcomm.reg")); }

    QTemporaryDir saved_;
};

QTEST_GUILESS_MAIN(TstWinPortList)
#include "tst_winportlist.moc"

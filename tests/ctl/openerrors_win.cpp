#include "openerrors.h"

#include <QtTest>

#include <windows.h>

void AddOpenErrorRows()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("says");
    auto row = [](const char* name, DWORD code, const char* system, const QStringList& says) {
        QTest::newRow(name) << int(code) << QString(system) << QString("COM9") << says;
    };
    row("held", ERROR_ACCESS_DENIED, "Access denied.", {"busy: another program holds the port"});
    row("missing", ERROR_FILE_NOT_FOUND, "File not found.", {"no such port", "Device Manager"});
    row("bad name", ERROR_INVALID_NAME, "Invalid name.", {"no such port"});
    row("not a serial device", ERROR_INVALID_FUNCTION, "Invalid function.", {"not a serial device"});
    row("unplugged", ERROR_DEVICE_NOT_CONNECTED, "The device is not connected.",
        {"no device behind this name"});
    row("anything else", ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired.",
        {"The semaphore timeout period has expired."});
    // Without a text of the system's, the code at least.
    row("no system text", ERROR_SEM_TIMEOUT, "", {"error 121"});
}

void AddSamePortRows()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("one name twice") << "COM3" << "COM3" << true;
    QTest::newRow("with and without the device prefix") << "\\\\.\\COM12" << "COM12" << true;
    QTest::newRow("in other case") << "com3" << "COM3" << true;
    QTest::newRow("two ports") << "COM3" << "COM13" << false;
}

void AddBusyCodeRows()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("busy");
    QTest::newRow("held: access denied") << int(ERROR_ACCESS_DENIED) << true;
    QTest::newRow("held: sharing violation") << int(ERROR_SHARING_VIOLATION) << true;
    QTest::newRow("missing") << int(ERROR_FILE_NOT_FOUND) << false;
    QTest::newRow("unplugged") << int(ERROR_DEVICE_NOT_CONNECTED) << false;
    // The number that means "busy" on POSIX is no such thing here.
    QTest::newRow("EBUSY's number") << 16 << false;
}

bool PrepareOpenErrorRow(QString&, QStringList&)
{
    return true;
}

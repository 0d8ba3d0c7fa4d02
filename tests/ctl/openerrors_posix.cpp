#include "openerrors.h"

#include "common/devicenode.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

void AddOpenErrorRows()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("says");
    // A path that does not exist: the group falls back to dialout.
    const QString path = "/nonexistent/ttyUSB9";
    auto node = [&](const char* name, int code, const QString& device, const QStringList& says) {
        QTest::newRow(name) << code << QString::fromLocal8Bit(std::strerror(code)) << device << says;
    };
    auto row = [&](const char* name, int code, const QStringList& says) { node(name, code, path, says); };
    row("permission", EACCES, {"permission denied", "group 'dialout'", "sudo usermod -aG dialout "});
    row("held", EBUSY, {"busy: another program holds the port"});
    node("permission, serial ports' group", EACCES, "@node dialout 660",
         {"only members of the group 'dialout' may open it", "sudo usermod -aG dialout "});
    node("permission, USB devices' group", EACCES, "@node plugdev 660", {"sudo usermod -aG plugdev "});
    const QString byMode = "the permissions of @node (group '%1', mode %2) keep you out; an administrator can "
                           "change them (with a udev rule)";
    node("permission, root's group", EACCES, "@node root 600", {byMode.arg("root", "600")});
    node("permission, group without access", EACCES, "@node dialout 640", {byMode.arg("dialout", "640")});
    node("held through a lock file", EBUSY, "@locked",
         {"busy: process @pid (@program) holds the port by its lock file @lock"});
    row("not a tty", ENOTTY, {"not a serial device"});
    row("missing", ENOENT, {"no such port"});
    row("unplugged", ENXIO, {"no device behind this name"});
    row("anything else", EIO, {"Input/output error"});
}

void AddSamePortRows()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("one name twice") << "/dev/null" << "/dev/null" << true;
    QTest::newRow("a link and its target") << "@dir/link" << "/dev/null" << true;
    QTest::newRow("two devices") << "/dev/null" << "/dev/zero" << false;
    QTest::newRow("two spellings of a missing name") << "@dir/ttyNONE" << "@dir/./ttyNONE" << true;
    QTest::newRow("two missing names") << "@dir/ttyNONE" << "@dir/ttyNONE2" << false;
}

void AddBusyCodeRows()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("busy");
    QTest::newRow("held: locked or exclusive") << EBUSY << true;
    QTest::newRow("held: the lock would block") << EWOULDBLOCK << true;
    QTest::newRow("permission") << EACCES << false;
    QTest::newRow("missing") << ENOENT << false;
    QTest::newRow("unplugged") << ENXIO << false;
}

bool PrepareOpenErrorRow(QString& path, QStringList& says)
{
    QString all = says.join('\n');
    if (!lk58::test::MakeDeviceNode(path, all))
        return false;
    says = all.split('\n');
    return true;
}

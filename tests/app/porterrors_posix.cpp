#include "porterrors.h"

#include "app/frmmain.h"
#include "common/devicenode.h"

#include <QtTest>

#include <cerrno>

using namespace lk58;

void AddPortErrorRows()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("text");
    const QString invalid = "Invalid COM port selected.\n";
    QTest::newRow("held") << int(kLangEnglish) << EBUSY << "Device or resource busy" << "/dev/ttyUSB0"
                          << invalid + "Another program is using the port. Close it and try again.";
    QTest::newRow("missing") << int(kLangEnglish) << ENOENT << "No such file or directory" << "/dev/ttyUSB7"
                             << invalid + "There is no port /dev/ttyUSB7.";
    QTest::newRow("other, system text") << int(kLangEnglish) << EIO << "Input/output error" << "/dev/ttyUSB0"
                                        << invalid + "Input/output error.";
    const QString denied = invalid + "You are not allowed to open the port. ";
    QTest::newRow("permission, serial ports' group")
        << int(kLangEnglish) << EACCES << "Permission denied" << "@node dialout 660"
        << denied + "It belongs to the group dialout; add yourself to it with\nsudo usermod -aG dialout $USER\n"
                    "then log out and log in again.";
    QTest::newRow("permission, USB devices' group")
        << int(kLangEnglish) << EACCES << "Permission denied" << "@node plugdev 660"
        << denied + "It belongs to the group plugdev; add yourself to it with\nsudo usermod -aG plugdev $USER\n"
                    "then log out and log in again.";
    QTest::newRow("permission, root's group")
        << int(kLangEnglish) << EACCES << "Permission denied" << "@node root 600"
        << denied + "The permissions of the device @node (group root, mode 600) keep you out; an administrator "
                    "can change them (with a udev rule).";
    QTest::newRow("permission, group without access")
        << int(kLangEnglish) << EACCES << "Permission denied" << "@node dialout 604"
        << denied + "The permissions of the device @node (group dialout, mode 604) keep you out; an "
                    "administrator can change them (with a udev rule).";
    QTest::newRow("permission, root's group, Czech")
        << int(kLangCzech) << EACCES << "Permission denied" << "@node root 600"
        << "Vybrali jste neplatný COM port.\nNemáte oprávnění port otevřít. Oprávnění zařízení @node (skupina "
           "root, práva 600) vám přístup nedovolují; změnit je může správce počítače (pravidlem udev).";
    QTest::newRow("held through a lock file")
        << int(kLangEnglish) << EBUSY << "Device or resource busy" << "@locked"
        << invalid + "Another program is using the port (process @pid: @program, lock file @lock). Close it and "
                     "try again.";
    QTest::newRow("held through a lock file, Czech")
        << int(kLangCzech) << EBUSY << "Device or resource busy" << "@locked"
        << "Vybrali jste neplatný COM port.\nPort používá jiný program (proces @pid: @program, zámek @lock). "
           "Ukončete jej a zkuste to znovu.";
    QTest::newRow("nothing typed") << int(kLangEnglish) << ENOENT << "No such file or directory" << ""
                                   << "Invalid COM port selected.";
}

bool PreparePortErrorRow(QString& device, QString& text)
{
    return lk58::test::MakeDeviceNode(device, text);
}

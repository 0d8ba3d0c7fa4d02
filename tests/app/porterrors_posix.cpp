#include "porterrors.h"

#include "app/frmmain.h"

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
    QTest::newRow("nothing typed") << int(kLangEnglish) << ENOENT << "No such file or directory" << ""
                                   << "Invalid COM port selected.";
}

#include "porterrors.h"

#include "app/frmmain.h"

#include <QtTest>

#include <windows.h>

using namespace lk58;

void AddPortErrorRows()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("text");
    const QString invalid = "Invalid COM port selected.\n";
    // Windows answers a second program's open with "access denied".
    QTest::newRow("held") << int(kLangEnglish) << int(ERROR_ACCESS_DENIED) << "Access denied." << "COM3"
                          << invalid + "Another program is using the port. Close it and try again.";
    QTest::newRow("held, Czech") << int(kLangCzech) << int(ERROR_ACCESS_DENIED) << "Access denied." << "COM3"
                                 << "Vybrali jste neplatný COM port.\nPort používá jiný program. Ukončete jej "
                                    "a zkuste to znovu.";
    QTest::newRow("missing") << int(kLangEnglish) << int(ERROR_FILE_NOT_FOUND) << "File not found." << "COM12"
                             << invalid + "There is no port COM12. Device Manager lists the computer's ports.";
    QTest::newRow("missing, Czech") << int(kLangCzech) << int(ERROR_FILE_NOT_FOUND) << "File not found." << "COM12"
                                    << "Vybrali jste neplatný COM port.\nPort COM12 neexistuje. Porty počítače "
                                       "ukazuje Správce zařízení.";
    QTest::newRow("not a serial device") << int(kLangEnglish) << int(ERROR_INVALID_FUNCTION) << "Invalid function."
                                         << "NUL" << invalid + "NUL is not a serial port.";
    QTest::newRow("other, system text") << int(kLangEnglish) << int(ERROR_SEM_TIMEOUT)
                                        << "The semaphore timeout period has expired" << "COM3"
                                        << invalid + "The semaphore timeout period has expired.";
    QTest::newRow("nothing typed") << int(kLangEnglish) << int(ERROR_FILE_NOT_FOUND) << "File not found." << ""
                                   << "Invalid COM port selected.";
}

bool PreparePortErrorRow(QString&, QString&)
{
    return true;
}

#include "app/errorbox.h"

#include "app/appearance.h"
#include "core/apperror.h"

#include <QApplication>
#include <QMessageBox>

namespace lk58 {

QString ErrorBoxText(const QString& message)
{
    // Windows' own texts end in a line break (".\r\n"), which the box would
    // show as an empty line and which would keep the rule from its letter.
    QString text = message;
    while (!text.isEmpty() && text.back() < QLatin1Char(' '))
        text.chop(1);
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

QString ErrorMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ShowErrorBox(std::exception_ptr error)
{
    QMessageBox::critical(QApplication::activeWindow(), kAppTitle,
                          ErrorBoxText(ErrorMessage(error)));
}

void InstallErrorBox()
{
    SetExceptionHandler(&ShowErrorBox);
}

} // namespace lk58

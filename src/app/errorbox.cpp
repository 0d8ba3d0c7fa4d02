#include "app/errorbox.h"

#include "app/appearance.h"
#include "core/apperror.h"

#include <QApplication>
#include <QMessageBox>

namespace lk58 {

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
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

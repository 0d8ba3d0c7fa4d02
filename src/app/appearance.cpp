#include "app/appearance.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

namespace lk58 {
namespace {

QFont PixelFont(const QString& family, int pixels, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setStyleHint(family == MonoFamily() ? QFont::TypeWriter : QFont::SansSerif);
    return f;
}

} // namespace

QFont DefaultFont() { return PixelFont(SansFamily(), 11, false); }
QFont FieldFont() { return PixelFont(SansFamily(), 13, true); }
QFont MarkFont() { return PixelFont(SansFamily(), 19, true); }
QFont HelpFont() { return PixelFont(MonoFamily(), 11, false); }

void SetUpApplication(QApplication& app)
{
    // No display name: under X11 it would be appended to every caption.
    QCoreApplication::setApplicationName(QStringLiteral("lk58"));
    QCoreApplication::setOrganizationName(QStringLiteral("TAVRIN"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LK58_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("lk58"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    AddFontStandIns();
    QApplication::setFont(DefaultFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lk58/icons/lk58.png")));
    Q_UNUSED(app);
}

} // namespace lk58

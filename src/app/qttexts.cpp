#include "app/qttexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace lk58 {
namespace {

constexpr char kTranslatorName[] = "lk58_qt_texts";

// The application holds the catalogue for as long as it runs.
QTranslator* CzechCatalogue()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (auto* held = app->findChild<QTranslator*>(QLatin1String(kTranslatorName), Qt::FindDirectChildrenOnly))
        return held;
    auto* translator = new QTranslator(app);
    translator->setObjectName(QLatin1String(kTranslatorName));
    // Beside the program on Windows, where Qt is shipped in the program's
    // folder; where the system's Qt keeps its catalogues elsewhere.
    const QString dirs[] = {QCoreApplication::applicationDirPath() + QLatin1String("/translations"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& dir : dirs) {
        if (translator->load(QStringLiteral("qtbase_cs"), dir))
            return translator;
    }
    qWarning("lk58: Qt's Czech texts (qtbase_cs.qm) were not found in %s or %s; they stay English",
             qPrintable(dirs[0]), qPrintable(dirs[1]));
    return translator;
}

} // namespace

void UseQtTexts(bool czech)
{
    QTranslator* catalogue = CzechCatalogue();
    // Installing or removing tells every widget that the language changed:
    // only when it did.
    const bool installed = catalogue->property("installed").toBool();
    const bool wanted = czech && !catalogue->isEmpty();
    if (installed == wanted)
        return;
    if (wanted)
        QCoreApplication::installTranslator(catalogue);
    else
        QCoreApplication::removeTranslator(catalogue);
    catalogue->setProperty("installed", wanted);
}

} // namespace lk58

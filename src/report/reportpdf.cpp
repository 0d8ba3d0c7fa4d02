#include "report/report.h"

#include <QDir>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace lk58 {
namespace {

QString Failure(int lang, const QString& path, const QString& why)
{
    const QString text = lang == kReportCzech ? QStringLiteral("Protokol nastavení nelze uložit do %1: %2")
                                              : QStringLiteral("Cannot save the settings report to %1: %2");
    return text.arg(QDir::toNativeSeparators(path), why);
}

} // namespace

QString WriteSettingsReport(const QString& pdfPath, const ReportInput& input, int lang, int messageLang)
{
    const int said = messageLang < 0 ? lang : messageLang;
    // A failed run leaves no half-written file behind, nor replaces an older
    // record with one.
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return Failure(said, pdfPath, file.errorString());
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(1200);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kReportMarginMm, kReportMarginMm, kReportMarginMm,
                                                kReportMarginMm),
                                      QPageLayout::Millimeter));
        pdf.setCreator(QStringLiteral("LK58"));
        pdf.setTitle(lang == kReportCzech ? QStringLiteral("Protokol nastavení převodníku")
                                          : QStringLiteral("Converter settings report"));
        QPainter painter;
        if (!painter.begin(&pdf))
            return Failure(said, pdfPath, said == kReportCzech ? QStringLiteral("PDF nelze vytvořit")
                                                               : QStringLiteral("the PDF cannot be made"));
        // The painter's origin is the printable area's corner, inside the margins.
        const QSizeF printable = pdf.pageLayout().paintRectPixels(pdf.resolution()).size();
        RenderSettingsReport(painter, QRectF(QPointF(0, 0), printable), input, lang);
        painter.end();
    }
    if (!file.commit())
        return Failure(said, pdfPath, file.errorString());
    return {};
}

} // namespace lk58

#include "report/report.h"

#include "config/diskfile.h"

#include <QBuffer>
#include <QDir>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace lk58 {
namespace {

QString Failure(int lang, const QString& path, const QString& why)
{
    const QString text = lang == kReportCzech ? QStringLiteral("Protokol nastavení nelze uložit do %1: %2")
                                              : QStringLiteral("Cannot save the settings report to %1: %2");
    return text.arg(QDir::toNativeSeparators(path), why);
}

// A PDF that is whole: its header, and its trailer's end-of-file mark last.
QString WholePdf(const QByteArray& pdf)
{
    const bool whole = pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF");
    return whole ? QString() : QStringLiteral("read back from disk, it is not a whole PDF");
}

} // namespace

QString WriteSettingsReport(const QString& pdfPath, const ReportInput& input, int lang, int messageLang)
{
    const int said = messageLang < 0 ? lang : messageLang;
    // Made in memory, then saved proven on disk: a failed run leaves no
    // half-written file behind, nor replaces an older record with one.
    QByteArray bytes;
    QBuffer file(&bytes);
    file.open(QIODevice::WriteOnly);
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
    file.close();
    const QString reason = config::SaveProven(pdfPath, bytes, WholePdf);
    return reason.isEmpty() ? QString() : Failure(said, pdfPath, reason);
}

} // namespace lk58

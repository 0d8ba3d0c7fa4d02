// The page, painted in tenths of a millimetre and scaled to the target.
#include "report/report.h"
#include "report/reportcontent.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace lk58 {
namespace {

constexpr double kW = kReportPageWidthMm * 10;
constexpr double kH = kReportPageHeightMm * 10;

const QColor kInk(30, 30, 30);
const QColor kQuiet(95, 95, 95);
const QColor kMissing(150, 150, 150);
const QColor kAccent(0, 70, 130);
const QColor kGrid(215, 215, 215);
const QColor kShade(242, 244, 247);

QFont Font(int size, bool bold = false, bool italic = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(size);
    f.setBold(bold);
    f.setItalic(italic);
    // Metrics must not depend on the device's resolution: the page is laid
    // out once in millimetres for the PDF and for an image alike.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

class PagePainter {
public:
    PagePainter(QPainter& p, const ReportContent& c) : p_(p), c_(c) {}

    // Paints the page; returns the plot's rectangle in page units (empty
    // without a plot).
    QRectF Paint()
    {
        double y = Title(0);
        y = Identity(y);
        y = Settings(y + 30);
        const double footer = Footer();
        if (!c_.plot) {
            // What stops the plot stands where the plot would be.
            const double end = Statements(Unplotted(Heading(y + 40, c_.plotHeading) + 10) + 30);
            if (c_.historyHeading)
                History(end + 10, RowsThatFit(footer - 30 - end - 10));
            return {};
        }
        double bottom = footer - 30;
        if (c_.historyHeading) {
            // The changes take what the characteristic can spare.
            const int rows = RowsThatFit(bottom - StatementsHeight() - 40 - (y + 95) - kMinPlot);
            bottom -= HistoryHeight(rows) + 20;
            History(bottom + 20, rows);
        }
        const double statements = bottom - StatementsHeight();
        Statements(statements);
        return Characteristic(Heading(y + 40, c_.plotHeading), statements - 40);
    }

private:
    double TextHeight(const QString& text, const QFont& f, double width, int flags = Qt::TextWordWrap)
    {
        p_.setFont(f);
        return p_.boundingRect(QRectF(0, 0, width, 1e6), flags, text).height();
    }

    // A single line drawn with its font shrunk until it fits `width`.
    void Line(const QRectF& box, const QString& text, QFont f, const QColor& colour,
              int align = Qt::AlignLeft | Qt::AlignVCenter)
    {
        while (f.pixelSize() > 12 && QFontMetricsF(f).horizontalAdvance(text) > box.width())
            f.setPixelSize(f.pixelSize() - 1);
        p_.setFont(f);
        p_.setPen(colour);
        p_.drawText(box, align | Qt::TextSingleLine, text);
    }

    double Paragraph(double y, const QString& text, const QFont& f, const QColor& colour,
                     double left = 0)
    {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        p_.setFont(f);
        p_.setPen(colour);
        const QRectF box(left, y, kW - left, 1e6);
        const double h = p_.boundingRect(box, text, option).height();
        p_.drawText(QRectF(left, y, kW - left, h), text, option);
        return y + h;
    }

    double Rule(double y, double width = 3)
    {
        p_.setPen(QPen(kAccent, width));
        p_.drawLine(QPointF(0, y), QPointF(kW, y));
        return y;
    }

    double Heading(double y, const QString& text)
    {
        Line(QRectF(0, y, kW, 50), text, Font(36, true), kAccent);
        return y + 55;
    }

    double Title(double y)
    {
        Line(QRectF(0, y, kW, 80), c_.title, Font(64, true), kInk);
        Rule(y + 95, 6);
        return y + 125;
    }

    // Name above value, in columns of the given widths.
    double Fields(double y, const std::vector<ReportRow>& rows, const std::vector<double>& widths)
    {
        double x = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ReportRow& r = rows[i];
            Line(QRectF(x, y, widths[i] - 30, 40), r.name, Font(30), kQuiet);
            Line(QRectF(x, y + 40, widths[i] - 30, 65), r.value, Font(r.missing ? 36 : 46, !r.missing, r.missing),
                 r.missing ? kMissing : kInk);
            x += widths[i];
        }
        return y + 115;
    }

    double Identity(double y)
    {
        y = Fields(Heading(y, c_.converterHeading), c_.identity, {500, 500, 800});
        return Fields(Heading(y + 10, c_.calibrationHeading), c_.calibration, {500, 1300});
    }

    double Settings(double y)
    {
        y = Heading(y, c_.settingsHeading);
        constexpr double kRow = 56, kValueX = 1000;
        for (std::size_t i = 0; i < c_.settings.size(); ++i) {
            const ReportRow& r = c_.settings[i];
            if (i % 2 == 0)
                p_.fillRect(QRectF(0, y, kW, kRow), kShade);
            Line(QRectF(20, y, kValueX - 40, kRow), r.name, Font(34), kInk);
            Line(QRectF(kValueX, y, kW - kValueX - 20, kRow), r.value, Font(34, !r.missing, r.missing),
                 r.missing ? kMissing : kInk);
            y += kRow;
        }
        if (!c_.templateNote.isEmpty())
            y = Paragraph(y + 15, c_.templateNote, Font(30, false, true), kQuiet, 20);
        return y;
    }

    // The footer ends at the page's bottom; returns where it begins.
    double Footer()
    {
        const QFont f = Font(30);
        const QString text = c_.source + QLatin1Char('\n') + c_.program;
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        p_.setFont(f);
        const double h = p_.boundingRect(QRectF(0, 0, kW, 1e6), text, option).height();
        const double top = kH - h;
        Rule(top - 20, 3);
        p_.setPen(kQuiet);
        p_.drawText(QRectF(0, top, kW, h), text, option);
        return top - 20;
    }

    double StatementHeight(const QString& text) { return TextHeight(text, Font(34), kW - 50) + 12; }

    double StatementsHeight()
    {
        double total = 0;
        for (const QString& s : c_.statements)
            total += StatementHeight(s);
        return total;
    }

    // Returns where the statements end.
    double Statements(double y)
    {
        for (const QString& s : c_.statements) {
            p_.setBrush(kAccent);
            p_.setPen(Qt::NoPen);
            p_.drawEllipse(QPointF(15, y + 22), 7, 7);
            p_.setBrush(Qt::NoBrush);
            Paragraph(y, s, Font(34), kInk, 50);
            y += StatementHeight(s);
        }
        return y;
    }

    static constexpr double kChangeRow = 44, kMinPlot = 700;

    // Changes that fit in `space` besides their heading, one line kept for
    // saying how many more there are.
    int RowsThatFit(double space) const
    {
        const int total = int(c_.changes.size());
        const int fit = std::max(0, int((space - 65) / kChangeRow) - 1);
        return std::min(total, fit);
    }

    double HistoryHeight(int rows) const
    {
        const bool note = rows < int(c_.changes.size()) || c_.changes.empty();
        return 65 + (rows + (note ? 1 : 0)) * kChangeRow;
    }

    // The last changes, newest first: when, who, setting, before -> after, outcome.
    void History(double y, int rows)
    {
        y = Heading(y, *c_.historyHeading);
        const std::array<double, 5> widths{330, 310, 300, 610, 250};
        const QFont f = Font(28);
        for (int i = 0; i < rows; ++i) {
            double x = 0;
            if (i % 2 == 0)
                p_.fillRect(QRectF(0, y, kW, kChangeRow), kShade);
            for (std::size_t col = 0; col < widths.size(); ++col) {
                Line(QRectF(x + 10, y, widths[col] - 20, kChangeRow), c_.changes[std::size_t(i)].value(int(col)), f, kInk);
                x += widths[col];
            }
            y += kChangeRow;
        }
        if (c_.changes.empty())
            Line(QRectF(10, y, kW - 20, kChangeRow), c_.noChanges, Font(28, false, true), kQuiet);
        else if (rows < int(c_.changes.size()))
            Line(QRectF(10, y, kW - 20, kChangeRow), c_.moreChanges.arg(int(c_.changes.size()) - rows),
                 Font(28, false, true), kQuiet);
    }

    // A dashed frame holding the reason instead of a plot; returns its bottom.
    double Unplotted(double y)
    {
        const QFont f = Font(36, true);
        const double h = TextHeight(c_.noPlot, f, kW - 200) + 160;
        p_.setPen(QPen(kGrid, 4, Qt::DashLine));
        p_.drawRect(QRectF(0, y, kW, h));
        p_.setFont(f);
        p_.setPen(kInk);
        p_.drawText(QRectF(100, y, kW - 200, h), Qt::AlignCenter | Qt::TextWordWrap, c_.noPlot);
        return y + h;
    }

    QRectF Characteristic(double y, double bottom)
    {
        // Room for the signal's tick labels and title on the left, the
        // temperature's below.
        const QRectF plot(QPointF(220, y + 40), QPointF(kW - 60, bottom - 130));
        Plot(plot, *c_.plot);
        return plot;
    }

    void Plot(const QRectF& r, const ReportPlot& pl)
    {
        auto X = [&](double t) { return r.left() + (t - pl.begin) / (pl.end - pl.begin) * r.width(); };
        auto Y = [&](double v) { return r.bottom() - v / pl.top * r.height(); };
        const QFont tickFont = Font(30);
        const QFontMetricsF fm(tickFont);
        p_.setFont(tickFont);

        // Signal axis: fixed steps that show the live zero of 4-20 mA.
        for (double v = 0; v <= pl.top + 1e-9; v += pl.signalStep) {
            p_.setPen(QPen(kGrid, 2));
            p_.drawLine(QPointF(r.left(), Y(v)), QPointF(r.right(), Y(v)));
            p_.setPen(QPen(kInk, 3));
            p_.drawLine(QPointF(r.left() - 15, Y(v)), QPointF(r.left(), Y(v)));
            p_.drawText(QRectF(r.left() - 120, Y(v) - 25, 95, 50), Qt::AlignRight | Qt::AlignVCenter,
                        QString::number(v));
        }

        // Temperature axis: both ends labelled, nice steps between them where
        // their labels do not collide with the ends'.
        auto label = [&](double t) { return QString::number(std::lround(t)); };
        auto labelBox = [&](double t) {
            const double w = fm.horizontalAdvance(label(t));
            return QRectF(X(t) - w / 2, r.bottom() + 25, w, fm.height());
        };
        const QRectF beginBox = labelBox(pl.begin), endBox = labelBox(pl.end);
        std::vector<double> ticks = NiceTicks(pl.begin, pl.end, 9, 1);
        for (const double t : ticks) {
            p_.setPen(QPen(kGrid, 2));
            p_.drawLine(QPointF(X(t), r.top()), QPointF(X(t), r.bottom()));
        }
        ticks.insert(ticks.begin(), pl.begin);
        ticks.push_back(pl.end);
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            const double t = ticks[i];
            const bool end = i == 0 || i + 1 == ticks.size();
            p_.setPen(QPen(kInk, 3));
            p_.drawLine(QPointF(X(t), r.bottom()), QPointF(X(t), r.bottom() + 15));
            const QRectF box = labelBox(t);
            if (!end && (box.adjusted(-50, 0, 50, 0).intersects(beginBox) ||
                         box.adjusted(-50, 0, 50, 0).intersects(endBox)))
                continue;
            p_.setFont(end ? Font(30, true) : tickFont);
            p_.drawText(box.adjusted(-40, 0, 40, 0), Qt::AlignHCenter | Qt::AlignTop, label(t));
        }

        // Axes over the grid.
        p_.setPen(QPen(kInk, 5));
        p_.drawLine(r.bottomLeft(), r.topLeft());
        p_.drawLine(r.bottomLeft(), r.bottomRight());

        // Axis titles.
        Line(QRectF(r.left(), r.bottom() + 75, r.width(), 45), pl.xTitle, Font(32, true), kInk, Qt::AlignCenter);
        p_.save();
        p_.translate(r.left() - 175, r.center().y());
        p_.rotate(-90);
        Line(QRectF(-r.height() / 2, -25, r.height(), 50), pl.yTitle, Font(32, true), kInk, Qt::AlignCenter);
        p_.restore();

        // The characteristic and its end points.
        const QPointF a(X(pl.begin), Y(pl.low)), b(X(pl.end), Y(pl.high));
        p_.setPen(QPen(kAccent, 9, Qt::SolidLine, Qt::RoundCap));
        p_.drawLine(a, b);
        p_.setPen(Qt::NoPen);
        p_.setBrush(kAccent);
        p_.drawEllipse(a, 15, 15);
        p_.drawEllipse(b, 15, 15);
        p_.setBrush(Qt::NoBrush);
        PointLabels(r, a, b, pl);
    }

    // Each end point's label sits in the empty triangle beside it: below the
    // line for the begin, above it for the end.
    void PointLabels(const QRectF& r, QPointF a, QPointF b, const ReportPlot& pl)
    {
        const QFont f = Font(32, true);
        const QFontMetricsF fm(f);
        const double slope = (a.y() - b.y()) / (b.x() - a.x());
        constexpr double kGap = 22;
        const double h = fm.height();

        const double wa = fm.horizontalAdvance(pl.beginLabel);
        const double topA = std::min(a.y() + kGap, r.bottom() - h - kGap);
        const double leftA = a.x() + std::max(2 * kGap, (a.y() - topA + kGap) / slope);
        Boxed(QRectF(leftA, topA, wa, h), pl.beginLabel, f);

        const double wb = fm.horizontalAdvance(pl.endLabel);
        const double bottomB = std::max(b.y() - kGap, r.top() + kGap + h);
        const double rightB = b.x() - std::max(2 * kGap, (bottomB + kGap - b.y()) / slope);
        Boxed(QRectF(rightB - wb, bottomB - h, wb, h), pl.endLabel, f);
    }

    void Boxed(const QRectF& box, const QString& text, const QFont& f)
    {
        p_.fillRect(box.adjusted(-8, -2, 8, 2), Qt::white);
        p_.setFont(f);
        p_.setPen(kAccent);
        p_.drawText(box.adjusted(-8, 0, 8, 0), Qt::AlignCenter | Qt::TextSingleLine, text);
    }

    QPainter& p_;
    const ReportContent& c_;
};

} // namespace

ReportLayout RenderSettingsReport(QPainter& painter, const QRectF& target, const ReportInput& input, int lang)
{
    const ReportContent content = BuildReportContent(input, lang);
    const double scale = std::min(target.width() / kW, target.height() / kH);
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.translate(target.center());
    painter.scale(scale, scale);
    painter.translate(-kW / 2, -kH / 2);
    const QRectF plot = PagePainter(painter, content).Paint();
    ReportLayout layout;
    if (content.plot) {
        layout.plot = painter.transform().mapRect(plot);
        layout.signalTop = content.plot->top;
    }
    painter.restore();
    return layout;
}

} // namespace lk58

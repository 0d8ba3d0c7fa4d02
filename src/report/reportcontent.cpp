#include "report/reportcontent.h"
#include "config/settingsfile.h"
#include "settings/settingnames.h"

#include <QCoreApplication>

#include <array>
#include <cmath>
#include <cstdlib>

namespace lk58 {
namespace {

// The record's texts, Czech first.
struct Texts {
    int lang;
    QString operator()(const char* czech, const char* english) const
    {
        return QString::fromUtf8(lang == kReportCzech ? czech : english);
    }
};

QString Decimal(std::int32_t value, int decimals, int lang)
{
    const std::int64_t v = value;
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const std::int64_t magnitude = std::llabs(v);
    QString text = QString::number(magnitude / scale);
    if (decimals > 0) {
        text += lang == kReportCzech ? QLatin1Char(',') : QLatin1Char('.');
        text += QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    }
    return v < 0 ? QLatin1Char('-') + text : text;
}

QString Date(std::chrono::year_month_day d, int lang)
{
    const int year = int(d.year()), month = int(unsigned(d.month())), day = int(unsigned(d.day()));
    if (lang == kReportCzech)
        return QStringLiteral("%1. %2. %3").arg(day).arg(month).arg(year);
    return QStringLiteral("%1-%2-%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

QString DateTime(const QDateTime& t, int lang)
{
    const QDate d = t.date();
    const QString day = Date(std::chrono::year_month_day{std::chrono::year{d.year()},
                                                          std::chrono::month{unsigned(d.month())},
                                                          std::chrono::day{unsigned(d.day())}},
                             lang);
    const Texts tr{lang};
    return day + tr(" v ", " at ") + t.time().toString(QStringLiteral("HH:mm"));
}

QString Degrees(double celsius, int lang)
{
    return Decimal(std::int32_t(std::lround(celsius)), 0, lang) + QStringLiteral(" °C");
}

// A setting's name as the window's label, group or check box shows it,
// without the framing spaces and the colon.
QString Name(const TLangText& text, int lang)
{
    QString name = QString::fromUtf8(text.In(lang)).trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name;
}

template <std::size_t N>
QStringList Items(const TLangText (&items)[N], int lang)
{
    QStringList out;
    for (const TLangText& item : items)
        out << QString::fromUtf8(item.In(lang));
    return out;
}

template <std::size_t N>
QStringList Items(const char* const (&items)[N])
{
    QStringList out;
    for (const char* item : items)
        out << QString::fromUtf8(item);
    return out;
}

QString Item(int item, const QStringList& items, const Texts& tr)
{
    if (item < 0 || item >= items.size())
        return tr("nevybráno", "not selected");
    return items[item];
}

// As `tq36ctl show` states it: "(unreadable: 9)".
QString Unreadable(std::int32_t raw, const Texts& tr)
{
    return QLatin1Char('(') + tr("nečitelné", "unreadable") + QStringLiteral(": ") + QString::number(raw)
           + QLatin1Char(')');
}

// The rows, each built only when its setting is there.
class RowMaker {
public:
    explicit RowMaker(int lang) : tr_{lang}, lang_(lang) {}

    template <typename T, typename Format>
    ReportRow Make(const QString& name, const std::optional<T>& value, Format format) const
    {
        if (!value)
            return {name, tr_("není v souboru", "not in the file"), true};
        return {name, format(*value), false};
    }
    ReportRow Text(const QString& name, const std::optional<std::string>& value) const
    {
        return Make(name, value, [this](const std::string& s) {
            return s.empty() ? tr_("(bez textu)", "(no text)") : QString::fromStdString(s);
        });
    }
    ReportRow YesNo(const QString& name, const std::optional<bool>& value) const
    {
        return Make(name, value, [this](bool on) { return on ? tr_("ano", "yes") : tr_("ne", "no"); });
    }
    ReportRow Choice(const QString& name, const std::optional<int>& value, const QStringList& items) const
    {
        return Make(name, value, [&](int item) { return Item(item, items, tr_); });
    }
    ReportRow Number(const QString& name, const std::optional<std::int32_t>& value, int decimals,
                     const char* unit) const
    {
        return Make(name, value, [&](std::int32_t v) {
            return Decimal(v, decimals, lang_) + QLatin1Char(' ') + QString::fromUtf8(unit);
        });
    }

    // `made` unless the converter's bytes for `key` hold no valid value:
    // then unreadable, with the number they hold.
    ReportRow Read(const ReportSettings& s, config::Key key, ReportRow made) const
    {
        if (const auto raw = s.Unreadable(key))
            return {made.name, Unreadable(*raw, tr_), false};
        return made;
    }

private:
    Texts tr_;
    int lang_;
};

bool AnyMissing(const ReportContent& c)
{
    for (const auto* rows : {&c.identity, &c.calibration, &c.settings})
        for (const ReportRow& row : *rows)
            if (row.missing)
                return true;
    return false;
}

void AddSettingsRows(ReportContent& c, const ReportSettings& s, int lang)
{
    const RowMaker row(lang);
    const QString range = Name(texts::kGroupOutRange, lang) + QStringLiteral(": ");
    using config::Key;
    c.settings = {
        row.Read(s, Key::Input, row.Choice(Name(texts::kGroupInput, lang), s.input, Items(texts::kInputItems))),
        row.Read(s, Key::ColdEndCompensation, row.YesNo(Name(texts::kColdComp, lang), s.coldComp)),
        row.Read(s, Key::SetTemperature, row.Number(Name(texts::kLabelSetTemp, lang), s.setTemp, 1, "°C")),
        row.Read(s, Key::WiringResistance, row.Number(Name(texts::kLabelResComp, lang), s.resComp, 2, "Ω")),
        row.Read(s, Key::Wiring, row.Choice(Name(texts::kDocGroupWire, lang), s.wiring, Items(texts::kWireItems, lang))),
        row.Read(s, Key::Output, row.Choice(Name(texts::kGroupOutput, lang), s.output, Items(texts::kOutputItems))),
        row.Read(s, Key::RangeBegin, row.Number(range + Name(texts::kLabelTempBegin, lang), s.rangeBegin, 0, "°C")),
        row.Read(s, Key::RangeEnd, row.Number(range + Name(texts::kLabelTempEnd, lang), s.rangeEnd, 0, "°C")),
        row.Read(s, Key::OutputLimit, row.YesNo(Name(texts::kOutLimit, lang), s.outputLimit)),
        row.Read(s, Key::InputError, row.Choice(Name(texts::kGroupInErr, lang), s.inputError, Items(texts::kInErrItems, lang))),
    };
}

bool VoltageOutput(const ReportSettings& s) { return s.output && *s.output == 0; }
bool CurrentOutput(const ReportSettings& s) { return s.output && (*s.output == 1 || *s.output == 2); }

QString LimitStatement(const ReportSettings& s, const Texts& tr)
{
    if (const auto raw = s.Unreadable(config::Key::OutputLimit))
        return tr("Omezení výstupu: ", "Output limit: ") + Unreadable(*raw, tr) + QLatin1Char('.');
    if (!s.outputLimit)
        return tr("Omezení výstupu: není v souboru.", "Output limit: not in the file.");
    const QString max = VoltageOutput(s)   ? QStringLiteral("10 V")
                        : CurrentOutput(s) ? QStringLiteral("20 mA")
                                           : tr("10 V, resp. 20 mA", "10 V or 20 mA");
    if (*s.outputLimit)
        return tr("Omezení výstupu je zapnuto: výstupní signál nepřekročí ",
                  "Output limit on: the output signal does not exceed ") + max + QLatin1Char('.');
    return tr("Omezení výstupu je vypnuto: výstupní signál není omezen na ",
              "Output limit off: the output signal is not limited to ") + max + QLatin1Char('.');
}

QString IndicationStatement(const ReportSettings& s, const Texts& tr)
{
    if (const auto raw = s.Unreadable(config::Key::InputError))
        return tr("Hlášení nekorektního vstupu: ", "Incorrect input indication: ") + Unreadable(*raw, tr) +
               QLatin1Char('.');
    if (!s.inputError)
        return tr("Hlášení nekorektního vstupu: není v souboru.",
                  "Incorrect input indication: not in the file.");
    switch (*s.inputError) {
    case 0:
        return tr("Nekorektní vstup výstup nehlásí.", "An incorrect input is not indicated at the output.");
    case 1:
        return tr("Při nekorektním vstupu výstup pulsuje (50% / 100%).",
                  "On an incorrect input the output pulsates (50% / 100%).");
    case 2:
        // The converter cannot drive 2 mA into a voltage output.
        if (VoltageOutput(s))
            return tr("Hlášení nekorektního vstupu výstupem 2 mA není u napěťového výstupu (0 - 10 V) "
                      "aktivní.",
                      "The incorrect input indication by an output of 2 mA is not active with the "
                      "voltage output (0 - 10 V).");
        if (s.output && *s.output == 1 && s.rangeBegin && s.rangeEnd && *s.rangeEnd > *s.rangeBegin) {
            // 2 mA is a tenth of 0-20 mA: a live reading gives it as well.
            const std::int32_t tenths = 10 * *s.rangeBegin + (*s.rangeEnd - *s.rangeBegin);
            const QString at = Decimal(tenths % 10 ? tenths : tenths / 10, tenths % 10 ? 1 : 0, tr.lang);
            return tr("Při nekorektním vstupu přejde výstup na 2 mA; u výstupu 0 - 20 mA však 2 mA "
                      "odpovídá i platné teplotě ",
                      "On an incorrect input the output goes to 2 mA; with the 0 - 20 mA output, "
                      "2 mA is also the signal of a valid reading of ") +
                   at + QStringLiteral(" °C.");
        }
        return tr("Při nekorektním vstupu přejde výstup na 2 mA.",
                  "On an incorrect input the output goes to 2 mA.");
    default:
        return tr("Hlášení nekorektního vstupu není zvoleno.", "No incorrect input indication is selected.");
    }
}

void AddPlot(ReportContent& c, const ReportSettings& s, int lang)
{
    const Texts tr{lang};
    const QString cannot = tr("Charakteristiku nelze zakreslit: ", "The characteristic cannot be drawn: ");
    // Nothing is drawn from bytes that hold no valid setting.
    QStringList unreadable;
    const std::pair<config::Key, QString> drawnFrom[] = {
        {config::Key::Output, tr("výstup", "output")},
        {config::Key::RangeBegin, tr("začátek rozsahu", "range begin")},
        {config::Key::RangeEnd, tr("konec rozsahu", "range end")}};
    for (const auto& [key, what] : drawnFrom)
        if (const auto raw = s.Unreadable(key))
            unreadable << what + QStringLiteral(" (%1)").arg(*raw);
    if (!unreadable.isEmpty()) {
        const QString which = unreadable.size() == 1
                                  ? unreadable[0]
                                  : unreadable.mid(0, unreadable.size() - 1).join(QStringLiteral(", ")) +
                                        tr(" a ", " and ") + unreadable.last();
        c.noPlot = cannot + (unreadable.size() == 1 ? tr("%1 převodníku je nečitelný.", "the converter's %1 is unreadable.")
                                                    : tr("%1 převodníku jsou nečitelné.", "the converter's %1 are unreadable."))
                                .arg(which);
        return;
    }
    QStringList absent;
    if (!s.output)
        absent << tr("výstup", "output");
    if (!s.rangeBegin)
        absent << tr("začátek rozsahu", "range begin");
    if (!s.rangeEnd)
        absent << tr("konec rozsahu", "range end");
    if (!absent.isEmpty()) {
        c.noPlot = cannot + tr("soubor neobsahuje ", "the file does not hold the ") +
                   absent.join(QStringLiteral(", ")) + QLatin1Char('.');
        return;
    }
    if (*s.output < 0 || *s.output > 2) {
        c.noPlot = cannot + tr("není zvolen výstup.", "no output is selected.");
        return;
    }
    if (*s.rangeEnd <= *s.rangeBegin) {
        c.noPlot = cannot +
                   tr("konec rozsahu (%1) není nad jeho začátkem (%2).",
                      "the range end (%1) is not above the range begin (%2).")
                       .arg(Degrees(*s.rangeEnd, lang), Degrees(*s.rangeBegin, lang));
        return;
    }
    struct Signal {
        double low, high, step;
        const char* unit;
    };
    static constexpr std::array<Signal, 3> kSignals{{{0, 10, 2, "V"}, {0, 20, 4, "mA"}, {4, 20, 4, "mA"}}};
    const Signal& sig = kSignals[std::size_t(*s.output)];
    ReportPlot p;
    p.begin = *s.rangeBegin;
    p.end = *s.rangeEnd;
    p.low = sig.low;
    p.high = sig.high;
    p.top = sig.high;
    p.signalStep = sig.step;
    p.unit = QString::fromUtf8(sig.unit);
    p.xTitle = tr("Teplota [°C]", "Temperature [°C]");
    p.yTitle = tr("Výstupní signál [", "Output signal [") + p.unit + QLatin1Char(']');
    const QString sep = tr("; ", ", ");
    auto point = [&](double t, double v) {
        return QLatin1Char('(') + Degrees(t, lang) + sep + Decimal(std::int32_t(v), 0, lang) +
               QLatin1Char(' ') + p.unit + QLatin1Char(')');
    };
    p.beginLabel = point(p.begin, p.low);
    p.endLabel = point(p.end, p.high);
    c.plot = p;
}

QString OutcomeText(const QString& outcome, const Texts& tr)
{
    if (outcome == QLatin1String("verified"))
        return tr("ověřeno", "verified");
    if (outcome == QLatin1String("acknowledged"))
        return tr("potvrzeno", "acknowledged");
    return tr("selhalo", "failed");
}

QString SourceText(const ReportSource& src, int lang)
{
    const Texts tr{lang};
    if (src.kind == ReportSource::Kind::Converter) {
        QString text = tr("Načteno z převodníku na portu ", "Read from the converter on port ") + src.where;
        if (src.when.isValid())
            text += tr(" dne ", " on ") + DateTime(src.when, lang);
        return text + QLatin1Char('.');
    }
    QString text = tr("Ze souboru ", "From the file ") + src.where;
    QStringList saved;
    if (src.when.isValid())
        saved << tr("uložen ", "saved on ") + DateTime(src.when, lang);
    if (!src.program.isEmpty())
        saved << tr("programem ", "by ") + src.program;
    if (!saved.isEmpty())
        text += QStringLiteral(" (") + saved.join(QLatin1Char(' ')) + QLatin1Char(')');
    return text + QLatin1Char('.');
}

} // namespace

ReportContent BuildReportContent(const ReportInput& input, int lang)
{
    const Texts tr{lang};
    const RowMaker row(lang);
    const ReportSettings& s = input.settings;
    ReportContent c;
    c.title = tr("Protokol nastavení převodníku TQ36", "TQ36 converter settings report");
    c.converterHeading = tr("Převodník", "Converter");
    c.calibrationHeading = tr("Kalibrace", "Calibration");
    c.settingsHeading = tr("Nastavení", "Settings");
    c.plotHeading = tr("Výstupní charakteristika", "Output characteristic");
    c.identity = {row.Text(Name(texts::kLabelType, lang), s.type),
                  row.Text(Name(texts::kLabelSerial, lang), s.serial),
                  row.Text(Name(texts::kLabelName, lang), s.label)};
    c.calibration = {
        row.Make(Name(texts::kLabelDate, lang), s.calibrationDate,
                 [&](const std::optional<std::chrono::year_month_day>& d) {
                     return d ? Date(*d, lang) : tr("nečitelné", "unreadable");
                 }),
        row.Text(Name(texts::kLabelPerson, lang), s.person)};
    AddSettingsRows(c, s, lang);
    if (AnyMissing(c))
        c.templateNote = tr("Soubor obsahuje jen některá nastavení; ostatní jsou označena „není v souboru“.",
                            "The file holds only some of the settings; the others are marked "
                            "“not in the file”.");
    AddPlot(c, s, lang);
    c.statements << LimitStatement(s, tr) << IndicationStatement(s, tr);
    if (c.plot)
        c.statements << tr("Charakteristika je zakreslena jen v nastaveném rozsahu; mimo něj ji nastavení "
                           "neurčují.",
                           "The characteristic is drawn within the set range only; outside it the "
                           "settings do not define the output.");
    if (input.history) {
        c.historyHeading = tr("Poslední změny", "Last changes");
        c.noChanges = tr("Historie převodníku nezaznamenala žádnou změnu.", "The converter's history records no change.");
        c.moreChanges = tr("Dalších %1 změn se na stránku nevejde.", "%1 more changes do not fit the page.");
        for (const ReportChange& ch : *input.history)
            c.changes.push_back({DateTime(ch.time.toLocalTime(), lang), ch.who, ch.key, ch.before + QStringLiteral(" → ") + ch.after,
                                 OutcomeText(ch.outcome, tr)});
    }
    c.source = SourceText(input.source, lang);
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral(LK58_VERSION);
    c.program = tr("Protokol vytvořil program LK58 ", "Report made by LK58 ") + version + QLatin1Char('.');
    return c;
}

std::vector<double> NiceTicks(double lo, double hi, int maxTicks, double minStep)
{
    if (!(hi > lo) || maxTicks < 2)
        return {};
    const double rough = (hi - lo) / (maxTicks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    step = std::max(step, minStep);
    std::vector<double> ticks;
    for (double k = std::ceil(lo / step); k * step <= hi + step * 1e-9; k += 1)
        ticks.push_back(k * step == 0 ? 0.0 : k * step); // no "-0"
    return ticks;
}

} // namespace lk58

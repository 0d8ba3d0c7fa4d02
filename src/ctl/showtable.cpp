#include "ctl/showtable.h"

#include "settings/settingnames.h"
#include "settings/textcodec.h"

#include <algorithm>
#include <array>

namespace lk58::ctl {

using config::Key;

namespace {

QString Clean(const TLangText& text, int lang)
{
    QString s = QString::fromUtf8(text.In(lang)).trimmed();
    if (s.endsWith(':'))
        s.chop(1);
    return s;
}

QString Item(const TLangText* items, int count, int index, int lang)
{
    return index >= 0 && index < count ? QString::fromUtf8(items[index].In(lang)) : QStringLiteral("?");
}

QString Decimal(std::int32_t value, int decimals, int lang)
{
    int scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    QString s = QString::number(static_cast<double>(value) / scale, 'f', decimals);
    if (lang == kCzech)
        s.replace('.', ',');
    return s;
}

} // namespace

QString PrintableText(const Bytes& bytes)
{
    // Bytes the code page leaves without a character.
    static constexpr std::array<std::uint8_t, 5> kUnassigned{0x81, 0x83, 0x88, 0x90, 0x98};
    QString s;
    for (std::uint8_t b : bytes) {
        if (b < 0x20 || b == 0x7F || std::find(kUnassigned.begin(), kUnassigned.end(), b) != kUnassigned.end())
            s += QStringLiteral("\\x") + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            s += QString::fromUtf8(DecodeText(std::span<const std::uint8_t>(&b, 1)).c_str());
    }
    return s;
}

QString SettingName(Key key, int lang)
{
    switch (key) {
    case Key::Type: return Clean(texts::kLabelType, lang);
    case Key::Serial: return Clean(texts::kLabelSerial, lang);
    case Key::Label: return Clean(texts::kLabelName, lang);
    case Key::CalibrationDate: return Clean(texts::kLabelDate, lang);
    case Key::CalibratedBy: return Clean(texts::kLabelPerson, lang);
    case Key::Input: return Clean(texts::kGroupInput, lang);
    case Key::ColdEndCompensation: return Clean(texts::kColdComp, lang);
    case Key::SetTemperature: return Clean(texts::kLabelSetTemp, lang);
    case Key::WiringResistance: return Clean(texts::kLabelResComp, lang);
    case Key::Output: return Clean(texts::kGroupOutput, lang);
    case Key::RangeBegin: return Clean(texts::kGroupOutRange, lang) + ", " + Clean(texts::kLabelTempBegin, lang);
    case Key::RangeEnd: return Clean(texts::kGroupOutRange, lang) + ", " + Clean(texts::kLabelTempEnd, lang);
    case Key::OutputLimit: return Clean(texts::kOutLimit, lang);
    case Key::InputError: return Clean(texts::kGroupInErr, lang);
    case Key::Wiring: return Clean(texts::kDocGroupWire, lang);
    }
    return {};
}

QString DisplayValue(Key key, const config::Value& value, int lang)
{
    if (const Bytes* text = std::get_if<Bytes>(&value))
        return PrintableText(*text);
    if (const auto* date = std::get_if<std::chrono::year_month_day>(&value)) {
        const int y = static_cast<int>(date->year());
        const unsigned m = static_cast<unsigned>(date->month()), d = static_cast<unsigned>(date->day());
        return lang == kCzech ? QStringLiteral("%1.%2.%3").arg(d, 2, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(y)
                              : QStringLiteral("%1-%2-%3").arg(y).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'));
    }
    const std::int32_t v = std::get<std::int32_t>(value);
    const int item = v - config::KeySetting(key).itemBase;
    const QString yes = lang == kCzech ? QStringLiteral("ano") : QStringLiteral("yes");
    const QString no = lang == kCzech ? QStringLiteral("ne") : QStringLiteral("no");
    switch (key) {
    case Key::Input:
        return item >= 0 && item < 5 ? QString::fromUtf8(texts::kInputItems[item]) : QStringLiteral("?");
    case Key::Output:
        return item >= 0 && item < 3 ? QString::fromUtf8(texts::kOutputItems[item]) : QStringLiteral("?");
    case Key::InputError: return Item(texts::kInErrItems, 3, item, lang);
    case Key::Wiring: return Item(texts::kWireItems, 2, item, lang);
    case Key::ColdEndCompensation:
    case Key::OutputLimit: return v ? yes : no;
    case Key::SetTemperature: return Decimal(v, 1, lang) + QStringLiteral(" °C");
    case Key::WiringResistance: return Decimal(v, 2, lang) + QStringLiteral(" Ω");
    case Key::RangeBegin:
    case Key::RangeEnd: return QString::number(v);
    default: return QString::number(v);
    }
}

QString ShownValue(Key key, const config::BlockReading& reading, int lang)
{
    if (reading.value)
        return DisplayValue(key, *reading.value, lang);
    if (reading.noSelection)
        return lang == kCzech ? QStringLiteral("(nevybráno)") : QStringLiteral("(not selected)");
    const QString unreadable = lang == kCzech ? QStringLiteral("nečitelné") : QStringLiteral("unreadable");
    if (!reading.raw)
        return '(' + unreadable + ')';
    return '(' + unreadable + ": " + QString::number(*reading.raw) + ')';
}

QString SettingsTable(const SettingsBlock& block, int lang)
{
    int width = 0;
    for (Key key : config::kKeys)
        width = std::max<int>(width, SettingName(key, lang).size());
    QString table;
    for (Key key : config::kKeys)
        table += (SettingName(key, lang) + ':').leftJustified(width + 2)
                 + ShownValue(key, config::ReadBlockSetting(key, block), lang) + '\n';
    return table;
}

} // namespace lk58::ctl

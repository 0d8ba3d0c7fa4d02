#include "config/values.h"

#include "settings/textcodec.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace lk58::config {
namespace {

struct KeyInfo {
    std::string_view name;
    const SettingInfo* setting;
    std::array<std::string_view, 5> choices{}; // radio items in order; empty otherwise
};

constexpr std::array<KeyInfo, kKeyCount> kKeyInfo{{
    {"type", &kType},
    {"serial", &kSerial},
    {"label", &kName},
    {"calibration_date", &kDate},
    {"calibrated_by", &kPerson},
    {"input", &kInputType, {"J", "K", "S", "B", "PT100"}},
    {"cold_end_compensation", &kColdComp},
    {"set_temperature", &kSetTemp},
    {"wiring_resistance", &kResComp},
    {"output", &kOutputType, {"0-10V", "0-20mA", "4-20mA"}},
    {"range_begin", &kRangeBegin},
    {"range_end", &kRangeEnd},
    {"output_limit", &kOutputLimit},
    {"input_error", &kInputError, {"none", "pulsation", "2mA"}},
    {"wiring", &kWiring, {"2/4-wire", "3-wire"}},
}};

const KeyInfo& Info(Key key)
{
    return kKeyInfo[static_cast<std::size_t>(key)];
}

// Bytes to which Windows-1250 assigns no character.
constexpr std::uint8_t kUnassigned[] = {0x81, 0x83, 0x88, 0x90, 0x98};

bool Unassigned(char32_t c)
{
    return std::find(std::begin(kUnassigned), std::end(kUnassigned), c) != std::end(kUnassigned);
}

std::int32_t Scale(int decimals)
{
    std::int32_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return scale;
}

// Exact decimal text of value / 10^decimals, with a point: "25.0", "-0.5".
std::string FixedText(std::int32_t value, int decimals)
{
    if (decimals == 0)
        return std::to_string(value);
    const long long scale = Scale(decimals);
    const long long magnitude = std::llabs(static_cast<long long>(value));
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%0*lld", value < 0 ? "-" : "", magnitude / scale, decimals,
                  magnitude % scale);
    return text;
}

std::string RangeText(const SettingInfo& s)
{
    return FixedText(s.minValue, s.decimals) + " to " + FixedText(s.maxValue, s.decimals);
}

std::string Allowed(Key key)
{
    const KeyInfo& info = Info(key);
    const SettingInfo& s = *info.setting;
    switch (s.kind) {
    case FieldKind::Radio: {
        std::string list;
        for (int i = 0; i < s.itemCount; ++i)
            list += std::string(i == 0 ? "" : ", ") + "\"" + std::string(info.choices[i]) + "\"";
        return "one of " + list;
    }
    case FieldKind::Check:
        return "true or false";
    case FieldKind::Integer:
        return "a whole number of °C from " + RangeText(s);
    case FieldKind::Decimal:
        return std::string("a number of ") + (key == Key::SetTemperature ? "°C" : "ohms") + " from " + RangeText(s)
            + " with at most " + std::to_string(s.decimals) + (s.decimals == 1 ? " decimal" : " decimals");
    case FieldKind::Text:
        return "a text of at most " + std::to_string(s.formChars) + " characters that Windows-1250 has"
            + (IsIdentity(key) ? ", not empty" : "");
    case FieldKind::Date:
        return "a date YYYY-MM-DD from 1997-01-01 to 2096-12-31";
    }
    return {};
}

Problem Refused(Key key, const QJsonValue& json, const std::string& detail = {}, const std::string& shown = {})
{
    return {"settings." + std::string(Info(key).name), shown.empty() ? JsonText(json) : shown,
            detail.empty() ? Allowed(key) : detail + "; " + Allowed(key)};
}

// The shortest text that reads back as `number`: "23.55", not 23.550000000000000711.
std::string ShortestText(double number)
{
    char text[64];
    const auto end = std::to_chars(std::begin(text), std::end(text), number).ptr;
    return std::string(text, end);
}

std::variant<Value, Problem> TextFromJson(Key key, const QJsonValue& json)
{
    if (!json.isString())
        return Refused(key, json);
    // Far too long: refused before each character is looked up.
    if (json.toString().size() > 4 * static_cast<qsizetype>(KeySetting(key).formChars))
        return Refused(key, json, "too long");
    QString lacking;
    const std::optional<Bytes> bytes = EncodeExact(json.toString(), &lacking);
    if (!bytes)
        return Refused(key, json, "\"" + lacking.toStdString() + "\" is not a Windows-1250 character");
    if (bytes->size() > KeySetting(key).formChars)
        return Refused(key, json, "too long");
    if (bytes->empty() && IsIdentity(key))
        return Refused(key, json, "empty: it would erase the converter's identity");
    return Value{*bytes};
}

std::variant<Value, Problem> DateFromJson(Key key, const QJsonValue& json)
{
    // Exactly YYYY-MM-DD: QDate alone would also take "2026-3-14".
    const QString text = json.toString();
    bool layout = text.size() == 10;
    for (int i = 0; layout && i < 10; ++i)
        layout = i == 4 || i == 7 ? text[i] == QLatin1Char('-') : text[i].isDigit() && text[i].unicode() < 128;
    const QDate d = QDate::fromString(text, "yyyy-MM-dd");
    if (!json.isString() || !layout || !d.isValid())
        return Refused(key, json);
    const std::chrono::year_month_day date{std::chrono::year(d.year()), std::chrono::month(unsigned(d.month())),
                                           std::chrono::day(unsigned(d.day()))};
    if (date < kFirstWritableDate || date > kLastWritableDate)
        return Refused(key, json, "its two-digit year would not read back");
    return Value{date};
}

} // namespace

int DecimalPlaces(std::string_view number)
{
    std::size_t i = number.empty() || number[0] != '-' ? 0 : 1;
    std::string digits;
    long long point = 0;
    for (; i < number.size() && std::isdigit(static_cast<unsigned char>(number[i])); ++i, ++point)
        digits += number[i];
    if (i < number.size() && number[i] == '.')
        for (++i; i < number.size() && std::isdigit(static_cast<unsigned char>(number[i])); ++i)
            digits += number[i];
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        long long exponent = 0;
        for (; i < number.size() && std::isdigit(static_cast<unsigned char>(number[i])); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000LL); // far beyond any double
        point += negative ? -exponent : exponent;
    }
    // Trailing zeros add no precision: 25.50 holds one decimal.
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    return static_cast<int>(std::clamp(static_cast<long long>(digits.size()) - point, 0LL, 1000000LL));
}

std::variant<Value, Problem> NumberFromJson(Key key, const QJsonValue& json, std::string_view text)
{
    const SettingInfo& s = KeySetting(key);
    const std::string shown(text);
    if (!json.isDouble())
        return Refused(key, json);
    const double scaled = json.toDouble() * Scale(s.decimals);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 1e9)
        return Refused(key, json, {}, shown);
    // Counted in the decimal text, never by rounding: 450.0000001 is no
    // whole number, though it lies within any tolerance of one.
    if (DecimalPlaces(text.empty() ? ShortestText(json.toDouble()) : text) > s.decimals)
        return Refused(key, json, "too many decimals", shown);
    const auto value = static_cast<std::int32_t>(std::round(scaled)); // 12.34 x 100 is 1233.9999999999998
    if (!FitsField(s, value))
        return Refused(key, json, {}, shown);
    return Value{value};
}

std::string_view KeyName(Key key)
{
    return Info(key).name;
}

std::optional<Key> KeyByName(std::string_view name)
{
    for (Key key : kKeys)
        if (Info(key).name == name)
            return key;
    return std::nullopt;
}

const SettingInfo& KeySetting(Key key)
{
    return *Info(key).setting;
}

bool IsIdentity(Key key)
{
    return key == Key::Type || key == Key::Serial;
}

std::string KeyList()
{
    std::string list;
    for (Key key : kKeys)
        list += std::string(list.empty() ? "" : ", ") + std::string(KeyName(key));
    return list;
}

std::string JsonText(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString(); // without the array's brackets
}

Problem RangeOrderProblem(std::int32_t end, std::int32_t begin, const std::string& beginSource)
{
    return {"settings.range_end", std::to_string(end), "must be above " + beginSource + " (" + std::to_string(begin) + ")"};
}

Problem PlannedRangeProblem(std::optional<std::int32_t> newBegin, std::optional<std::int32_t> newEnd,
                            std::int32_t oldBegin, std::int32_t oldEnd)
{
    if (newBegin && !newEnd)
        return {"settings.range_begin", std::to_string(*newBegin),
                "must be below the converter's range_end (" + std::to_string(oldEnd) + ")"};
    if (newEnd && !newBegin)
        return RangeOrderProblem(*newEnd, oldBegin, "the converter's range_begin");
    return RangeOrderProblem(newEnd.value_or(oldEnd), newBegin.value_or(oldBegin), "range_begin");
}

QString SavedText(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString SafeFileStem(const Bytes& serial)
{
    QString name;
    for (std::uint8_t b : serial) {
        const bool plain = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-'
            || b == '_' || b == '.';
        name += plain ? QChar(b) : QChar('_');
    }
    // Never a hidden file, never "." or "..".
    if (name.isEmpty() || name.startsWith('.'))
        name.prepend("converter");
    return name;
}

std::string DecodeExact(const Bytes& bytes)
{
    std::string out;
    Bytes run;
    auto flush = [&] {
        out += DecodeText(run);
        run.clear();
    };
    for (std::uint8_t b : bytes) {
        if (!Unassigned(b)) {
            run.push_back(b);
            continue;
        }
        flush();
        out += static_cast<char>(0xC0 | (b >> 6)); // U+0080..U+00BF in UTF-8
        out += static_cast<char>(0x80 | (b & 0x3F));
    }
    flush();
    return out;
}

std::optional<Bytes> EncodeExact(const QString& text, QString* lacking)
{
    Bytes out;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (Unassigned(c)) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        // The shared codec turns what the code page lacks into "?".
        const Bytes b = c == 0 ? Bytes{} : EncodeText(one.toStdString(), 4);
        if (b.size() != 1 || (b[0] == '?' && c != U'?')) {
            if (lacking)
                *lacking = c == 0 ? QString("\\u0000") : one;
            return std::nullopt;
        }
        out.push_back(b[0]);
    }
    return out;
}

QJsonValue ToJson(Key key, const Value& value)
{
    const KeyInfo& info = Info(key);
    const SettingInfo& s = *info.setting;
    switch (s.kind) {
    case FieldKind::Radio: {
        const int item = std::get<std::int32_t>(value) - s.itemBase;
        if (item < 0 || item >= s.itemCount)
            throw std::invalid_argument("no " + std::string(info.name) + " item for " + std::to_string(item + s.itemBase));
        return QString::fromUtf8(info.choices[item].data(), static_cast<qsizetype>(info.choices[item].size()));
    }
    case FieldKind::Check:
        return std::get<std::int32_t>(value) == 1;
    case FieldKind::Integer:
        return std::get<std::int32_t>(value);
    case FieldKind::Decimal:
        return double(std::get<std::int32_t>(value)) / Scale(s.decimals);
    case FieldKind::Text:
        return QString::fromStdString(DecodeExact(std::get<Bytes>(value)));
    case FieldKind::Date: {
        const auto& d = std::get<std::chrono::year_month_day>(value);
        return QDate(int(d.year()), int(unsigned(d.month())), int(unsigned(d.day()))).toString("yyyy-MM-dd");
    }
    }
    return {};
}

std::string ValueJsonText(Key key, const Value& value)
{
    const SettingInfo& s = KeySetting(key);
    if (s.kind == FieldKind::Decimal)
        return FixedText(std::get<std::int32_t>(value), s.decimals);
    // What Qt's writer gives for a whole number and a truth value, without
    // a document made for each: a long log prints thousands.
    if (s.kind == FieldKind::Integer)
        return std::to_string(std::get<std::int32_t>(value));
    if (s.kind == FieldKind::Check)
        return std::get<std::int32_t>(value) == 1 ? "true" : "false";
    return JsonText(ToJson(key, value));
}

std::string FormatValue(Key key, const Value& value)
{
    const QJsonValue json = ToJson(key, value);
    if (json.isString())
        return json.toString().toStdString();
    return ValueJsonText(key, value);
}

std::variant<Value, Problem> FromJson(Key key, const QJsonValue& json)
{
    const KeyInfo& info = Info(key);
    const SettingInfo& s = *info.setting;
    switch (s.kind) {
    case FieldKind::Radio:
        for (int i = 0; i < s.itemCount; ++i)
            if (json.isString() && json.toString().toStdString() == info.choices[i])
                return Value{std::int32_t{i + s.itemBase}};
        return Refused(key, json);
    case FieldKind::Check:
        if (!json.isBool())
            return Refused(key, json);
        return Value{std::int32_t{json.toBool() ? 1 : 0}};
    case FieldKind::Integer:
    case FieldKind::Decimal:
        return NumberFromJson(key, json);
    case FieldKind::Text:
        return TextFromJson(key, json);
    case FieldKind::Date:
        return DateFromJson(key, json);
    }
    return Refused(key, json);
}

std::optional<Value> BlockValue(Key key, const SettingsBlock& block)
{
    const SettingInfo& s = KeySetting(key);
    switch (s.kind) {
    case FieldKind::Radio: {
        const int byte = ChoiceByte(block, s);
        if (byte - s.itemBase < 0 || byte - s.itemBase >= s.itemCount)
            return std::nullopt;
        return Value{std::int32_t{byte}};
    }
    case FieldKind::Check: {
        const int byte = ChoiceByte(block, s);
        if (byte > 1)
            return std::nullopt;
        return Value{std::int32_t{byte}};
    }
    case FieldKind::Integer:
    case FieldKind::Decimal: {
        const std::int32_t value = DecodeNumber(block, s);
        if (!FitsField(s, value))
            return std::nullopt;
        return Value{value};
    }
    case FieldKind::Text: {
        const auto field = block.Field(s);
        Bytes text(field.begin(), std::find(field.begin(), field.end(), std::uint8_t{0}));
        // An empty identity is nothing to restore, and writing it would erase one.
        if (text.empty() && IsIdentity(key))
            return std::nullopt;
        return Value{std::move(text)};
    }
    case FieldKind::Date: {
        const DateDecode date = DecodeDateField(block);
        if (!date.date)
            return std::nullopt;
        return Value{*date.date};
    }
    }
    return std::nullopt;
}

} // namespace lk58::config

#include "settings/datecodec.h"

#include <algorithm>
#include <cstdio>

namespace lk58 {

std::optional<int> BlockInteger(std::span<const std::uint8_t> chars)
{
    std::size_t i = 0;
    while (i < chars.size() && chars[i] == ' ')
        ++i;
    bool negative = false;
    if (i < chars.size() && (chars[i] == '+' || chars[i] == '-'))
        negative = chars[i++] == '-';
    if (i == chars.size())
        return std::nullopt;
    int value = 0;
    for (; i < chars.size(); ++i) {
        if (chars[i] < '0' || chars[i] > '9' || value > 99'999'999)
            return std::nullopt;
        value = value * 10 + (chars[i] - '0');
    }
    return negative ? -value : value;
}

int FullYear(int yy)
{
    const unsigned base = yy >= 97 && yy <= 99 ? 1900u : 2000u;
    return static_cast<std::uint16_t>(static_cast<unsigned>(yy) + base);
}

namespace {

// The date of converted parts, if that day exists.
std::optional<std::chrono::year_month_day> MakeDate(int year, int month, int day)
{
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    // The picker holds only the dates whose text reads back; a signed year
    // such as "-5" (1995) would otherwise be shown as some other date.
    if (!date.ok() || date < kFirstWritableDate || date > kLastWritableDate)
        return std::nullopt;
    return date;
}

} // namespace

DateDecode DecodeDate(std::span<const std::uint8_t, 8> chars)
{
    // Offsets within the field: day 0-1; DDMMYY: month 2-3, year 4-5;
    // DD.MM.YY: month 3-4, year 6-7.
    DateDecode result;
    std::size_t monthAt = 2;
    std::optional<int> yy = BlockInteger(chars.subspan(4, 2));
    if (!yy) {
        monthAt = 3;
        yy = BlockInteger(chars.subspan(6, 2));
        if (!yy) {
            result.corruptReports = 1;
            return result;
        }
    }
    const std::optional<int> month = BlockInteger(chars.subspan(monthAt, 2));
    const std::optional<int> day = BlockInteger(chars.subspan(0, 2));
    result.corruptReports = int(!month) + int(!day);
    if (result.corruptReports > 0)
        return result;
    result.date = MakeDate(FullYear(*yy), *month, *day);
    if (!result.date)
        result.corruptReports = 1;
    return result;
}

std::string DateText(std::chrono::year_month_day date)
{
    const auto year = static_cast<std::uint16_t>(static_cast<int>(date.year()));
    const bool lastCentury = year >= 1997 && year <= 1999;
    const auto yy = static_cast<std::uint16_t>(year - (lastCentury ? 1900 : 2000));
    char text[32];
    std::snprintf(text, sizeof text, "%.2u%.2u%.2u", static_cast<unsigned>(date.day()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(yy));
    return text;
}

namespace {

// One pass over the keys from part `first`; false when keys are left over
// after the last part.
bool WalkTypedDate(std::string_view keys, int first, const std::array<std::size_t, 3>& widths,
                   TypedDate& typed)
{
    typed = TypedDate{};
    std::size_t part = static_cast<std::size_t>(first);
    bool partFilled = false;
    for (const char key : keys) {
        const bool digit = key >= '0' && key <= '9';
        if (!digit && partFilled) {
            partFilled = false;
            continue;
        }
        if (part >= typed.parts.size())
            return false;
        partFilled = false;
        if (!digit) {
            ++part;
            continue;
        }
        typed.parts[part] += key;
        if (typed.parts[part].size() >= widths[part]) {
            ++part;
            partFilled = true;
        }
    }
    typed.next = static_cast<int>(std::min(part, typed.parts.size() - 1));
    return true;
}

} // namespace

TypedDate ReadTypedDate(std::string_view keys, int first, const std::array<std::size_t, 3>& widths)
{
    TypedDate typed;
    if (!WalkTypedDate(keys, first, widths, typed) && first != 0)
        WalkTypedDate(keys, 0, widths, typed);
    return typed;
}

} // namespace lk58

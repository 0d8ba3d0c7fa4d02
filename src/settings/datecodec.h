#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lk58 {

// The converter keeps the calibration date as text in an 8-byte field:
// DDMMYY (what the program writes, followed by a zero byte) or DD.MM.YY
// with any single separator characters.

// Two (or more) characters of the block read as a whole number: optional
// leading blanks, an optional "+" or "-", then one or more decimal digits
// and nothing else. So "07", " 7" and "-1" convert; "7 ", "x7", "AB", two
// blanks and two zero bytes do not.
std::optional<int> BlockInteger(std::span<const std::uint8_t> chars);

// The year of a two-digit YY: 1900 + YY for 97 to 99, 2000 + YY for any
// other value, computed on an unsigned 16-bit year.
int FullYear(int yy);

struct DateDecode {
    // How many "date corrupt" warnings the load shows: 0, 1 or 2.
    int corruptReports = 0;
    // The date to show; present exactly when there is no report. On a
    // report the picker keeps the date it had.
    std::optional<std::chrono::year_month_day> date;
};

// Reads the date field (its 8 bytes). The first layout is taken when its
// year converts, else the second when its year does; a failed year in both
// gives one report. Then the month and the day are converted, each failure
// reported by itself; once both convert, a day that does not exist, or one
// outside kFirstWritableDate to kLastWritableDate (only a signed year can
// give one), gives one report.
DateDecode DecodeDate(std::span<const std::uint8_t, 8> chars);

// The six digits DDMMYY that the program writes for `date`: the two-digit
// year is year - 1900 for 1997 to 1999, year - 2000 otherwise (on an
// unsigned 16-bit year, so years outside 1997-2096 do not read back).
std::string DateText(std::chrono::year_month_day date);

// A date typed into the date picker as one run of keys: digits and the
// separators ".", "/", "-". The picker's three parts, in the order it shows
// them, take at most `widths` digits each. A part ends when it is full or
// at a separator; a separator right after a full part only confirms it,
// and one at an empty part skips that part. Typing begins in part `first`;
// keys past the last part begin the date again at its first part, so that
// a whole date lands whole from whichever part typing began in.
struct TypedDate {
    std::array<std::string, 3> parts; // the digits typed into each part
    int next = 0;                     // the part the next digit goes to
};
TypedDate ReadTypedDate(std::string_view keys, int first, const std::array<std::size_t, 3>& widths);

// The dates whose written text reads back as the same date.
inline constexpr std::chrono::year_month_day kFirstWritableDate{
    std::chrono::year{1997}, std::chrono::January, std::chrono::day{1}};
inline constexpr std::chrono::year_month_day kLastWritableDate{
    std::chrono::year{2096}, std::chrono::December, std::chrono::day{31}};

} // namespace lk58

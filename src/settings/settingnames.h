#pragma once

// The window's names of the converter's settings and of their choices, in
// Czech and English, as UTF-8. The window's language tables take them from
// here, and so does every other place that names a setting as the window
// does (the command line's table, the printed record), so that the names
// cannot drift apart.

namespace lk58 {

struct TLangText {
    const char* czech;
    const char* english;
    // Language 1 is English; every other index Czech.
    constexpr const char* In(int lang) const { return lang == 1 ? english : czech; }
};

namespace texts {

inline constexpr TLangText kLabelType{"Typ:", "Type:"};
inline constexpr TLangText kLabelSerial{"Výrobní číslo:", "Serial number:"};
inline constexpr TLangText kLabelName{"Označení:", "Text label"};
inline constexpr TLangText kLabelDate{"Datum:", "Date:"};
inline constexpr TLangText kLabelPerson{"Kalibroval:", "Calibr. by:"};
inline constexpr TLangText kGroupInput{" Vstup ", " Input "};
inline constexpr TLangText kGroupOutput{" Výstup ", " Output "};
inline constexpr TLangText kColdComp{"Kompenzace studeného konce", "Cold end compensation"};
inline constexpr TLangText kLabelSetTemp{"Pevně nastavená teplota:", "Fixed set temperature:"};
inline constexpr TLangText kLabelResComp{"Kompenzace odporu vedení:", "Wiring resist. compens.:"};
inline constexpr TLangText kGroupOutRange{" Výstupní rozsah ve °C ", " Output range in °C "};
inline constexpr TLangText kOutLimit{"Omezit výstup na max. 10 VDC, 20 mADC", "Limit output to max. 10 VDC, 20 mADC"};
inline constexpr TLangText kGroupWire{" Způsob Zapojení ", " Input wiring selection "};
inline constexpr TLangText kGroupInErr{" Nekorektní vstup ", " Incorrect input indication "};
inline constexpr TLangText kLabelTempBegin{"začátek:", "begin:"};
inline constexpr TLangText kLabelTempEnd{"konec:", "end:"};

// The printed record and `tq36ctl show` are documents of their own and
// spell this name correctly; the window keeps its label above as it stands.
inline constexpr TLangText kDocGroupWire{" Způsob zapojení ", " Input wiring selection "};

// Items of the choices, in the order of their values.
inline constexpr const char* kInputItems[] = {"J", "K", "S", "B", "PT100"};
inline constexpr const char* kOutputItems[] = {"0 - 10 VDC", "0 - 20 mADC", "4 - 20 mADC"};
inline constexpr TLangText kWireItems[] = {{"2 nebo 4 vodič", "2 or 4 wire"}, {"3 vodič", "3 wire"}};
inline constexpr TLangText kInErrItems[] = {
    {"bez signálu", "no indication"}, {"pulsace 50% / 100%", "pulsation 50% / 100%"}, {"výstup 2 mA", "output 2 mA"}};

} // namespace texts
} // namespace lk58

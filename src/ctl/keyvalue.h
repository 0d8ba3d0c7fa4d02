#pragma once

#include "config/settingsfile.h"

#include <QStringList>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lk58::ctl {

// One setting given on the command line as KEY=VALUE, by the settings
// file's keys and values: label="Boiler 3", range_end=450, output=4-20mA,
// cold_end_compensation=true, set_temperature=25.5, calibration_date=2026-03-14.
struct TKeyValue {
    config::Key key;
    config::Value value;
};

// Why a KEY=VALUE was refused: "range_end=10000: a whole number of °C from
// -999 to 9999".
struct TKeyValueError {
    std::string message;
};

// Parses and validates one pair as the settings form validates its field
// (UTF-8 in). Safe for any bytes.
std::variant<TKeyValue, TKeyValueError> ParseKeyValue(std::string_view pair);

// All pairs of a `set`, or every error: each pair's own, a key given twice,
// and what only the pairs together break (a range end not above its begin).
std::variant<config::Settings, std::vector<TKeyValueError>> ParseKeyValues(const QStringList& pairs);

} // namespace lk58::ctl

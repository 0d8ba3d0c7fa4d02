#pragma once

// The converter's settings as a file: the model, its reader and writer, and
// the validation that the settings form applies to the same values.
//
// A settings file is UTF-8 JSON with two-space indent:
//
//     {
//       "format": "tq36-settings",
//       "version": 1,
//       "saved": "2026-12-07T22:40:00+01:00",
//       "program": "LK58 0.2.1.7",
//       "settings": { "type": "TQ36", ..., "wiring": "3-wire" },
//       "block": "0002 0001 ... (64 words, 4 hex digits each)"
//     }
//
// `settings` holds any subset of the fifteen keys; `saved`, `program` and
// `block` are optional. `block` only records what was read: nothing is ever
// written from it.

#include "core/bytes.h"
#include "settings/parammap.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lk58::config {

inline constexpr std::string_view kFormat = "tq36-settings";
inline constexpr int kVersion = 1; // the newest version this program reads and writes

// The fifteen settings, in the order a file lists them.
enum class Key {
    Type,
    Serial,
    Label,
    CalibrationDate,
    CalibratedBy,
    Input,
    ColdEndCompensation,
    SetTemperature,
    WiringResistance,
    Output,
    RangeBegin,
    RangeEnd,
    OutputLimit,
    InputError,
    Wiring,
};
inline constexpr int kKeyCount = 15;
inline constexpr std::array<Key, kKeyCount> kKeys{
    Key::Type,        Key::Serial,     Key::Label,           Key::CalibrationDate,  Key::CalibratedBy,
    Key::Input,       Key::ColdEndCompensation, Key::SetTemperature, Key::WiringResistance, Key::Output,
    Key::RangeBegin,  Key::RangeEnd,   Key::OutputLimit,     Key::InputError,       Key::Wiring};

// The key's name in the file: "calibration_date".
std::string_view KeyName(Key key);
std::optional<Key> KeyByName(std::string_view name);
// The converter's parameter that holds the setting (number, write kind,
// place in the block, the form's limits).
const SettingInfo& KeySetting(Key key);
// Type and serial number: the converter's identity, written only when the
// user explicitly includes them.
bool IsIdentity(Key key);

// One setting's value, as the converter holds it:
// - input, output, input_error, wiring: the value on the wire (input K = 2,
//   input_error pulsation = 1); cold_end_compensation, output_limit: 0 or 1;
// - range_begin, range_end: °C; set_temperature: tenths of °C;
//   wiring_resistance: hundredths of an ohm (the values on the wire);
// - type, serial, label, calibrated_by: the converter's Windows-1250 bytes,
//   without the zero byte that ends a shorter text;
// - calibration_date: the date.
using Value = std::variant<std::int32_t, Bytes, std::chrono::year_month_day>;

// Any subset of the fifteen settings.
class Settings {
public:
    const std::optional<Value>& operator[](Key key) const { return values_[static_cast<std::size_t>(key)]; }
    std::optional<Value>& operator[](Key key) { return values_[static_cast<std::size_t>(key)]; }
    bool Has(Key key) const { return (*this)[key].has_value(); }
    int Count() const;

    bool operator==(const Settings&) const = default;

private:
    std::array<std::optional<Value>, kKeyCount> values_{};
};

// One thing wrong with a file, all of them reported at once.
struct Problem {
    std::string path;    // the key's dotted path ("settings.range_end", "version");
                         // "line:column" for a file that does not parse
    std::string value;   // the offending value as JSON text; empty if there is none
    std::string allowed; // what is allowed, or what is wrong
    // "settings.range_end = 10000: a whole number of °C from -999 to 9999"
    std::string Message() const;
    bool operator==(const Problem&) const = default;
};

struct SettingsFile {
    int version = kVersion;
    QDateTime saved;  // invalid when the file has none
    QString program;  // empty when the file has none
    Settings settings;
    std::optional<SettingsBlock> block; // the whole block as it was read
};

// The file, or every problem found in it (then `file` is empty). Rejected:
// a file that does not parse, another format, a newer version, an unknown
// key, a key given twice in one object (both lines named), a value of the
// wrong type, a number with more decimals than its field holds (counted in
// the text, never rounded), and any value the settings form would
// refuse (its masks' limits and decimals, text lengths in Windows-1250
// bytes, characters Windows-1250 lacks, dates outside 1997-01-01 to
// 2096-12-31, a range end not above its begin, an empty type or serial
// number). Safe for any bytes.
struct ReadResult {
    std::optional<SettingsFile> file;
    std::vector<Problem> problems;
};
ReadResult ReadSettingsFile(const QByteArray& bytes);

// The file's text: UTF-8 JSON, two-space indent, the keys in the file's
// order, numbers with their field's decimals (25.0, 12.34). Only the
// settings present are written; `saved`, `program` and `block` when set.
QByteArray WriteSettingsFile(const SettingsFile& file);

// Saves `file` as `path` (SaveProven): read back from disk, it must give the
// same settings and block. Returns an empty text, or why it was not saved.
QString SaveSettingsFile(const QString& path, const SettingsFile& file);
// Why a file read back from disk is not the one saved, for the messages.
QString ReadBackReason(const ReadResult& read);

// Every setting that the block holds a value for which the form could
// write back. A choice byte outside its items, a check byte other than 0
// or 1, a number its field cannot hold and a date that does not read are
// left out, and listed in `unreadable` when given.
Settings FromBlock(const SettingsBlock& block, std::vector<Key>* unreadable = nullptr);

// A file recording `block`: its settings (FromBlock) and the block itself.
SettingsFile FileFromBlock(const SettingsBlock& block, const QDateTime& saved, const QString& program);

// One value in the file's notation, and back. FromJson validates as the
// form does; its problem's path is "settings.<key>". Texts that hold bytes
// Windows-1250 assigns no character (81, 83, 88, 90, 98) carry them as the
// code points U+0081 ... U+0098, so that no byte is ever turned into "?".
QJsonValue ToJson(Key key, const Value& value);
std::variant<Value, Problem> FromJson(Key key, const QJsonValue& json);
// The value as the file shows it, as UTF-8 text without quotes: "4-20mA",
// "25.0", "true", "2026-03-14", "Boiler 2".
std::string FormatValue(Key key, const Value& value);

// True when the output range is in order: its end above its begin.
bool RangeInOrder(std::int32_t begin, std::int32_t end);

// The name proposed for saving a converter: "<serial>-<YYYY-MM-DD>.json",
// the serial number's characters other than letters, digits, "-", "_" and
// "." replaced by "_" ("converter" when it is empty).
QString ProposedFileName(const Bytes& serial, const QDate& date);

} // namespace lk58::config

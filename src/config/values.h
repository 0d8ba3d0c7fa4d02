#pragma once

// Inside the library: one setting's value between the file, the block and
// the wire.

#include "config/settingsfile.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lk58::config {

// A JSON value as Qt writes it, compact ("\"Boiler 2\"", "true", "400").
std::string JsonText(const QJsonValue& value);
// A value as the file writes it: Qt's JSON, except that numbers keep their
// field's decimals ("25.0" where Qt would write "25").
std::string ValueJsonText(Key key, const Value& value);
// "type, serial, label, ..."
std::string KeyList();
// `end` is not above `begin`, which `beginSource` names.
Problem RangeOrderProblem(std::int32_t end, std::int32_t begin, const std::string& beginSource);
// ISO 8601 with the offset from UTC: "2026-12-07T22:40:00+01:00".
QString SavedText(const QDateTime& time);

// A serial number as part of a file name: letters, digits, "-", "_" and
// "." kept, any other byte "_"; "converter" when empty.
QString SafeFileStem(const Bytes& serial);

// The decimal places that the JSON number `number` gives ("450.0000001": 7,
// "25.50": 1, "2.5e1": 0); trailing zeros do not count.
int DecimalPlaces(std::string_view number);
// A number setting, refused with more decimals than its field holds.
// `text` is the number as the file wrote it; empty: the shortest text that
// reads as the same double.
std::variant<Value, Problem> NumberFromJson(Key key, const QJsonValue& json, std::string_view text = {});

// The value the block holds for `key`, if the form could write it back.
std::optional<Value> BlockValue(Key key, const SettingsBlock& block);

// Texts: Windows-1250 bytes and UTF-8, lossless both ways. The five bytes
// the code page assigns no character travel as the code points of the same
// number (U+0081 ...). EncodeExact gives nothing when a character is not in
// Windows-1250 (or is U+0000), and names it in `lacking`.
std::string DecodeExact(const Bytes& bytes);
std::optional<Bytes> EncodeExact(const QString& text, QString* lacking = nullptr);

} // namespace lk58::config

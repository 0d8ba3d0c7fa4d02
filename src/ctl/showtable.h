#pragma once

#include "config/blockreading.h"
#include "config/settingsfile.h"

#include <QString>

namespace lk58::ctl {

// Language of the table: 0 Czech, 1 English (as the window's index).
inline constexpr int kCzech = 0;
inline constexpr int kEnglish = 1;

// The setting's name as the window shows it, without the caption's spaces
// and trailing colon: "Výrobní číslo", "Output range in °C, end".
QString SettingName(config::Key key, int lang);

// The value as the window shows it, with its unit: "4 - 20 mADC",
// "25,0 °C" (Czech) or "25.0 °C" (English), "ano"/"yes". Text bytes that
// Windows-1250 has no character for, and control bytes, show as \xNN.
QString DisplayValue(config::Key key, const config::Value& value, int lang);

// A setting of the converter's block as the window shows it; when its
// bytes hold no value the window's field could show, "(unreadable: 9)"
// with the number the converter holds, and "(not selected)" for a choice
// without an item. Never a value the bytes do not hold.
QString ShownValue(config::Key key, const config::BlockReading& reading, int lang);

// Every setting of the converter's block as a two-column table, in the
// file's key order.
QString SettingsTable(const SettingsBlock& block, int lang);

// Text bytes for a terminal: Windows-1250 as UTF-8, \xNN where there is no
// character or the byte is a control byte.
QString PrintableText(const Bytes& bytes);

} // namespace lk58::ctl

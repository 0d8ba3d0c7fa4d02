#pragma once

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

// The converter's settings as a two-column table, in the file's key order;
// keys in `unreadable` show as such.
QString SettingsTable(const config::Settings& settings, const std::vector<config::Key>& unreadable, int lang);

// Text bytes for a terminal: Windows-1250 as UTF-8, \xNN where there is no
// character or the byte is a control byte.
QString PrintableText(const Bytes& bytes);

} // namespace lk58::ctl

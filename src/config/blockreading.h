#pragma once

#include "config/settingsfile.h"

#include <cstdint>
#include <optional>

namespace lk58::config {

// One setting of a converter's block as a document states it (`tq36ctl
// show`, the settings report): never a value the bytes do not hold.
struct BlockReading {
    // What the converter holds, when the window's field could show it. A
    // text is always there, an empty one too.
    std::optional<Value> value;
    // Otherwise the number behind it: the byte of a choice or check, the
    // wire value of a number; none for a date that does not read.
    std::optional<std::int32_t> raw;
    // A choice with no item selected (byte 0 of a choice counted from 1):
    // the window shows no selection, which no file can write. `raw` holds
    // the byte.
    bool noSelection = false;
};

// A choice byte outside its items, a check byte other than 0 or 1, a
// number its field cannot hold and a date that does not read have no value.
BlockReading ReadBlockSetting(Key key, const SettingsBlock& block);

} // namespace lk58::config

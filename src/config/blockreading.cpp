#include "config/blockreading.h"

#include "config/values.h"

#include <algorithm>

namespace lk58::config {

BlockReading ReadBlockSetting(Key key, const SettingsBlock& block)
{
    const SettingInfo& s = KeySetting(key);
    BlockReading r;
    if (s.kind == FieldKind::Text) {
        const auto field = block.Field(s);
        r.value = Value{Bytes(field.begin(), std::find(field.begin(), field.end(), std::uint8_t{0}))};
        return r;
    }
    r.value = BlockValue(key, block);
    if (r.value)
        return r;
    switch (s.kind) {
    case FieldKind::Radio:
        r.raw = ChoiceByte(block, s);
        r.noSelection = *r.raw == s.itemBase - 1;
        break;
    case FieldKind::Check:
        r.raw = ChoiceByte(block, s);
        break;
    case FieldKind::Integer:
    case FieldKind::Decimal:
        r.raw = DecodeNumber(block, s);
        break;
    default:
        break;
    }
    return r;
}

} // namespace lk58::config

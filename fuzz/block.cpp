// Block decoding and the display formats: a settings block as the converter
// may hold it, decoded as the load does, and every number, date and text
// shown from it read back as the form would write it.
//
// The input's first 128 bytes are the block (zeros where it is shorter);
// what follows is a 32-bit value and a text for the number formats and the
// text encoder. The whole input is also offered as a read-all reply.

#include "fuzzcommon.h"

#include "settings/parammap.h"

#include <stdexcept>
#include <string>

namespace lk58::fuzz {

namespace {

bool WellFormedUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > s.size() || (n == 2 && b < 0xC2))
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// Windows-1250 leaves these bytes without a character.
bool Unassigned(std::uint8_t b)
{
    return b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98;
}

void CheckText(const SettingsBlock& block, const SettingInfo& setting)
{
    const std::string shown = DecodeTextField(block, setting);
    FUZZ_CHECK(WellFormedUtf8(shown));
    // Written back unchanged, the text gives the converter its own bytes
    // again, up to the first zero; only a byte without a character is lost.
    Bytes expected;
    for (std::uint8_t b : block.Field(setting)) {
        if (b == 0)
            break;
        expected.push_back(Unassigned(b) ? '?' : b);
    }
    FUZZ_CHECK(EncodeText(shown, setting.width) == expected);
}

std::size_t MaskWidth(const SettingInfo& setting)
{
    return setting.kind == FieldKind::Integer ? 4 : 4 + static_cast<std::size_t>(setting.decimals);
}

void CheckNumber(const SettingInfo& setting, std::int32_t value, const std::string& shown)
{
    FUZZ_CHECK(shown == FormatNumberField(setting, value));
    // Whatever the field can hold reads back as the value the converter has,
    // so that Enter on an untouched field writes the same value again.
    if (!FitsField(setting, value))
        return;
    FUZZ_CHECK(shown.size() <= MaskWidth(setting));
    FUZZ_CHECK(ReadNumberField(setting, shown) == value);
}

void CheckDate(const DateDecode& date)
{
    FUZZ_CHECK(date.corruptReports >= 0 && date.corruptReports <= 2);
    FUZZ_CHECK(date.date.has_value() == (date.corruptReports == 0));
    if (!date.date)
        return;
    FUZZ_CHECK(*date.date >= kFirstWritableDate && *date.date <= kLastWritableDate);
    const std::string text = DateText(*date.date);
    FUZZ_CHECK(text.size() == 6);
    std::array<std::uint8_t, 8> field{};
    std::copy(text.begin(), text.end(), field.begin());
    const DateDecode again = DecodeDate(field);
    FUZZ_CHECK(again.corruptReports == 0 && again.date == date.date);
}

void CheckBlock(const SettingsBlock& block)
{
    const LoadedSettings s = DecodeSettings(block);
    for (const SettingInfo* text : {&kType, &kSerial, &kName, &kPerson})
        CheckText(block, *text);
    FUZZ_CHECK(s.inputItem >= -1 && s.inputItem < kInputType.itemCount);
    FUZZ_CHECK(s.inputErrorItem >= -1 && s.inputErrorItem < kInputError.itemCount);
    FUZZ_CHECK(s.outputItem >= -1 && s.outputItem < kOutputType.itemCount);
    FUZZ_CHECK(s.wiringItem >= -1 && s.wiringItem < kWiring.itemCount);
    CheckNumber(kRangeBegin, s.rangeBegin, s.rangeBeginText);
    CheckNumber(kRangeEnd, s.rangeEnd, s.rangeEndText);
    CheckNumber(kSetTemp, s.setTemp, s.setTempText);
    CheckNumber(kResComp, s.resComp, s.resCompText);
    CheckDate(s.date);
}

// Any 32-bit value, in every format, reads back as itself.
void CheckFormats(std::int32_t value)
{
    FUZZ_CHECK(ReadIntegerField(FormatRangeBegin(value)) == value);
    FUZZ_CHECK(ReadIntegerField(FormatRangeEnd(value)) == value);
    for (int decimals = 0; decimals <= 2; ++decimals) {
        const std::string text = FormatDecimal(value, decimals, 4 + decimals);
        FUZZ_CHECK(text.size() >= static_cast<std::size_t>(4 + decimals));
        FUZZ_CHECK(ReadDecimalField(text, decimals) == value);
    }
}

// Text as a user may type it into a field.
void CheckTyped(std::span<const std::uint8_t> bytes)
{
    const TExactCopy copy(bytes);
    const std::string_view text(reinterpret_cast<const char*>(copy.Span().data()), copy.Span().size());
    for (int decimals = 0; decimals <= 2; ++decimals) {
        const auto value = ReadDecimalField(text, decimals);
        if (value)
            FUZZ_CHECK(ReadDecimalField(FormatDecimal(*value, decimals, 0), decimals) == value);
    }
    for (const SettingInfo* setting : {&kType, &kName, &kPerson}) {
        const Bytes encoded = EncodeTextField(*setting, text);
        FUZZ_CHECK(encoded.size() <= setting->formChars);
        FUZZ_CHECK(WellFormedUtf8(DecodeText(encoded)));
    }
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    try {
        const SettingsBlock reply = SettingsBlock::FromReply(data);
        FUZZ_CHECK(data.size() == kReadAllReplySize);
        FUZZ_CHECK(std::equal(reply.Data().begin(), reply.Data().end(), data.begin() + 1));
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(data.size() != kReadAllReplySize);
    }

    TInput in(data);
    std::array<std::uint8_t, kSettingsBlockSize> bytes{};
    const auto blockBytes = in.Take(kSettingsBlockSize);
    std::copy(blockBytes.begin(), blockBytes.end(), bytes.begin());
    CheckBlock(SettingsBlock(bytes));

    std::uint32_t value = 0;
    for (std::uint8_t b : in.Take(4))
        value = value << 8 | b;
    CheckFormats(static_cast<std::int32_t>(value));
    CheckTyped(in.Rest());
}

} // namespace lk58::fuzz

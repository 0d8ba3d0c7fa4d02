#include "settings/parammap.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace lk58 {

SettingsBlock::SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize> bytes)
{
    std::copy(bytes.begin(), bytes.end(), bytes_.begin());
}

SettingsBlock SettingsBlock::FromReply(std::span<const std::uint8_t> reply)
{
    if (reply.size() != kReadAllReplySize)
        throw std::invalid_argument("a read-all reply has " + std::to_string(kReadAllReplySize) +
                                    " bytes, not " + std::to_string(reply.size()));
    return SettingsBlock(reply.subspan<1, kSettingsBlockSize>());
}

Bytes SettingsBlock::Reply() const
{
    return ReadAllReply(bytes_);
}

namespace {
std::size_t WordIndex(int n)
{
    if (n < 1 || n > SettingsBlock::kWordCount)
        throw std::out_of_range("no settings word " + std::to_string(n));
    return 2 * static_cast<std::size_t>(n - 1);
}
} // namespace

std::uint16_t SettingsBlock::Word(int n) const
{
    const std::size_t i = WordIndex(n);
    return static_cast<std::uint16_t>((bytes_[i] << 8) | bytes_[i + 1]);
}

void SettingsBlock::SetWord(int n, std::uint16_t value)
{
    const std::size_t i = WordIndex(n);
    bytes_[i] = static_cast<std::uint8_t>(value >> 8);
    bytes_[i + 1] = static_cast<std::uint8_t>(value);
}

std::int32_t SettingsBlock::Long(int n) const
{
    const std::uint32_t high = Word(n);
    return static_cast<std::int32_t>((high << 16) | Word(n + 1));
}

void SettingsBlock::SetLong(int n, std::int32_t value)
{
    WordIndex(n + 1); // both words must exist before either changes
    const auto u = static_cast<std::uint32_t>(value);
    SetWord(n, static_cast<std::uint16_t>(u >> 16));
    SetWord(n + 1, static_cast<std::uint16_t>(u));
}

void SettingsBlock::SetWords(int first, std::span<const std::uint16_t> words)
{
    if (words.empty())
        return;
    WordIndex(first);
    WordIndex(first + static_cast<int>(words.size()) - 1);
    for (std::size_t k = 0; k < words.size(); ++k)
        SetWord(first + static_cast<int>(k), words[k]);
}

std::uint8_t SettingsBlock::At(std::size_t replyOffset) const
{
    if (replyOffset < 1 || replyOffset > kSettingsBlockSize)
        throw std::out_of_range("reply offset " + std::to_string(replyOffset) + " is not in the block");
    return bytes_[replyOffset - 1];
}

std::span<const std::uint8_t> SettingsBlock::Field(const SettingInfo& setting) const
{
    At(setting.offset);
    At(setting.offset + setting.width - 1);
    return std::span<const std::uint8_t>(bytes_).subspan(setting.offset - 1, setting.width);
}

void StoreValue(SettingsBlock& block, const SettingInfo& setting, std::int32_t value)
{
    if (setting.write == WriteKind::Long32)
        block.SetLong(setting.number, value);
    else
        block.SetWord(setting.number, static_cast<std::uint16_t>(static_cast<std::uint32_t>(value)));
}

void StoreText(SettingsBlock& block, const SettingInfo& setting, std::span<const std::uint8_t> text)
{
    block.SetWords(setting.number, TextWords(text, setting.words));
}

std::string DecodeTextField(const SettingsBlock& block, const SettingInfo& setting)
{
    return DecodeText(block.Field(setting));
}

Bytes TextFieldWords(const SettingsBlock& block, const SettingInfo& setting)
{
    Bytes bytes;
    for (int n = setting.number; n < setting.number + setting.words; ++n) {
        const std::uint16_t word = block.Word(n);
        bytes.push_back(std::uint8_t(word >> 8));
        bytes.push_back(std::uint8_t(word & 0xFF));
    }
    return bytes;
}

std::uint8_t ChoiceByte(const SettingsBlock& block, const SettingInfo& setting)
{
    return block.At(setting.offset);
}

int ClampRadioItem(int item, int count)
{
    if (item < -1)
        return -1;
    if (item >= count)
        return count - 1;
    return item;
}

int DecodeRadioItem(const SettingsBlock& block, const SettingInfo& setting)
{
    return ClampRadioItem(ChoiceByte(block, setting) - setting.itemBase, setting.itemCount);
}

bool DecodeCheck(const SettingsBlock& block, const SettingInfo& setting)
{
    return ChoiceByte(block, setting) == 1;
}

std::int32_t DecodeNumber(const SettingsBlock& block, const SettingInfo& setting)
{
    if (setting.write == WriteKind::Long32)
        return block.Long(setting.number);
    return static_cast<std::int16_t>(block.Word(setting.number));
}

DateDecode DecodeDateField(const SettingsBlock& block)
{
    return DecodeDate(block.Field(kDate).first<8>());
}

namespace {
std::string Printf(const char* format, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
} // namespace

std::string FormatRangeBegin(std::int32_t value)
{
    return Printf(value > 0 ? "%.4lld" : "%.3lld", value);
}

std::string FormatRangeEnd(std::int32_t value)
{
    return Printf(value >= 0 ? "%.4lld" : "%.3lld", value);
}

std::string FormatDecimal(std::int32_t value, int decimals, int width)
{
    // Integer arithmetic: exact, and the comma is not the locale's to choose.
    long long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
    std::string text = Printf(value < 0 ? "-%lld" : "%lld", magnitude / scale);
    if (decimals > 0) {
        std::string fraction = std::to_string(magnitude % scale);
        text += ',' + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
    }
    // A sign must stay in the field's first position: "%5.1f" would give
    // " -0,5", which the mask cannot hold. Negatives are padded with zeros
    // after the sign instead ("-00,5"), positives with leading blanks.
    if (text.size() < static_cast<std::size_t>(width))
        text.insert(value < 0 ? 1 : 0, static_cast<std::size_t>(width) - text.size(), value < 0 ? '0' : ' ');
    return text;
}

std::string FormatNumberField(const SettingInfo& setting, std::int32_t value)
{
    if (setting.number == kRangeBegin.number)
        return FormatRangeBegin(value);
    if (setting.kind == FieldKind::Integer)
        return FormatRangeEnd(value);
    // One position for a sign or digit, two digits, the comma, the decimals.
    return FormatDecimal(value, setting.decimals, 4 + setting.decimals);
}

bool FitsField(const SettingInfo& setting, std::int32_t value)
{
    return value >= setting.minValue && value <= setting.maxValue;
}

LoadedSettings DecodeSettings(const SettingsBlock& block)
{
    LoadedSettings s;
    s.type = DecodeTextField(block, kType);
    s.serial = DecodeTextField(block, kSerial);
    s.name = DecodeTextField(block, kName);
    s.date = DecodeDateField(block);
    s.person = DecodeTextField(block, kPerson);
    s.inputItem = DecodeRadioItem(block, kInputType);
    s.outputLimit = DecodeCheck(block, kOutputLimit);
    s.inputErrorItem = DecodeRadioItem(block, kInputError);
    s.coldComp = DecodeCheck(block, kColdComp);
    s.outputItem = DecodeRadioItem(block, kOutputType);
    s.wiringItem = DecodeRadioItem(block, kWiring);
    s.rangeBegin = DecodeNumber(block, kRangeBegin);
    s.rangeEnd = DecodeNumber(block, kRangeEnd);
    s.setTemp = DecodeNumber(block, kSetTemp);
    s.resComp = DecodeNumber(block, kResComp);
    s.rangeBeginText = FormatNumberField(kRangeBegin, s.rangeBegin);
    s.rangeEndText = FormatNumberField(kRangeEnd, s.rangeEnd);
    s.setTempText = FormatNumberField(kSetTemp, s.setTemp);
    s.resCompText = FormatNumberField(kResComp, s.resComp);
    return s;
}

std::int32_t RadioValue(const SettingInfo& setting, int item)
{
    return item + setting.itemBase;
}

std::int32_t CheckValue(bool checked)
{
    return checked ? 1 : 0;
}

std::string BlanksToZeros(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c == ' ')
            c = '0';
    return out;
}

std::optional<std::int32_t> ReadDecimalField(std::string_view text, int decimals)
{
    const std::string s = BlanksToZeros(text);
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+'))
        ++i;
    long long scaled = 0; // the number x 10^decimals, truncated
    int digits = 0, fractionDigits = 0;
    bool comma = false, roundUp = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ',' && !comma && decimals > 0) {
            comma = true;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        ++digits;
        if (comma && fractionDigits >= decimals) {
            // Only the first digit beyond the scale decides the rounding.
            roundUp = roundUp || (fractionDigits == decimals && c >= '5');
            ++fractionDigits;
            continue;
        }
        fractionDigits += comma ? 1 : 0;
        scaled = scaled * 10 + (c - '0');
        if (scaled > 10'000'000'000LL)
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    for (int k = comma ? std::min(fractionDigits, decimals) : 0; k < decimals; ++k)
        scaled *= 10;
    scaled += roundUp ? 1 : 0;
    if (negative)
        scaled = -scaled;
    if (scaled < INT32_MIN || scaled > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(scaled);
}

std::optional<std::int32_t> ReadIntegerField(std::string_view text)
{
    return ReadDecimalField(text, 0);
}

std::optional<std::int32_t> ReadNumberField(const SettingInfo& setting, std::string_view text)
{
    return ReadDecimalField(text, setting.kind == FieldKind::Decimal ? setting.decimals : 0);
}

Bytes EncodeTextField(const SettingInfo& setting, std::string_view utf8)
{
    return EncodeText(utf8, setting.formChars);
}

Bytes EncodeDateField(std::chrono::year_month_day date)
{
    const std::string text = DateText(date);
    Bytes bytes(text.begin(), text.end());
    if (bytes.size() > 2u * kDate.words)
        bytes.resize(2u * kDate.words);
    return bytes;
}

} // namespace lk58

#pragma once

#include "link/frame.h"
#include "core/bytes.h"
#include "settings/datecodec.h"
#include "settings/textcodec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lk58 {

// How a setting is written: one 16-bit write (SendInt), one 32-bit write
// (SendLong), or a text as consecutive 16-bit words (SendString).
enum class WriteKind { Int16, Long32, Text };

// The kind of form field that shows a setting.
enum class FieldKind { Radio, Check, Integer, Decimal, Text, Date };

struct SettingInfo {
    const char* field;         // the form field's name
    std::int32_t number;       // parameter number; the first one of a text
    WriteKind write;
    FieldKind kind;
    std::uint8_t words;        // 16-bit words the setting takes in the block
    std::size_t offset;        // first read-all reply offset that the load reads
    std::size_t width;         // bytes the load reads from there
    int itemBase = 0;          // radio: value on the wire = item + itemBase
    int itemCount = 0;         // radio: number of items
    std::size_t formChars = 0; // text: characters the form lets the user enter
    int decimals = 0;          // decimal field: the wire value is the number x 10^decimals
    std::int32_t minValue = 0; // masked field: the wire values that its mask admits
    std::int32_t maxValue = 0;
};

// The converter's settings. Choice settings are read from the low byte of
// their word only; the high byte is written as 0.
inline constexpr SettingInfo kInputType{.field = "RdGrpInput", .number = 1, .write = WriteKind::Int16,
    .kind = FieldKind::Radio, .words = 1, .offset = 2, .width = 1, .itemBase = 1, .itemCount = 5};
inline constexpr SettingInfo kOutputLimit{.field = "ChckBxOutLimit", .number = 2, .write = WriteKind::Int16,
    .kind = FieldKind::Check, .words = 1, .offset = 4, .width = 1};
inline constexpr SettingInfo kInputError{.field = "RdGrpInErr", .number = 3, .write = WriteKind::Int16,
    .kind = FieldKind::Radio, .words = 1, .offset = 6, .width = 1, .itemBase = 0, .itemCount = 3};
inline constexpr SettingInfo kColdComp{.field = "ChckBxColdComp", .number = 4, .write = WriteKind::Int16,
    .kind = FieldKind::Check, .words = 1, .offset = 8, .width = 1};
inline constexpr SettingInfo kOutputType{.field = "RdGrpOutput", .number = 5, .write = WriteKind::Int16,
    .kind = FieldKind::Radio, .words = 1, .offset = 10, .width = 1, .itemBase = 1, .itemCount = 3};
inline constexpr SettingInfo kRangeBegin{.field = "MskEdtTempBegin", .number = 20, .write = WriteKind::Int16,
    .kind = FieldKind::Integer, .words = 1, .offset = 39, .width = 2, .minValue = -999, .maxValue = 9999};
inline constexpr SettingInfo kRangeEnd{.field = "MskEdtTempEnd", .number = 21, .write = WriteKind::Int16,
    .kind = FieldKind::Integer, .words = 1, .offset = 41, .width = 2, .minValue = -999, .maxValue = 9999};
inline constexpr SettingInfo kType{.field = "EdtType", .number = 22, .write = WriteKind::Text,
    .kind = FieldKind::Text, .words = 4, .offset = 43, .width = 8, .formChars = 8};
inline constexpr SettingInfo kSerial{.field = "EdtSerial", .number = 26, .write = WriteKind::Text,
    .kind = FieldKind::Text, .words = 4, .offset = 51, .width = 8, .formChars = 8};
inline constexpr SettingInfo kName{.field = "EdtName", .number = 30, .write = WriteKind::Text,
    .kind = FieldKind::Text, .words = 5, .offset = 59, .width = 10, .formChars = 10};
inline constexpr SettingInfo kDate{.field = "DtTmPckr", .number = 35, .write = WriteKind::Text,
    .kind = FieldKind::Date, .words = 4, .offset = 69, .width = 8, .formChars = 6};
// 16 bytes on the wire, but the form and the load use only 15.
inline constexpr SettingInfo kPerson{.field = "EdtPerson", .number = 39, .write = WriteKind::Text,
    .kind = FieldKind::Text, .words = 8, .offset = 77, .width = 15, .formChars = 15};
inline constexpr SettingInfo kWiring{.field = "RdGrpWire", .number = 61, .write = WriteKind::Int16,
    .kind = FieldKind::Radio, .words = 1, .offset = 122, .width = 1, .itemBase = 1, .itemCount = 2};
inline constexpr SettingInfo kSetTemp{.field = "MskEdtSetTemp", .number = 62, .write = WriteKind::Int16,
    .kind = FieldKind::Decimal, .words = 1, .offset = 123, .width = 2, .decimals = 1,
    .minValue = -999, .maxValue = 9999};
inline constexpr SettingInfo kResComp{.field = "MskEdtResComp", .number = 63, .write = WriteKind::Long32,
    .kind = FieldKind::Decimal, .words = 2, .offset = 125, .width = 4, .decimals = 2,
    .minValue = -9999, .maxValue = 99999};

inline constexpr std::array kSettings{kInputType, kOutputLimit, kInputError, kColdComp, kOutputType,
                                      kRangeBegin, kRangeEnd,  kType,       kSerial,    kName,
                                      kDate,       kPerson,    kWiring,     kSetTemp,   kResComp};

// The converter's 64 settings words; word n (1 to 64) lies big-endian at
// read-all reply offsets 2n - 1 and 2n. A new block is all zero.
class SettingsBlock {
public:
    static constexpr int kWordCount = 64;

    SettingsBlock() = default;
    explicit SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize> bytes);
    // The block inside a read-all reply (131 bytes; tag and check bytes are
    // not examined). Throws std::invalid_argument for any other length.
    static SettingsBlock FromReply(std::span<const std::uint8_t> reply);

    // The read-all reply that carries this block, check bytes included.
    Bytes Reply() const;
    std::span<const std::uint8_t, kSettingsBlockSize> Data() const { return bytes_; }

    // Word n, 1 to 64; other numbers throw std::out_of_range.
    std::uint16_t Word(int n) const;
    void SetWord(int n, std::uint16_t value);
    // Words n and n + 1 as one 32-bit two's-complement value, high word first.
    std::int32_t Long(int n) const;
    void SetLong(int n, std::int32_t value);
    // Consecutive words from `first`, as a text write stores them.
    void SetWords(int first, std::span<const std::uint16_t> words);

    // The byte at read-all reply offset 1 to 128; throws std::out_of_range.
    std::uint8_t At(std::size_t replyOffset) const;
    // The bytes that the load reads for `setting`.
    std::span<const std::uint8_t> Field(const SettingInfo& setting) const;

    bool operator==(const SettingsBlock&) const = default;

private:
    std::array<std::uint8_t, kSettingsBlockSize> bytes_{};
};

// Storing values as the converter does when it accepts the writes: a 16-bit
// write keeps the low 16 bits, a 32-bit write takes two words, a text its
// words (cut by TextWords). Handy for building blocks (simulator, tests).
void StoreValue(SettingsBlock& block, const SettingInfo& setting, std::int32_t value);
void StoreText(SettingsBlock& block, const SettingInfo& setting, std::span<const std::uint8_t> text);

// Decoding a loaded block.

// A text field up to its first zero byte, as UTF-8.
std::string DecodeTextField(const SettingsBlock& block, const SettingInfo& setting);
// The bytes of the words that a text setting's write covers, as the block
// holds them: written back, they change nothing in the converter.
Bytes TextFieldWords(const SettingsBlock& block, const SettingInfo& setting);
// The low byte of a choice setting's word.
std::uint8_t ChoiceByte(const SettingsBlock& block, const SettingInfo& setting);
// The radio item to select: byte - itemBase, clamped as ClampRadioItem does.
int DecodeRadioItem(const SettingsBlock& block, const SettingInfo& setting);
// Checked exactly when the byte is 1.
bool DecodeCheck(const SettingsBlock& block, const SettingInfo& setting);
// A number field's wire value: signed 16 bits (range begin and end, set
// temperature: a negative value reads back as written), signed 32 bits
// (resistance compensation).
std::int32_t DecodeNumber(const SettingsBlock& block, const SettingInfo& setting);
// The date field; see DecodeDate.
DateDecode DecodeDateField(const SettingsBlock& block);

// A radio group given item `item`: below -1 means no selection (-1), at or
// above `count` its last item.
int ClampRadioItem(int item, int count);

// Display texts of the number fields, with a comma whatever the locale.
// Range begin: "%.4d" above 0, else "%.3d" (0 -> "000", -5 -> "-005").
std::string FormatRangeBegin(std::int32_t value);
// Range end: "%.4d" (0 -> "0000"); a negative value "%.3d" (-100 -> "-100")
// so that it fits the field's four positions.
std::string FormatRangeEnd(std::int32_t value);
// value / 10^decimals with `decimals` digits after the comma, padded to
// `width` with leading blanks: (250, 1, 5) -> " 25,0", (1234, 2, 6) ->
// " 12,34"; a negative value with zeros after its sign, which must stay in
// the first position: (-5, 1, 5) -> "-00,5".
std::string FormatDecimal(std::int32_t value, int decimals, int width);
// The text that the load gives a number field (range begin or end, set
// temperature "%5.1f", resistance compensation "%6.2f").
std::string FormatNumberField(const SettingInfo& setting, std::int32_t value);
// True when the field's mask can hold the value's text.
bool FitsField(const SettingInfo& setting, std::int32_t value);

// Everything a load puts into the form.
struct LoadedSettings {
    std::string type, serial, name, person; // UTF-8
    DateDecode date;
    int inputItem = -1, inputErrorItem = -1, outputItem = -1, wiringItem = -1;
    bool outputLimit = false, coldComp = false;
    std::int32_t rangeBegin = 0, rangeEnd = 0, setTemp = 0, resComp = 0; // wire values
    std::string rangeBeginText, rangeEndText, setTempText, resCompText;
};
LoadedSettings DecodeSettings(const SettingsBlock& block);

// Encoding a field for writing.

// The value a radio item writes: item + itemBase. No selection (-1) is
// never written.
std::int32_t RadioValue(const SettingInfo& setting, int item);
// 1 when checked, else 0.
std::int32_t CheckValue(bool checked);
// A masked field's text with every blank turned into "0", the way the
// field shows its empty positions.
std::string BlanksToZeros(std::string_view text);
// A range field's text (blanks count as 0) as an integer: an optional sign,
// then digits. Nothing when the text holds anything else.
std::optional<std::int32_t> ReadIntegerField(std::string_view text);
// A decimal field's text (blanks count as 0) with the fixed comma, as the
// number x 10^decimals rounded to the nearest integer (halves away from
// zero). Nothing when the text does not convert or does not fit 32 bits.
std::optional<std::int32_t> ReadDecimalField(std::string_view text, int decimals);
// The wire value of a range or decimal field's text.
std::optional<std::int32_t> ReadNumberField(const SettingInfo& setting, std::string_view text);
// A text field's bytes to write: Windows-1250, cut to formChars bytes.
Bytes EncodeTextField(const SettingInfo& setting, std::string_view utf8);
// The date field's bytes to write: the six digits of DateText.
Bytes EncodeDateField(std::chrono::year_month_day date);

} // namespace lk58

#include "config/settingsfile.h"

#include "config/diskfile.h"
#include "config/jsontext.h"
#include "config/values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace lk58::config {

int Settings::Count() const
{
    return static_cast<int>(std::count_if(values_.begin(), values_.end(), [](const auto& v) { return v.has_value(); }));
}

std::string Problem::Message() const
{
    std::string text = path;
    if (!value.empty())
        text += " = " + value;
    return text.empty() ? allowed : text + ": " + allowed;
}

namespace {

constexpr const char* kTopKeys[] = {"format", "version", "saved", "program", "settings", "block"};

Problem Missing(const char* key, const std::string& allowed)
{
    return {key, "", "missing; " + allowed};
}

// Where a parse error lies, as line:column (both from 1, columns in
// characters), from Qt's offset into the bytes.
std::string LineColumn(const QByteArray& bytes, int offset)
{
    offset = std::clamp(offset, 0, static_cast<int>(bytes.size()));
    int line = 1, column = 1;
    for (int i = 0; i < offset; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\n') {
            ++line;
            column = 1;
        } else if ((b & 0xC0) != 0x80) { // continuation bytes belong to the character before
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

std::optional<SettingsBlock> ReadBlockText(const QString& text)
{
    // 64 words of 4 hex digits, one space between them.
    constexpr int kLength = SettingsBlock::kWordCount * 5 - 1;
    if (text.size() != kLength)
        return std::nullopt;
    SettingsBlock block;
    for (int n = 1; n <= SettingsBlock::kWordCount; ++n) {
        const int at = (n - 1) * 5;
        if (at + 4 < kLength && text[at + 4] != QLatin1Char(' '))
            return std::nullopt;
        const QString word = text.mid(at, 4);
        bool ok = false;
        const uint value = word.toUInt(&ok, 16);
        // toUInt alone would take "+1F" or " 1F" too.
        if (!ok || !std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 128 && std::isxdigit(c.unicode()); }))
            return std::nullopt;
        block.SetWord(n, static_cast<std::uint16_t>(value));
    }
    return block;
}

QString BlockText(const SettingsBlock& block)
{
    QStringList words;
    for (int n = 1; n <= SettingsBlock::kWordCount; ++n)
        words << QString("%1").arg(block.Word(n), 4, 16, QLatin1Char('0')).toUpper();
    return words.join(' ');
}

// `numbers`: the settings' numbers as the text wrote them.
void ReadSettings(const QJsonValue& json, const std::map<std::string, std::string>& numbers, Settings& settings,
                  std::vector<Problem>& problems)
{
    if (!json.isObject()) {
        problems.push_back({"settings", JsonText(json), "an object of settings"});
        return;
    }
    const QJsonObject object = json.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string name = it.key().toStdString();
        const std::optional<Key> key = KeyByName(name);
        if (!key) {
            problems.push_back({"settings." + name, "", "not a setting of the TQ36; the settings are " + KeyList()});
            continue;
        }
        const auto number = numbers.find(name);
        const FieldKind kind = KeySetting(*key).kind;
        const bool numeric = (kind == FieldKind::Integer || kind == FieldKind::Decimal) && it.value().isDouble();
        auto value = numeric && number != numbers.end() ? NumberFromJson(*key, it.value(), number->second)
                                                        : FromJson(*key, it.value());
        if (auto* problem = std::get_if<Problem>(&value))
            problems.push_back(std::move(*problem));
        else
            settings[*key] = std::get<Value>(std::move(value));
    }
    const auto& begin = settings[Key::RangeBegin];
    const auto& end = settings[Key::RangeEnd];
    if (begin && end && !RangeInOrder(std::get<std::int32_t>(*begin), std::get<std::int32_t>(*end)))
        problems.push_back(RangeOrderProblem(std::get<std::int32_t>(*end), std::get<std::int32_t>(*begin), "range_begin"));
}

// Format and version first: a file of another kind, or of a newer version,
// is not read any further.
bool ReadHeader(const QJsonObject& top, SettingsFile& file, std::vector<Problem>& problems)
{
    const std::string formatAllowed = "\"" + std::string(kFormat) + "\"";
    if (!top.contains("format")) {
        problems.push_back(Missing("format", "must be " + formatAllowed));
        return false;
    }
    if (top["format"] != QJsonValue(QString::fromUtf8(kFormat.data(), kFormat.size()))) {
        problems.push_back({"format", JsonText(top["format"]), "not a TQ36 settings file; must be " + formatAllowed});
        return false;
    }
    const std::string versionAllowed = "a whole number from 1 to " + std::to_string(kVersion);
    if (!top.contains("version")) {
        problems.push_back(Missing("version", "must be " + versionAllowed));
        return false;
    }
    const QJsonValue version = top["version"];
    const double v = version.toDouble(-1);
    if (!version.isDouble() || v < 1 || v > 1e6 || v != std::floor(v)) {
        problems.push_back({"version", JsonText(version), versionAllowed});
        return false;
    }
    if (v > kVersion) {
        problems.push_back({"version", JsonText(version),
                            "written by a newer program; this one reads versions up to " + std::to_string(kVersion)});
        return false;
    }
    file.version = static_cast<int>(v);
    return true;
}

void ReadOptional(const QJsonObject& top, SettingsFile& file, std::vector<Problem>& problems)
{
    if (top.contains("saved")) {
        const QJsonValue saved = top["saved"];
        file.saved = QDateTime::fromString(saved.toString(), Qt::ISODate);
        if (!saved.isString() || !file.saved.isValid())
            problems.push_back({"saved", JsonText(saved), "a date and time such as \"2026-12-07T22:40:00+01:00\""});
    }
    if (top.contains("program")) {
        if (top["program"].isString())
            file.program = top["program"].toString();
        else
            problems.push_back({"program", JsonText(top["program"]), "a text"});
    }
    if (top.contains("block")) {
        file.block = ReadBlockText(top["block"].toString());
        if (!top["block"].isString() || !file.block)
            problems.push_back({"block", JsonText(top["block"]), "64 words of 4 hex digits, one space between them"});
    }
}

} // namespace

ReadResult ReadSettingsFile(const QByteArray& bytes)
{
    ReadResult result;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        result.problems.push_back({LineColumn(bytes, error.offset), "", error.errorString().toStdString()});
        return result;
    }
    if (!doc.isObject()) {
        result.problems.push_back({"", "", "a settings file is one JSON object"});
        return result;
    }
    // Qt keeps the last of a key given twice, and a number's value but not
    // its digits: both are read from the text.
    JsonTextFacts text = ScanJsonText(bytes);
    result.problems = std::move(text.repeatedKeys);
    const QJsonObject top = doc.object();
    SettingsFile file;
    if (!ReadHeader(top, file, result.problems))
        return result;
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (std::find(std::begin(kTopKeys), std::end(kTopKeys), it.key()) == std::end(kTopKeys))
            result.problems.push_back({it.key().toStdString(), "",
                                       "unknown key; a settings file holds format, version, saved, program, settings and block"});
    }
    ReadOptional(top, file, result.problems);
    if (top.contains("settings"))
        ReadSettings(top["settings"], text.settingsNumbers, file.settings, result.problems);
    else
        result.problems.push_back(Missing("settings", "an object of settings (it may be empty)"));
    if (result.problems.empty())
        result.file = std::move(file);
    return result;
}

namespace {

// Qt writes and escapes every key and value; only the layout (two-space
// indent, the file's key order, which QJsonObject would sort) and the
// decimals of a number are ours.
void Member(QByteArray& out, int indent, const QString& key, const QByteArray& valueText, bool last)
{
    out += QByteArray(indent, ' ') + JsonText(QJsonValue(key)).c_str() + ": " + valueText + (last ? "\n" : ",\n");
}

QByteArray SettingsText(const Settings& settings)
{
    std::vector<Key> present;
    std::copy_if(kKeys.begin(), kKeys.end(), std::back_inserter(present), [&](Key k) { return settings.Has(k); });
    if (present.empty())
        return "{}";
    QByteArray out = "{\n";
    for (std::size_t i = 0; i < present.size(); ++i) {
        const Key key = present[i];
        Member(out, 4, QString::fromUtf8(KeyName(key).data(), static_cast<qsizetype>(KeyName(key).size())),
               QByteArray::fromStdString(ValueJsonText(key, *settings[key])), i + 1 == present.size());
    }
    return out + "  }";
}

QJsonObject AsObject(const SettingsFile& file)
{
    QJsonObject top{{"format", QString::fromUtf8(kFormat.data(), kFormat.size())}, {"version", file.version}};
    if (file.saved.isValid())
        top["saved"] = SavedText(file.saved);
    if (!file.program.isEmpty())
        top["program"] = file.program;
    QJsonObject settings;
    for (Key key : kKeys)
        if (file.settings.Has(key))
            settings[QString::fromUtf8(KeyName(key).data(), static_cast<qsizetype>(KeyName(key).size()))] =
                ToJson(key, *file.settings[key]);
    top["settings"] = settings;
    if (file.block)
        top["block"] = BlockText(*file.block);
    return top;
}

} // namespace

QByteArray WriteSettingsFile(const SettingsFile& file)
{
    const QJsonObject object = AsObject(file);
    std::vector<std::pair<QString, QByteArray>> members;
    for (const char* key : kTopKeys) {
        if (!object.contains(key))
            continue;
        members.emplace_back(key, key == std::string_view("settings") ? SettingsText(file.settings)
                                                                       : QByteArray::fromStdString(JsonText(object[key])));
    }
    QByteArray out = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i)
        Member(out, 2, members[i].first, members[i].second, i + 1 == members.size());
    out += "}\n";
    // The layout is assembled here, so Qt reads it back: the text must hold
    // exactly the object that Qt itself would have written.
    if (QJsonDocument::fromJson(out).object() != object)
        throw std::logic_error("settings file text does not read back as written");
    return out;
}

QString SaveSettingsFile(const QString& path, const SettingsFile& file)
{
    return SaveProven(path, WriteSettingsFile(file), [&](const QByteArray& onDisk) {
        const ReadResult read = ReadSettingsFile(onDisk);
        return read.file && read.file->settings == file.settings && read.file->block == file.block
            ? QString()
            : ReadBackReason(read);
    });
}

QString ReadBackReason(const ReadResult& read)
{
    // Settings that no file may hold (a range end not above its begin) are
    // refused by the reader: that is the reason, not the disk.
    if (!read.file && !read.problems.empty())
        return QStringLiteral("read back from disk, it is refused: ") + QString::fromStdString(read.problems.front().Message());
    return QStringLiteral("read back from disk, it does not give the settings saved");
}

Settings FromBlock(const SettingsBlock& block, std::vector<Key>* unreadable)
{
    Settings settings;
    for (Key key : kKeys) {
        settings[key] = BlockValue(key, block);
        if (!settings[key] && unreadable)
            unreadable->push_back(key);
    }
    // A range whose end is not above its begin (a blank converter's 0..0)
    // is no pair the form writes back, and a file holding it would not read:
    // a backup of that converter must still restore the rest.
    std::optional<Value>& begin = settings[Key::RangeBegin];
    std::optional<Value>& end = settings[Key::RangeEnd];
    if (begin && end && !RangeInOrder(std::get<std::int32_t>(*begin), std::get<std::int32_t>(*end))) {
        begin.reset();
        end.reset();
        if (unreadable) {
            unreadable->push_back(Key::RangeBegin);
            unreadable->push_back(Key::RangeEnd);
        }
    }
    return settings;
}

SettingsFile FileFromBlock(const SettingsBlock& block, const QDateTime& saved, const QString& program)
{
    SettingsFile file;
    file.saved = saved;
    file.program = program;
    file.settings = FromBlock(block);
    file.block = block;
    return file;
}

bool RangeInOrder(std::int32_t begin, std::int32_t end)
{
    return end > begin;
}

QString ProposedFileName(const Bytes& serial, const QDate& date)
{
    return SafeFileStem(serial) + "-" + date.toString("yyyy-MM-dd") + ".json";
}

} // namespace lk58::config

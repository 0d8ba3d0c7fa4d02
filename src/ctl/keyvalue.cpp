#include "ctl/keyvalue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>

namespace lk58::ctl {

using config::Key;

namespace {

std::string KeyNames()
{
    std::string names;
    for (Key key : config::kKeys)
        names += (names.empty() ? "" : ", ") + std::string(config::KeyName(key));
    return names;
}

// The text as the JSON value the file would hold for the key. What does
// not look like the key's type stays a string, so that the file's own
// validation names the type that was expected.
QJsonValue AsJson(Key key, const QString& text)
{
    switch (config::KeySetting(key).kind) {
    case FieldKind::Check:
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            return text == QLatin1String("true");
        break;
    case FieldKind::Integer:
    case FieldKind::Decimal: {
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (ok && std::isfinite(number))
            return number;
        break;
    }
    default:
        break;
    }
    return text;
}

std::string Refusal(std::string_view key, std::string_view value, const std::string& why)
{
    return std::string(key) + "=" + std::string(value) + ": " + why;
}

} // namespace

std::variant<TKeyValue, TKeyValueError> ParseKeyValue(std::string_view pair)
{
    const std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos)
        return TKeyValueError{"'" + std::string(pair) + "' is not KEY=VALUE"};
    const std::string_view name = pair.substr(0, eq), text = pair.substr(eq + 1);
    const std::optional<Key> key = config::KeyByName(name);
    if (!key)
        return TKeyValueError{"unknown key '" + std::string(name) + "'; the keys are " + KeyNames()};
    const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // Text that is not UTF-8 would reach the converter as "?" characters.
    if (value.toUtf8() != QByteArray(text.data(), static_cast<qsizetype>(text.size())))
        return TKeyValueError{Refusal(name, text, "not UTF-8 text")};
    auto parsed = config::FromJson(*key, AsJson(*key, value));
    if (const config::Problem* problem = std::get_if<config::Problem>(&parsed))
        return TKeyValueError{Refusal(name, text, problem->allowed)};
    return TKeyValue{*key, std::get<config::Value>(parsed)};
}

std::variant<config::Settings, std::vector<TKeyValueError>> ParseKeyValues(const QStringList& pairs)
{
    std::vector<TKeyValueError> errors;
    config::Settings settings;
    QJsonObject json;
    for (const QString& pair : pairs) {
        const QByteArray utf8 = pair.toUtf8();
        auto parsed = ParseKeyValue(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        if (auto* error = std::get_if<TKeyValueError>(&parsed)) {
            errors.push_back(*error);
            continue;
        }
        const TKeyValue& kv = std::get<TKeyValue>(parsed);
        const QString name = QString::fromUtf8(config::KeyName(kv.key).data());
        if (settings.Has(kv.key)) {
            errors.push_back({name.toStdString() + " is given twice"});
            continue;
        }
        settings[kv.key] = kv.value;
        json.insert(name, config::ToJson(kv.key, kv.value));
    }
    if (!errors.empty())
        return errors;
    // The checks across settings are the file's: read the pairs as a file.
    const QJsonObject file{{"format", QString::fromLatin1(config::kFormat.data())},
                           {"version", config::kVersion},
                           {"settings", json}};
    const config::ReadResult read = config::ReadSettingsFile(QJsonDocument(file).toJson());
    for (const config::Problem& p : read.problems)
        errors.push_back({p.Message()});
    if (!errors.empty())
        return errors;
    return read.file->settings;
}

} // namespace lk58::ctl

// tq36ctl's KEY=VALUE parser: any bytes as one pair, and the input's lines
// as the pairs of one `set`.

#include "fuzzcommon.h"

#include "ctl/keyvalue.h"

#include <QString>
#include <QStringList>

#include <set>
#include <string>
#include <string_view>

namespace lk58::fuzz {

namespace {

// An accepted pair is what the settings file would hold, and written back
// as KEY=VALUE it gives the same setting again.
void CheckPair(std::string_view pair)
{
    const auto parsed = ctl::ParseKeyValue(pair);
    if (const auto* error = std::get_if<ctl::TKeyValueError>(&parsed)) {
        FUZZ_CHECK(!error->message.empty());
        return;
    }
    const ctl::TKeyValue& kv = std::get<ctl::TKeyValue>(parsed);
    const auto json = config::FromJson(kv.key, config::ToJson(kv.key, kv.value));
    FUZZ_CHECK(std::holds_alternative<config::Value>(json) && std::get<config::Value>(json) == kv.value);
    const std::string again = std::string(config::KeyName(kv.key)) + "=" + config::FormatValue(kv.key, kv.value);
    const auto reparsed = ctl::ParseKeyValue(again);
    FUZZ_CHECK(std::holds_alternative<ctl::TKeyValue>(reparsed));
    FUZZ_CHECK(std::get<ctl::TKeyValue>(reparsed).key == kv.key && std::get<ctl::TKeyValue>(reparsed).value == kv.value);
}

// A `set` is accepted exactly when each pair is, no key comes twice and the
// range, where both ends are set, is in order.
void CheckSet(const QStringList& pairs)
{
    const auto parsed = ctl::ParseKeyValues(pairs);
    if (const auto* errors = std::get_if<std::vector<ctl::TKeyValueError>>(&parsed)) {
        FUZZ_CHECK(!errors->empty());
        return;
    }
    const config::Settings& settings = std::get<config::Settings>(parsed);
    std::set<config::Key> keys;
    for (const QString& pair : pairs) {
        const QByteArray utf8 = pair.toUtf8();
        const auto one = ctl::ParseKeyValue(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        FUZZ_CHECK(std::holds_alternative<ctl::TKeyValue>(one));
        const ctl::TKeyValue& kv = std::get<ctl::TKeyValue>(one);
        FUZZ_CHECK(keys.insert(kv.key).second);
        FUZZ_CHECK(settings[kv.key] == kv.value);
    }
    FUZZ_CHECK(settings.Count() == static_cast<int>(pairs.size()));
    const auto& begin = settings[config::Key::RangeBegin];
    const auto& end = settings[config::Key::RangeEnd];
    if (begin && end)
        FUZZ_CHECK(config::RangeInOrder(std::get<std::int32_t>(*begin), std::get<std::int32_t>(*end)));
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    const TExactCopy copy(data);
    const std::string_view text(reinterpret_cast<const char*>(copy.Span().data()), copy.Span().size());
    CheckPair(text);
    QStringList pairs;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        pairs << QString::fromUtf8(text.data() + start, static_cast<qsizetype>(end - start));
        start = end + 1;
    }
    CheckSet(pairs);
}

} // namespace lk58::fuzz

#include "config/history.h"
#include "config/blockreading.h"
#include "config/settingsfile.h"
#include "report/report.h"
#include "settings/parammap.h"
#include "settings/textcodec.h"

namespace lk58 {

namespace {

template <typename T>
const T* Get(const config::Settings& settings, config::Key key)
{
    const auto& value = settings[key];
    return value ? std::get_if<T>(&*value) : nullptr;
}

std::optional<std::int32_t> Number(const config::Settings& settings, config::Key key)
{
    const auto* v = Get<std::int32_t>(settings, key);
    return v ? std::optional(*v) : std::nullopt;
}

// A choice's item from its value on the wire.
std::optional<int> Item(const config::Settings& settings, config::Key key)
{
    const auto* v = Get<std::int32_t>(settings, key);
    return v ? std::optional(int(*v) - config::KeySetting(key).itemBase) : std::nullopt;
}

std::optional<bool> Flag(const config::Settings& settings, config::Key key)
{
    const auto* v = Get<std::int32_t>(settings, key);
    return v ? std::optional(*v == 1) : std::nullopt;
}

std::optional<std::string> Text(const config::Settings& settings, config::Key key)
{
    const auto* v = Get<Bytes>(settings, key);
    return v ? std::optional(DecodeText(*v)) : std::nullopt;
}

} // namespace

ReportSettings ReportSettingsFromFile(const config::Settings& f)
{
    using config::Key;
    ReportSettings s;
    s.type = Text(f, Key::Type);
    s.serial = Text(f, Key::Serial);
    s.label = Text(f, Key::Label);
    s.person = Text(f, Key::CalibratedBy);
    if (const auto* d = Get<std::chrono::year_month_day>(f, Key::CalibrationDate))
        s.calibrationDate = *d;
    s.input = Item(f, Key::Input);
    s.coldComp = Flag(f, Key::ColdEndCompensation);
    s.setTemp = Number(f, Key::SetTemperature);
    s.resComp = Number(f, Key::WiringResistance);
    s.output = Item(f, Key::Output);
    s.rangeBegin = Number(f, Key::RangeBegin);
    s.rangeEnd = Number(f, Key::RangeEnd);
    s.outputLimit = Flag(f, Key::OutputLimit);
    s.inputError = Item(f, Key::InputError);
    s.wiring = Item(f, Key::Wiring);
    return s;
}

// The block read setting by setting by the rule `tq36ctl show` follows:
// bytes that hold no valid value are unreadable, never a setting.
ReportSettings ReportSettingsFromBlock(const SettingsBlock& block)
{
    using config::Key;
    config::Settings values;
    std::vector<std::pair<Key, std::int32_t>> unreadable;
    for (Key key : config::kKeys) {
        const config::BlockReading r = config::ReadBlockSetting(key, block);
        if (r.value)
            values[key] = *r.value;
        else if (r.noSelection)
            values[key] = config::Value{*r.raw}; // item -1: "not selected"
        else if (r.raw)
            unreadable.emplace_back(key, *r.raw);
    }
    ReportSettings s = ReportSettingsFromFile(values);
    if (!s.calibrationDate)
        s.calibrationDate.emplace(); // there, but it does not read
    s.unreadable = std::move(unreadable);
    return s;
}

std::optional<std::int32_t> ReportSettings::Unreadable(config::Key key) const
{
    for (const auto& [k, raw] : unreadable)
        if (k == key)
            return raw;
    return std::nullopt;
}

ReportInput ReportFromConverter(const SettingsBlock& block, const QString& port, const QDateTime& readAt)
{
    return {ReportSettingsFromBlock(block), {ReportSource::Kind::Converter, port, readAt, {}}, {}};
}

ReportInput ReportFromFile(const config::SettingsFile& file, const QString& path)
{
    return {ReportSettingsFromFile(file.settings), {ReportSource::Kind::File, path, file.saved, file.program}, {}};
}

std::vector<ReportChange> ReportChanges(const QString& logPath, int count)
{
    const std::vector<config::HistoryRecord> records = config::ReadHistory(logPath).records;
    auto text = [](config::Key key, const std::optional<config::Value>& v) {
        return v ? QString::fromStdString(config::FormatValue(key, *v)) : QStringLiteral("?");
    };
    std::vector<ReportChange> changes;
    for (auto it = records.crbegin(); it != records.crend() && int(changes.size()) < count; ++it)
        changes.push_back({it->time, it->user + QLatin1Char('@') + it->host,
                           QString::fromUtf8(config::KeyName(it->key).data(), qsizetype(config::KeyName(it->key).size())),
                           text(it->key, it->before), text(it->key, it->after),
                           QString::fromUtf8(config::OutcomeName(it->outcome).data())});
    return changes;
}

} // namespace lk58

#include "config/settingsfile.h"
#include "report/report.h"
#include "settings/parammap.h"
#include "settings/textcodec.h"

namespace lk58 {

ReportSettings ReportSettingsFromBlock(const SettingsBlock& block)
{
    const LoadedSettings l = DecodeSettings(block);
    ReportSettings s;
    s.type = l.type;
    s.serial = l.serial;
    s.label = l.name;
    s.person = l.person;
    s.calibrationDate = l.date.date;
    s.input = l.inputItem;
    s.coldComp = l.coldComp;
    s.setTemp = l.setTemp;
    s.resComp = l.resComp;
    s.output = l.outputItem;
    s.rangeBegin = l.rangeBegin;
    s.rangeEnd = l.rangeEnd;
    s.outputLimit = l.outputLimit;
    s.inputError = l.inputErrorItem;
    s.wiring = l.wiringItem;
    return s;
}

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

ReportInput ReportFromConverter(const SettingsBlock& block, const QString& port, const QDateTime& readAt)
{
    return {ReportSettingsFromBlock(block), {ReportSource::Kind::Converter, port, readAt, {}}};
}

ReportInput ReportFromFile(const config::SettingsFile& file, const QString& path)
{
    return {ReportSettingsFromFile(file.settings), {ReportSource::Kind::File, path, file.saved, file.program}};
}

} // namespace lk58

#include "report/report.h"
#include "settings/parammap.h"

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

} // namespace lk58

#pragma once

#include "report/report.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace lk58 {

// A setting's name as the window shows it, and its value with its unit.
struct ReportRow {
    QString name;
    QString value;
    bool missing = false; // not in the source: the value says so
};

// The output characteristic: a straight line from (begin, low) to (end, high).
struct ReportPlot {
    double begin = 0, end = 0;           // degrees Celsius
    double low = 0, high = 0, top = 0;   // signal at begin, at end, axis top
    double signalStep = 0;               // between the signal axis' ticks
    QString unit;                        // "V" or "mA"
    QString xTitle, yTitle, beginLabel, endLabel;
};

// Everything the page says, in one language, ready to paint.
struct ReportContent {
    QString title;
    QString converterHeading, calibrationHeading, settingsHeading, plotHeading;
    std::vector<ReportRow> identity;    // type, serial number, label
    std::vector<ReportRow> calibration; // date, person
    std::vector<ReportRow> settings;    // the other ten
    QString templateNote;               // empty unless settings are missing
    std::optional<ReportPlot> plot;
    QString noPlot;                     // why there is no plot
    QStringList statements;             // limit, indication, what is drawn
    // Asked for: the converter's last changes, one line of cells each.
    std::optional<QString> historyHeading;
    std::vector<QStringList> changes;   // when, who, setting, before -> after, outcome
    QString noChanges;                  // when none is recorded
    QString moreChanges;                // "%1 older changes do not fit the page"
    QString source;                     // where and when the settings came from
    QString program;                    // the program and its version
};

ReportContent BuildReportContent(const ReportInput& input, int lang);

// Tick values for an axis from lo to hi: the multiples of a step of 1, 2 or
// 5 times a power of ten (never below `minStep`) that lie in [lo, hi], at
// most about `maxTicks` of them. Nothing when hi is not above lo.
std::vector<double> NiceTicks(double lo, double hi, int maxTicks, double minStep);

} // namespace lk58

#pragma once

#include <QDateTime>
#include <QRectF>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QPainter;

namespace lk58 {

class SettingsBlock;
namespace config {
enum class Key;
class Settings;
struct SettingsFile;
} // namespace config

// The settings a record shows. A setting that is absent was not in the
// source (a settings file may hold any subset of them); the record says so
// rather than inventing a value. Choices hold the window's item index, -1
// for no selection; numbers hold the converter's wire value.
struct ReportSettings {
    std::optional<std::string> type, serial, label, person; // UTF-8
    // Present but without a date: the converter's date field is unreadable.
    std::optional<std::optional<std::chrono::year_month_day>> calibrationDate;
    std::optional<int> input;       // J, K, S, B, PT100
    std::optional<bool> coldComp;
    std::optional<std::int32_t> setTemp; // tenths of a degree Celsius
    std::optional<std::int32_t> resComp; // hundredths of an ohm
    std::optional<int> output;      // 0-10 V, 0-20 mA, 4-20 mA
    std::optional<std::int32_t> rangeBegin, rangeEnd; // degrees Celsius
    std::optional<bool> outputLimit;
    std::optional<int> inputError;  // none, pulsation, 2 mA
    std::optional<int> wiring;      // 2 or 4 wire, 3 wire
    // Choices, checks and numbers whose bytes in the converter hold no
    // value the window's field could show, with the number they hold
    // (their fields above are empty): stated as unreadable, never as a
    // setting, and nothing is drawn from them.
    std::vector<std::pair<config::Key, std::int32_t>> unreadable;

    // The number behind `key` when it is unreadable.
    std::optional<std::int32_t> Unreadable(config::Key key) const;
};

// Every setting of a block read from a converter, as the window shows it.
ReportSettings ReportSettingsFromBlock(const SettingsBlock& block);
// The settings a file holds, and only those.
ReportSettings ReportSettingsFromFile(const config::Settings& settings);

// Where the settings came from: a converter read through `where` (its port)
// at `when`, or a settings file at path `where`, saved at `when` (invalid
// when the file does not say) by `program`.
struct ReportSource {
    enum class Kind { Converter, File };
    Kind kind = Kind::Converter;
    QString where;
    QDateTime when;
    QString program;
};

// One change from the converter's change log, newest first in the report.
struct ReportChange {
    QDateTime time;
    QString who;            // user@host
    QString key;            // the settings file's key
    QString before, after;  // as a settings file writes them
    QString outcome;        // acknowledged, verified or failed
};

struct ReportInput {
    ReportSettings settings;
    ReportSource source;
    // Asked for: the converter's last changes, newest first (empty: none
    // recorded), listed under the characteristic as far as the page holds.
    std::optional<std::vector<ReportChange>> history;
};

// A block just read from the converter on `port` at `readAt`.
ReportInput ReportFromConverter(const SettingsBlock& block, const QString& port, const QDateTime& readAt);
// A settings file read from `path`.
ReportInput ReportFromFile(const config::SettingsFile& file, const QString& path);
// The last `count` changes of the converter's change log at `logPath`,
// newest first.
std::vector<ReportChange> ReportChanges(const QString& logPath, int count);

// Languages of the record, as the window numbers them.
inline constexpr int kReportCzech = 0;
inline constexpr int kReportEnglish = 1;

// The A4 page's printable area (portrait, inside the margins) in millimetres.
inline constexpr double kReportPageWidthMm = 180.0;
inline constexpr double kReportPageHeightMm = 267.0;
inline constexpr double kReportMarginMm = 15.0;

// Where the plot's axes lie in the painter's coordinates, so that a reading
// can be found on the page; empty when no characteristic was drawn.
struct ReportLayout {
    QRectF plot; // left: range begin, right: range end, bottom: 0 V or 0 mA
    double signalTop = 0; // the signal at plot.top(), in V or mA
};

// Paints the one-page record into `target` (any paint device), keeping the
// page's proportions and centring it. lang is kReportCzech or kReportEnglish.
ReportLayout RenderSettingsReport(QPainter& painter, const QRectF& target, const ReportInput& input,
                                  int lang);

// Writes the record as a one-page A4 PDF with its fonts embedded. Returns an
// empty text on success, else what went wrong, in `messageLang` (the
// record's language unless given: a command line speaks its own).
QString WriteSettingsReport(const QString& pdfPath, const ReportInput& input, int lang, int messageLang = -1);

} // namespace lk58

#pragma once

#include "config/settingsfile.h"
#include "ctl/portresult.h"

#include <QString>

namespace lk58 {
struct ReportInput;
}

namespace lk58::ctl {

// One port's work for each command, on this thread: opens the port, runs
// the exchanges, and returns the port's outcome (never throws).
struct TPortJob {
    QString port;
    TPortEvents& events;
    bool trace = false; // every request and reply to events.Trace
};

struct TWriteOptions {
    bool includeIdentity = false;
    bool dryRun = false;
    bool noBackup = false;
};

TPortResult PingWork(const TPortJob& job);
// `output` empty: the file's text is the result.
TPortResult ReadWork(const TPortJob& job, const QString& output);
TPortResult ShowWork(const TPortJob& job, int lang);
// The settings report of the converter, saved as the PDF `output`; with
// its last `history` changes when that is not negative.
TPortResult ReportWork(const TPortJob& job, const QString& output, int lang, int history = -1);
// Saves the report of `source` (a port or a settings file) as the PDF
// `output`; raises TFailure (usage) when it cannot be written.
TPortResult SaveReport(const QString& source, const QString& output, const ReportInput& input, int lang);
TPortResult DiffWork(const TPortJob& job, const config::Settings& file);
TPortResult WriteWork(const TPortJob& job, const config::Settings& file, const TWriteOptions& options);

// A setting's value as the file writes it, for a terminal: "4-20mA",
// "25.0", texts with \xNN for bytes that have no printable character.
QString ValueText(config::Key key, const config::Value& value);

} // namespace lk58::ctl

#pragma once

#include "ctl/cmdtable.h"
#include "ctl/console.h"
#include "ctl/portresult.h"

#include <vector>

namespace lk58::config {
struct HistoryRecord;
}

namespace lk58::ctl {

// The commands' functions; each returns the exit status.
TExit RunPorts(const TInvocation& inv);
TExit RunPing(const TInvocation& inv);
TExit RunRead(const TInvocation& inv);
TExit RunShow(const TInvocation& inv);
TExit RunDiff(const TInvocation& inv);
TExit RunWrite(const TInvocation& inv);
TExit RunSet(const TInvocation& inv);
TExit RunReport(const TInvocation& inv);
TExit RunHistory(const TInvocation& inv);

// The changes as `history` prints them: a head and a row a change, each
// column as wide as its widest cell in UTF-16 code units and two spaces
// after it; UTF-8.
QByteArray HistoryTable(const std::vector<const config::HistoryRecord*>& shown);

// The run's exit status once standard output is closed. Output that did not
// go out whole fails a command whose product it is (read, show, diff,
// ports, report, anything with --json) as an unwritable file does (Usage);
// write and set keep the status of their converter work, and ping its
// answer: what was written stays written, and standard error has already
// said that the output was lost.
TExit FinishRun(const TInvocation& inv, TExit status);

// Pings every port at once, each from a worker of its own; a port held by
// another program (flock, TIOCEXCL, a live lock file; on Windows
// ERROR_ACCESS_DENIED) fails its open and gets nothing. `verbose`: the
// traffic on `console`.
std::vector<TPortResult> ProbePorts(const QStringList& ports, bool verbose, TConsole& console);

} // namespace lk58::ctl

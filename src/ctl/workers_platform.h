#pragma once

// What the parent's side of the workers shares on every system; each system
// starts and watches the processes in a file of its own.

#include "ctl/exitstatus.h"
#include "ctl/workers.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace lk58::ctl {

// How often the console's live lines are redrawn while workers run.
inline constexpr int kRefreshMs = 100;

// The program a worker runs: the one SetWorkerProgram named, else this one.
QString WorkerExecutable();

// Feeds every whole line in `pending` (a worker's output so far) to the
// console and takes them out; a result line fills `result` and shows the
// port as done or failed.
void TakeWorkerLines(QByteArray& pending, const QString& port, int index, TConsole& console,
                     std::optional<TPortResult>& result);

// The status of a worker that ended without a result: its exit code where
// that names what it met (a bad file 2, a port that would not open 3),
// otherwise that of a port that did not answer.
TExit WorkerExitStatus(int code);

} // namespace lk58::ctl

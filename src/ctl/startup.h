#pragma once

#include <QStringList>

namespace lk58::ctl {

// How a process of tq36ctl treats the system's signals before its work
// begins (one file per platform).

// Texts go out as UTF-8; a Windows console is told so for the run.
void PrepareOutput();

// The arguments after the program's name, every letter kept: Windows hands
// `argv` over in the ANSI code page, which lacks most of them, so there the
// wide command line is read instead.
QStringList CommandLineArguments(int argc, char** argv);

// A worker starts with the interrupt signals held (see workers.cpp); they
// are let through once the handler is in place.
void ReleaseInterrupts();

// A reader that goes away (`tq36ctl ... | head`), or a worker's parent that
// is gone, must not stop a converter write half way: the write goes on, and
// what can no longer be printed is told on standard error.
void KeepWorkingWithoutReader();

// The C library's error number `error` of a failed write to a standard
// stream, as the system's own code for it tells it: Windows' C library
// calls a pipe whose reader is gone an invalid argument.
int StreamError(int error);

// Before Qt Gui starts: drawing (the report) needs no display, also where
// there is none (cron, ssh).
void DrawWithoutDisplay();

} // namespace lk58::ctl

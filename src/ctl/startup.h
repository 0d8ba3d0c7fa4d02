#pragma once

namespace lk58::ctl {

// How a process of tq36ctl treats the system's signals before its work
// begins (one file per platform).

// Texts go out as UTF-8; a Windows console is told so for the run.
void PrepareOutput();

// A worker starts with the interrupt signals held (see workers.cpp); they
// are let through once the handler is in place.
void ReleaseInterrupts();

// A worker whose parent is gone still finishes its port's work: a converter
// must not be left with half a text written because nobody reads the report.
void KeepWorkingWithoutReader();

} // namespace lk58::ctl

#pragma once

#include <QString>

#include <cstdio>

namespace lk58::ctl {

// Writes `text` to `out` (standard output or standard error) at once. A
// reader of standard output that went away (`tq36ctl ... | head`) must not
// cost a result: once standard output fails, this text and every later one
// meant for it go to standard error instead, after one line saying why.
// A failure of standard error itself is ignored: nothing is left to tell.
void PrintText(std::FILE* out, const QString& text);
// The same for text that is already UTF-8.
void PrintUtf8(std::FILE* out, const QByteArray& bytes);

// True once standard output has failed.
bool StandardOutputLost();

// Flushes and closes standard output at the end of the run, where a file
// system may report a failed write only now; a failure counts as lost
// output and is told on standard error. Later texts for standard output go
// to standard error. Returns !StandardOutputLost().
bool FinishStandardOutput();

} // namespace lk58::ctl

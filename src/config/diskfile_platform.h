#pragma once

// The few file calls that differ between systems; one file per system.

#include <QFile>
#include <QString>

namespace lk58::config {

// Makes what was written through `handle` durable; 0, or the system's
// error number (a full disk may only say so here).
int SyncToDisk(int handle);

// Why the existing file `path` may not be replaced: empty when it may be,
// else a reason that says it is read-only (its owner made it so, or the
// user may not write it).
QString ReplaceRefused(const QString& path);

// Puts the written and proven file `written` in place of `target` in the
// same folder, so that the change survives a power cut; empty, or the
// reason it failed.
QString MoveIntoPlace(const QString& written, const QString& target);

// Opens `file` (its name set) for reading where it names a pipe, and says
// whether it did: a pipe is opened without a look at it first, which could
// take its one connection, and it ends as a file ends, not with an error.
// Elsewhere a pipe opens as any file.
bool OpenPipe(QFile& file);

} // namespace lk58::config

#pragma once

// Files that something relies on: outputs saved only when proven on disk,
// settings files read with a size limit, and the test of two names for one
// file. Qt Core only.

#include <QByteArray>
#include <QString>

#include <functional>
#include <variant>

namespace lk58::config {

// What the file holds when read back from disk is checked by the caller
// too: empty when it is what was meant, else what is wrong with it.
using TDiskCheck = std::function<QString(const QByteArray& onDisk)>;

// Saves `bytes` as `path`. They go into a new file in the same folder,
// which is synced, read back from disk and compared byte for byte (then
// given to `check`) before it is renamed over `path`: an existing file is
// only ever replaced by a whole, proven one, and a failure leaves nothing
// behind; the replacement is synced to disk, folder entry included, so
// that it survives a power cut. A symbolic link is followed, an existing
// file keeps its permissions, and a path that is not a regular file (a
// device, a folder) or a file made read-only is refused. Returns an empty
// text, or the reason the save failed, the system's words where it gave
// them ("No space left on device").
QString SaveProven(const QString& path, const QByteArray& bytes, const TDiskCheck& check = {});

// A settings file is about 1 KiB; anything over this is no settings file.
inline constexpr qint64 kSettingsFileLimit = 1024 * 1024;

// The whole file at `path`, or why it cannot be had: the system's reason,
// or that it holds more than kSettingsFileLimit bytes. Never reads more
// than the limit and one byte, so a device or pipe without end (/dev/zero)
// is refused too.
std::variant<QByteArray, QString> ReadSettingsBytes(const QString& path);

// True when both names lead to one existing file (the same device and
// inode, whatever the links or spellings between them).
bool SameFile(const QString& a, const QString& b);

namespace testing {
// Called with the new file's name after it is written and synced and
// before it is read back: a test changes it there as a lying file system
// would. Empty: nothing is called.
void SetBeforeReadBack(std::function<void(const QString& written)> hook);
} // namespace testing

} // namespace lk58::config

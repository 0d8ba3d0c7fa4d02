#pragma once

// Comparing a settings file with a converter, planning the writes that make
// the converter hold the file's settings, and running that plan through the
// device link: backup first, then the writes, then a read-back check.
//
// Four steps, each usable alone: Diff -> MakePlan -> (backup, writes,
// check) in Restore. Restore always runs the plan it makes itself from a
// fresh read of the converter, never one made earlier.

#include "config/settingsfile.h"
#include "link/devicelink.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lk58::config {

// A setting of the file that the converter holds otherwise. `converter` is
// empty when the converter's block holds no valid value for it (a choice
// byte outside its items, a corrupt date...).
struct Difference {
    Key key;
    std::optional<Value> converter;
    Value file;
};

// The file's settings that differ from the converter's, in the file's key
// order. Type and serial number are compared like every other setting.
std::vector<Difference> Diff(const Settings& file, const SettingsBlock& converter);

// One write of the plan, as the form would make it.
struct PlannedWrite {
    Key key;
    WriteKind kind;       // Int16: SendInt, Long32: SendLong, Text: SendString
    std::int32_t number;  // parameter number (the first one of a text)
    std::int32_t value;   // Int16 and Long32: the value on the wire
    Bytes text;           // Text: the bytes written (the date as DDMMYY)
    std::uint8_t words;   // Text: words written
    Value wanted;         // what the read-back must show
    // Exchanges (frames) this write takes when every one is acknowledged.
    int Frames() const { return kind == WriteKind::Text ? words : 1; }
};

struct PlanOptions {
    bool includeIdentity = false; // also write type and serial number
};

struct WritePlan {
    std::vector<PlannedWrite> writes;
    // Differences not written: type and serial number unless included.
    std::vector<Key> leftOut;
    // Why the plan must not run: a range end not above its begin once the
    // file's range setting meets the converter's other one. Empty: it may.
    std::vector<Problem> problems;
    int Frames() const;
};

// The writes for `diff` against the converter's block. Words 6-19 and
// 47-60 are never written. Range begin and end are ordered so that the
// converter's end stays above its begin after each write.
WritePlan MakePlan(const std::vector<Difference>& diff, const SettingsBlock& converter,
                   const PlanOptions& options = {});

// The converter's block by one read-all exchange; empty when it did not
// answer (the link's Damaged() tells a damaged reply from none). Port
// errors propagate as EComError.
std::optional<SettingsBlock> ReadBlock(TDeviceLink& link);

// Where automatic backups go: $XDG_DATA_HOME/LK58/backups, by default
// ~/.local/share/LK58/backups; throws std::runtime_error when neither
// variable gives a full path. On Windows the user's local application data
// folder, %LOCALAPPDATA%\LK58\backups (one file per platform).
QString DefaultBackupDir();

// Saves `block` as a settings file `<serial>-<yyyyMMdd-HHmmss-zzz>.json` in
// `dir` (made if missing), proven on disk (SaveSettingsFile): the file
// appears whole or not at all, and an existing file is never replaced.
// Returns its path as the user sees it (the system's separators), or throws
// std::runtime_error naming the path and the system's reason.
QString WriteBackup(const SettingsBlock& block, const QString& dir, const QDateTime& when,
                    const QString& program);

// What happened to one setting of the plan.
enum class SettingStatus {
    Verified,   // acknowledged, and the read-back shows the file's value
    Failed,     // not acknowledged, or the read-back shows another value
    Unverified, // acknowledged, but the converter did not answer the read-back
    NotWritten, // the run ended before its turn (failure or cancel)
};

struct SettingReport {
    Key key;
    SettingStatus status;
    Value wanted;
    std::optional<Value> before;    // as read before the writes
    std::optional<Value> readBack;  // as read back (also when not written); empty without a read-back
    bool acknowledged = false;      // every frame of the write was acknowledged
};

enum class RunStatus {
    Done,          // every write acknowledged and verified
    Unchanged,     // the converter already holds the file's settings: nothing written
    NotRead,       // the converter did not answer the first read: nothing written
    Rejected,      // the plan has problems (range order): nothing written
    BackupFailed,  // no backup, so nothing written
    Cancelled,     // stopped between writes at the user's request
    Lost,          // a write was not acknowledged: the run stopped there
    CheckFailed,   // all acknowledged, but the read-back failed or differs
    LogFailed,     // the change log could not be written: the run stopped before the next write
};

// What a failed exchange says of the converter: "the converter did not
// answer" or "the converter answered with a damaged reply".
std::string NoAnswerText(const TDeviceLink& link);

struct RestoreOutcome {
    RunStatus status = RunStatus::NotRead;
    std::vector<SettingReport> settings; // the plan's writes, in the plan's order
    std::vector<Key> leftOut;            // identity differences not written
    std::vector<Problem> problems;       // for Rejected
    QString backupPath;                  // empty when no backup was made
    QString historyPath;                 // the change log written; empty when none
    std::string error;                   // why the backup or an exchange failed
    std::optional<SettingsBlock> before; // the block read before the writes
    std::optional<SettingsBlock> after;  // the block read back
    // The exchange that ended the run (NotRead, Lost) was answered, but
    // damaged: the converter is there, the line or its wiring is not sound.
    bool damaged = false;
    // The read-back failed and the converter then did not answer a ping
    // either: it is gone. A read-back that fails while the converter still
    // answers is a failed check, not a lost converter.
    bool lost = false;
    int framesPlanned = 0;
    int framesAcknowledged = 0;
};

struct RestoreOptions {
    bool includeIdentity = false;
    bool backup = true;     // false: no backup, at the user's explicit request
    QString backupDir;      // empty: DefaultBackupDir()
    QString program;        // recorded in the backup; empty: "LK58 <application version>"
    QDateTime now;          // the backup's time; invalid: the current time
    // Before write n (1 based) of count. The run processes no events of
    // its own between writes: a window whose Cancel button must work
    // processes them here. Neither callback may throw.
    std::function<void(Key key, int n, int count)> onProgress;
    // Asked before each write; true ends the run before that write (the
    // read-back still runs).
    std::function<bool()> cancelRequested;
    // The converter's change log: every write is recorded there before it
    // goes out, and a log that cannot be written stops the run.
    bool keepHistory = true;
    QString historyDir;     // empty: DefaultHistoryDir()
    QString port;           // the port, as the log names it
    QString historyProgram; // empty: `program`, or "LK58 <application version>"
};

// Writes the file's settings to the converter: reads the converter anew,
// plans the writes that differ, saves the block read as a backup before the
// first write (no backup, no write), writes, and reads back to check every
// written setting. A write that is not acknowledged ends the writing; the
// read-back still runs, so that the report says exactly what the converter
// now holds. Nothing is reported Verified that was not acknowledged and
// read back. The read-alls and 32-bit writes, which may safely be repeated,
// get a second try of their own when the converter does not answer (a
// 16-bit write has the link's ten attempts). Exchanges run on the calling
// thread (the link's).
RestoreOutcome Restore(TDeviceLink& link, const Settings& file, const RestoreOptions& options = {});

// "verified", "failed", "not verified", "not written".
std::string_view StatusName(SettingStatus status);

} // namespace lk58::config

#pragma once

// What the tests of the tq36ctl program need of their system, one file per
// platform: the simulated converters that tq36ctl's processes open, and the
// ways a test holds a port, limits a file or interrupts tq36ctl. On POSIX a
// converter lives in the test, on a pseudo-terminal; on Windows it lives in
// each tq36ctl process, on a "sim:" port whose block file keeps its settings
// from one process to the next, so the test sees what they wrote.

#include "settings/parammap.h"
#include "sim/simulator.h"

#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

namespace lk58::test {

class TCtlConverter {
public:
    TCtlConverter();
    ~TCtlConverter();
    TCtlConverter(const TCtlConverter&) = delete;
    TCtlConverter& operator=(const TCtlConverter&) = delete;

    // The port name that tq36ctl is given; it answers at once unless pacing
    // is turned on. Faults are set before the name is taken.
    QString Path() const;
    SettingsBlock Block() const;
    void SetBlock(const SettingsBlock& block);
    void SetPacing(bool on);
    void SetFault(Fault fault, int count = kEveryReply, unsigned kinds = kOnAny);

    // Whether any request reached the converter; where its counters are out
    // of the test's sight, whether a process opened its port (nothing when
    // that cannot be told since SetBlock).
    std::optional<bool> Asked() const;
    // Whether a write reached the converter; where its counters are out of
    // the test's sight, whether its settings changed since it was made or set.
    bool Written() const;
    // Its counters where the converter runs in the test; nothing elsewhere.
    std::optional<SimCounters> Counters() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// What a program wrote as text, its lines ending in LF alone (Windows ends
// them with CR LF).
QString OutputText(const QByteArray& bytes);

// The words of this system for what `text` says in the words of POSIX:
// why a port or a file will not open.
QString SystemText(QString text);

// What a test may need that not every system has.
enum class TNeed {
    HeldPort,    // another program holding the converter's port
    LockFile,    // a lock file in the folder of lock files
    DeviceFiles, // /dev/zero, a link to a port
    FileLimit,   // a limit on the size of files a program writes
    DataFolders, // XDG_DATA_HOME and HOME choose where the data goes
    Shell,       // a POSIX shell and /dev/full
    SystemCalls, // strace
    Signals,     // SIGHUP and SIGTERM
};

// Why this system cannot give a test what `need` names; nullptr where it can.
const char* Missing(TNeed need);

// Another program holding `port` until the holder goes; nothing where
// Missing(TNeed::HeldPort).
std::shared_ptr<void> HoldPort(const QString& port);

// Writes the lock file `path` of a program that takes neither flock nor
// TIOCEXCL, naming this test's parent (which runs as long as the test),
// and gives its process number and name. False where it cannot.
bool WriteForeignLockFile(const QString& path, QString& pid, QString& program);

// Before the start: `p` writes no file larger than `bytes`, a failed write
// rather than a killed program.
void LimitFileSize(QProcess& p, qint64 bytes);

// Before the start: the standard output of `p` is a pipe whose reader is
// gone before anything is written.
void GiveClosedPipe(QProcess& p);

// A file that a program reads as a pipe, as `write <(...)` gives it: the
// bytes can be read once, and only by the program that opens it first.
class TPipedFile {
public:
    explicit TPipedFile(const QByteArray& bytes);
    ~TPipedFile();
    TPipedFile(const TPipedFile&) = delete;
    TPipedFile& operator=(const TPipedFile&) = delete;

    // The name that the program is given.
    QString Name() const;
    // Once `p` has started: hands the bytes over, and then the end of the
    // file. False when `p` did not open it in time.
    bool Feed(QProcess& p);

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// Before the start: `p` can be interrupted by Interrupt() alone (with the
// workers it starts), not the test too.
void PrepareToInterrupt(QProcess& p);

// Ctrl+C ("INT"), a hang-up ("HUP") or SIGTERM ("TERM") to `p` alone; false
// when it could not be sent.
bool Interrupt(const QProcess& p, const QString& how);

} // namespace lk58::test

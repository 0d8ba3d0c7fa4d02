#include "ctlconverter.h"

#include "sim/blockfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <atomic>
#include <span>

#include <windows.h>

namespace lk58::test {

namespace {

QString BlockFolder()
{
    static QTemporaryDir dir;
    return dir.path();
}

// The settings of a converter that has never been written.
SettingsBlock FactoryBlock()
{
    const Tq36Block b = DefaultBlock();
    return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
}

const char* FaultOption(Fault fault)
{
    switch (fault) {
    case Fault::Silent: return "silent";
    case Fault::CorruptChecksum: return "corrupt-checksum";
    case Fault::WrongFirstByte: return "wrong-first-byte";
    case Fault::Split: return "split";
    case Fault::ExtraBytes: return "extra";
    case Fault::Delay: return "delay";
    case Fault::Cut: return "cut";
    case Fault::Late: return "late";
    case Fault::Surplus: return "surplus";
    }
    return "";
}

} // namespace

// Each tq36ctl process has a converter of its own under the port's name;
// the block file hands the settings on, and the options in the name give
// every one of them the same behaviour.
struct TCtlConverter::TImpl {
    QString id;
    QString file;
    bool pacing = false;
    QStringList faults;
    unsigned kinds = kOnAny;
    SettingsBlock base = FactoryBlock(); // made, or as the test last set it
    bool set = false;
};

TCtlConverter::TCtlConverter() : impl_(std::make_unique<TImpl>())
{
    static std::atomic<int> count{0};
    impl_->id = QStringLiteral("c%1").arg(++count);
    impl_->file = BlockFolder() + '/' + impl_->id + ".block";
}

TCtlConverter::~TCtlConverter()
{
    QFile::remove(impl_->file);
}

QString TCtlConverter::Path() const
{
    QStringList options{"file=" + impl_->file};
    if (!impl_->pacing)
        options << "no-pacing";
    options << impl_->faults;
    if (!impl_->faults.isEmpty() && impl_->kinds != kOnAny) {
        QStringList kinds;
        for (auto [bit, name] : {std::pair{kOnPing, "ping"}, std::pair{kOnReadAll, "read-all"}, std::pair{kOnWrite, "write"}})
            if (impl_->kinds & bit)
                kinds << name;
        options << "faults-on=" + kinds.join(',');
    }
    return "sim:" + impl_->id + '?' + options.join('&');
}

SettingsBlock TCtlConverter::Block() const
{
    if (!QFile::exists(impl_->file))
        return impl_->base;
    Tq36Block b;
    std::string error;
    if (!LoadBlockFile(impl_->file.toStdString(), b, error))
        qFatal("%s", error.c_str());
    return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
}

void TCtlConverter::SetBlock(const SettingsBlock& block)
{
    Tq36Block b;
    std::copy(block.Data().begin(), block.Data().end(), b.begin());
    std::string error;
    if (!SaveBlockFile(impl_->file.toStdString(), b, error))
        qFatal("%s", error.c_str());
    impl_->base = block;
    impl_->set = true;
}

void TCtlConverter::SetPacing(bool on)
{
    impl_->pacing = on;
}

void TCtlConverter::SetFault(Fault fault, int count, unsigned kinds)
{
    QString option = FaultOption(fault);
    if (count != kEveryReply)
        option += '=' + QString::number(count);
    impl_->faults << option;
    impl_->kinds = kinds;
}

// The port, opened, makes the block file where there is none.
std::optional<bool> TCtlConverter::Asked() const
{
    if (impl_->set)
        return std::nullopt;
    return QFile::exists(impl_->file);
}

bool TCtlConverter::Written() const
{
    return !(Block() == impl_->base);
}

std::optional<SimCounters> TCtlConverter::Counters() const
{
    return std::nullopt;
}

QString OutputText(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).replace("\r\n", "\n");
}

QString SystemText(QString text)
{
    return text.replace("no such port\n", "no such port (Device Manager lists the computer's ports)\n")
        .replace("No such file or directory", "File not found.");
}

const char* Missing(TNeed need)
{
    switch (need) {
    case TNeed::HeldPort:
        return "a simulated converter lives in the process of tq36ctl that opens it: no other program can hold it";
    case TNeed::LockFile: return "lock files in a folder of lock files are how POSIX programs claim a port";
    case TNeed::DeviceFiles: return "/dev/zero and links to a port are POSIX devices";
    case TNeed::FileLimit: return "Windows has no limit on the size of the files a program writes (RLIMIT_FSIZE)";
    case TNeed::DataFolders: return "XDG_DATA_HOME and HOME choose the data folder on POSIX; here LOCALAPPDATA does";
    case TNeed::Shell: return "a POSIX shell's pipes and /dev/full take the output";
    case TNeed::SystemCalls: return "strace sees a Linux program's system calls";
    case TNeed::Signals: return "Windows has no SIGHUP or SIGTERM for a console program";
    }
    return "";
}

std::shared_ptr<void> HoldPort(const QString&)
{
    qFatal("no other program can hold a simulated converter: check Missing(TNeed::HeldPort) first");
}

bool WriteForeignLockFile(const QString&, QString&, QString&)
{
    return false;
}

void LimitFileSize(QProcess&, qint64)
{
    qFatal("no file size limit on Windows: check Missing(TNeed::FileLimit) first");
}

void GiveClosedPipe(QProcess& p)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    if (::CreatePipe(&reader, &writer, &inherited, 0) == FALSE)
        qFatal("no pipe: error %lu", ::GetLastError());
    ::CloseHandle(reader);
    p.setCreateProcessArgumentsModifier([writer](QProcess::CreateProcessArguments* args) {
        args->startupInfo->hStdOutput = writer;
    });
    // The child has its own copy once it runs; this one goes with the process.
    QObject::connect(&p, &QProcess::started, [writer] { ::CloseHandle(writer); });
}

// A named pipe of this test, for one reader.
struct TPipedFile::TImpl {
    QByteArray bytes;
    QString name;
    HANDLE pipe = INVALID_HANDLE_VALUE;
};

TPipedFile::TPipedFile(const QByteArray& bytes) : impl_(std::make_unique<TImpl>())
{
    static std::atomic<int> count{0};
    impl_->bytes = bytes;
    impl_->name = QStringLiteral("\\\\.\\pipe\\lk58-test-%1-%2").arg(::GetCurrentProcessId()).arg(++count);
    impl_->pipe = ::CreateNamedPipeW(reinterpret_cast<const wchar_t*>(impl_->name.utf16()),
                                     PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                     64 * 1024, 0, 0, nullptr);
}

TPipedFile::~TPipedFile()
{
    if (impl_->pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(impl_->pipe);
}

QString TPipedFile::Name() const
{
    return impl_->name;
}

bool TPipedFile::Feed(QProcess& p)
{
    p.closeWriteChannel();
    if (impl_->pipe == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED connect{};
    connect.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool connected = ::ConnectNamedPipe(impl_->pipe, &connect) != FALSE || ::GetLastError() == ERROR_PIPE_CONNECTED;
    if (!connected && ::GetLastError() == ERROR_IO_PENDING) {
        DWORD unused = 0;
        connected = ::WaitForSingleObject(connect.hEvent, 30000) == WAIT_OBJECT_0 &&
                    ::GetOverlappedResult(impl_->pipe, &connect, &unused, FALSE) != FALSE;
        if (!connected)
            ::CancelIoEx(impl_->pipe, &connect);
    }
    bool written = false;
    if (connected) {
        OVERLAPPED write{};
        write.hEvent = connect.hEvent;
        ::ResetEvent(write.hEvent);
        DWORD done = 0;
        const DWORD size = static_cast<DWORD>(impl_->bytes.size());
        written = (::WriteFile(impl_->pipe, impl_->bytes.constData(), size, &done, &write) != FALSE ||
                   (::GetLastError() == ERROR_IO_PENDING && ::GetOverlappedResult(impl_->pipe, &write, &done, TRUE))) &&
                  done == size;
        ::FlushFileBuffers(impl_->pipe);
    }
    ::CloseHandle(connect.hEvent);
    // The end of the file: the reader's next read finds the pipe closed.
    ::CloseHandle(impl_->pipe);
    impl_->pipe = INVALID_HANDLE_VALUE;
    return written;
}

// Ctrl+C goes to every process on a console, as a user's keystroke does:
// the program and its workers share a console of this test's own, where
// the test itself takes Ctrl+C as handled. (A test run by CTest has no
// console that can send one; Ctrl+Break to a process group fails there.)
// Under Wine that console has a window where there is a display, and none
// without one, as for a program that another starts without a window.
void PrepareToInterrupt(QProcess& p)
{
    static const bool console = [] {
        ::FreeConsole();
        return ::AllocConsole() != FALSE &&
               ::SetConsoleCtrlHandler([](DWORD event) -> BOOL { return event == CTRL_C_EVENT; }, TRUE) != FALSE;
    }();
    if (!console)
        qWarning("no console of its own: error %lu", ::GetLastError());
    p.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->flags &= ~DWORD(CREATE_NO_WINDOW); // on this console, not on one of its own
    });
}

bool Interrupt(const QProcess&, const QString& how)
{
    return how == "INT" && ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
}

} // namespace lk58::test

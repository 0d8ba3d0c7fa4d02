#include "ctlconverter.h"

#include "common/simconverter.h"

#include <QFile>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lk58::test {

struct TCtlConverter::TImpl {
    TPtyConverter pty;
};

TCtlConverter::TCtlConverter() : impl_(std::make_unique<TImpl>()) {}

TCtlConverter::~TCtlConverter() = default;

QString TCtlConverter::Path() const
{
    return impl_->pty.Path();
}

SettingsBlock TCtlConverter::Block() const
{
    return impl_->pty.Block();
}

void TCtlConverter::SetBlock(const SettingsBlock& block)
{
    impl_->pty.SetBlock(block);
}

void TCtlConverter::SetPacing(bool on)
{
    impl_->pty.sim.SetPacing(on);
}

void TCtlConverter::SetFault(Fault fault, int count, unsigned kinds)
{
    impl_->pty.sim.SetFault(fault, count, kinds);
}

std::optional<bool> TCtlConverter::Asked() const
{
    return impl_->pty.sim.Counters().requests > 0;
}

bool TCtlConverter::Written() const
{
    return impl_->pty.sim.Counters().writes > 0;
}

std::optional<SimCounters> TCtlConverter::Counters() const
{
    return impl_->pty.sim.Counters();
}

QString OutputText(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

QString SystemText(QString text)
{
    return text;
}

const char* Missing(TNeed)
{
    return nullptr;
}

namespace {

// As the serial component's exclusive open sees another program.
class THeldPort {
public:
    explicit THeldPort(const QString& path) : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY))
    {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~THeldPort() { ::close(fd_); }

private:
    int fd_;
};

} // namespace

std::shared_ptr<void> HoldPort(const QString& port)
{
    return std::make_shared<THeldPort>(port);
}

bool WriteForeignLockFile(const QString& path, QString& pid, QString& program)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray::number(::getppid()).rightJustified(10) + '\n') != 11)
        return false;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(::getppid()));
    if (!comm.open(QIODevice::ReadOnly))
        return false;
    pid = QString::number(::getppid());
    program = QString::fromLocal8Bit(comm.readAll().trimmed());
    return true;
}

void LimitFileSize(QProcess& p, qint64 bytes)
{
    p.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed program
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
}

void GiveClosedPipe(QProcess& p)
{
    p.setChildProcessModifier([] {
        int ends[2];
        if (::pipe(ends) == 0 && ::dup2(ends[1], STDOUT_FILENO) >= 0)
            ::close(ends[0]);
    });
}

// The program's own standard input.
struct TPipedFile::TImpl {
    QByteArray bytes;
};

TPipedFile::TPipedFile(const QByteArray& bytes) : impl_(std::make_unique<TImpl>(TImpl{bytes})) {}

TPipedFile::~TPipedFile() = default;

QString TPipedFile::Name() const
{
    return QStringLiteral("/dev/stdin");
}

bool TPipedFile::Feed(QProcess& p)
{
    const bool written = p.write(impl_->bytes) == impl_->bytes.size();
    p.closeWriteChannel();
    return written;
}

// A kill aimed at the process alone: it passes the request on to its workers.
void PrepareToInterrupt(QProcess&) {}

bool Interrupt(const QProcess& p, const QString& how)
{
    const int signal = how == "INT" ? SIGINT : how == "HUP" ? SIGHUP : how == "TERM" ? SIGTERM : 0;
    return signal != 0 && ::kill(static_cast<pid_t>(p.processId()), signal) == 0;
}

} // namespace lk58::test

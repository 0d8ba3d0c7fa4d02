#include "ctl/output.h"

#include "ctl/startup.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace lk58::ctl {

namespace {

std::atomic<bool> stdoutLost{false};
std::atomic<bool> stdoutClosed{false};

// All of `bytes` to `out`; false when the stream failed (errno tells why).
bool Put(std::FILE* out, const QByteArray& bytes)
{
    errno = 0;
    const std::size_t n = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out);
    const bool flushed = std::fflush(out) == 0;
    return n == static_cast<std::size_t>(bytes.size()) && flushed;
}

} // namespace

void PrintText(std::FILE* out, const QString& text)
{
    PrintUtf8(out, text.toUtf8());
}

void PrintUtf8(std::FILE* out, const QByteArray& bytes)
{
    if (out == stdout && stdoutClosed.load())
        out = stderr;
    if (out == stdout && !stdoutLost.load()) {
        if (Put(stdout, bytes))
            return;
        const int error = StreamError(errno);
        stdoutLost.store(true);
        // Whatever part of it went through, the reader has it; the rest
        // would be lost, so the whole text follows on standard error.
        std::clearerr(stdout);
        const QString why = error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("write failed");
        Put(stderr, ("tq36ctl: standard output: " + why + "; what it did not take follows here\n").toUtf8());
    }
    if (out == stdout)
        out = stderr;
    Put(out, bytes);
}

bool StandardOutputLost()
{
    return stdoutLost.load();
}

bool FinishStandardOutput()
{
    if (stdoutClosed.exchange(true))
        return !stdoutLost.load();
    errno = 0;
    int error = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
        error = errno ? StreamError(errno) : EIO;
    if (std::fclose(stdout) != 0 && error == 0)
        error = errno ? StreamError(errno) : EIO;
    if (error != 0 && !stdoutLost.exchange(true))
        Put(stderr, ("tq36ctl: standard output: " + QString::fromLocal8Bit(std::strerror(error)) + "\n").toUtf8());
    return !stdoutLost.load();
}

} // namespace lk58::ctl

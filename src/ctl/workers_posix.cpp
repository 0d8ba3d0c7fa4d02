#include "ctl/workers.h"
#include "ctl/workers_platform.h"

#include "ctl/interrupt.h"
#include "ctl/interrupt_posix.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lk58::ctl {

namespace {

void WriteAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

struct TWorker {
    QString port;
    pid_t pid = -1;
    int fd = -1;
    QByteArray pending;
    std::optional<TPortResult> result;
};

// Starts this program for one port, its standard output into a pipe. The
// worker starts with the interrupt signals blocked and unblocks them once
// its handler is in place, so an early Ctrl+C or hang-up is held, not fatal.
bool Spawn(TWorker& w, const QStringList& args, const QByteArray& input, QString& error)
{
    int fds[2], in[2];
    if (::pipe2(fds, O_CLOEXEC) < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::pipe2(in, O_CLOEXEC) < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    const QByteArray self =
        WorkerExecutable().toLocal8Bit();
    std::vector<QByteArray> storage{self, "--worker"};
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t held;
    sigemptyset(&held);
    AddInterruptSignals(held);
    posix_spawnattr_setsigmask(&attr, &held);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    const int rc = posix_spawn(&w.pid, self.constData(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ::close(in[0]);
    if (rc != 0) {
        ::close(fds[0]);
        ::close(in[1]);
        error = QString::fromLocal8Bit(std::strerror(rc));
        return false;
    }
    RegisterWorker(w.pid);
    w.fd = fds[0];
    // The worker reads its input whole before it writes a line, so this
    // cannot wait on a worker that waits on us. A worker that is already
    // gone fails the write (EPIPE), and its exit status tells why.
    WriteAll(in[1], input);
    ::close(in[1]);
    return true;
}

// A worker that ended without a result: its exit status is what it met (a
// bad file 2, a port that would not open 3), and it has said why on
// standard error. One killed, or ending "well" without a word, may have
// left its converter anyhow.
TPortResult MissingResult(const QString& port, int waitStatus)
{
    TExit status = TExit::NoAnswer;
    QString why;
    if (WIFSIGNALED(waitStatus)) {
        why = QStringLiteral("signal %1").arg(WTERMSIG(waitStatus));
    } else {
        const int code = WEXITSTATUS(waitStatus);
        why = QStringLiteral("exit status %1").arg(code);
        status = WorkerExitStatus(code);
    }
    return TPortResult{port, status, {}, "the port's work ended without a report (" + why + ")", {}};
}

} // namespace

std::vector<TPortResult> RunWorkers(const QStringList& ports,
                                    const std::function<QStringList(const QString&)>& argsFor,
                                    TConsole& console, const QByteArray& input)
{
    std::vector<TWorker> workers(ports.size());
    for (int i = 0; i < ports.size(); ++i) {
        workers[i].port = ports[i];
        QString error;
        if (!Spawn(workers[i], argsFor(ports[i]), input, error))
            workers[i].result = TPortResult{ports[i], TExit::NoAnswer, {}, "cannot start its work: " + error, {}};
    }
    for (;;) {
        std::vector<pollfd> polls;
        std::vector<int> which;
        for (int i = 0; i < static_cast<int>(workers.size()); ++i)
            if (workers[i].fd >= 0) {
                polls.push_back({workers[i].fd, POLLIN, 0});
                which.push_back(i);
            }
        if (polls.empty())
            break;
        const int n = ::poll(polls.data(), polls.size(), kRefreshMs);
        if (n < 0 && errno != EINTR)
            break;
        for (std::size_t k = 0; n > 0 && k < polls.size(); ++k) {
            if (!polls[k].revents)
                continue;
            TWorker& w = workers[which[k]];
            char buf[4096];
            const ssize_t got = ::read(w.fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ::close(w.fd);
                w.fd = -1;
                continue;
            }
            w.pending.append(buf, got);
            TakeWorkerLines(w.pending, w.port, which[k], console, w.result);
        }
        console.Refresh();
    }
    std::vector<TPortResult> results;
    for (TWorker& w : workers) {
        int status = 0;
        if (w.pid > 0) {
            // Taken off the list before it is reaped, so that an interrupt is
            // never passed to a process that reuses its number.
            UnregisterWorker(w.pid);
            while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        results.push_back(w.result ? *w.result : MissingResult(w.port, status));
    }
    return results;
}

} // namespace lk58::ctl

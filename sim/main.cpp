// tq36-sim: the simulated converter on a pseudo-terminal or a serial device.

#include "sim/blockfile.h"
#include "sim/options.h"
#include "sim/ports.h"
#include "sim/protocol.h"
#include "sim/simulator.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <system_error>

using namespace lk58;

namespace {

std::string LinkTarget(const std::string& link)
{
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// A stale link from an earlier run is replaced; any other file is left alone.
void MakeLink(const std::string& link, const std::string& target)
{
    const std::string temp = link + ".tq36-sim-new";
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) < 0)
        throw std::system_error(errno, std::generic_category(), temp);
    struct stat st{};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        ::unlink(temp.c_str());
        throw std::system_error(EEXIST, std::generic_category(), link + " (not a symbolic link)");
    }
    if (::rename(temp.c_str(), link.c_str()) < 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw std::system_error(err, std::generic_category(), link);
    }
}

// Removes the link only while it still leads to our line.
void RemoveLink(const std::string& link, const std::string& target)
{
    if (!link.empty() && LinkTarget(link) == target)
        ::unlink(link.c_str());
}

// The link lives as long as the line it leads to.
class LinkGuard {
public:
    LinkGuard(std::string link, std::string target) : link_(std::move(link)), target_(std::move(target))
    {
        if (!link_.empty())
            MakeLink(link_, target_);
    }
    ~LinkGuard() { RemoveLink(link_, target_); }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

private:
    std::string link_;
    std::string target_;
};

class TrafficPrinter {
public:
    void operator()(const TrafficEvent& e)
    {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const char* dir = e.direction == TrafficDirection::Request ? "request"
                        : e.direction == TrafficDirection::Reply   ? "reply  "
                                                                   : "note   ";
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "%9.3f  %s  %s%s%s\n", t, dir, sim::Hex(e.bytes).c_str(),
                     e.bytes.empty() ? "" : "  ", e.meaning.c_str());
        std::fflush(stderr);
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
};

int Usage(const std::string& error)
{
    std::cerr << "tq36-sim: " << error << "\nTry 'tq36-sim --help'.\n";
    return 2;
}

int Fail(const std::string& error)
{
    std::cerr << "tq36-sim: " << error << "\n";
    return 1;
}

// Blocks the stop signals in every thread; main waits for them.
sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return set;
}

void WaitForStop(const sigset_t& set)
{
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
}

int Serve(const sim::ProgramOptions& o, const Tq36Block& block, const sigset_t& stop)
{
    PtyPair pty;
    UniqueFd device;
    std::string path = o.device;
    if (!o.device.empty()) {
        device = sim::OpenSerialDevice(o.device);
    } else {
        pty = OpenPtyPair();
        path = pty.slavePath;
    }
    const int fd = device.Valid() ? device.Get() : pty.master.Get();
    const LinkGuard link(o.link, path);

    Tq36Simulator simulator(fd);
    simulator.SetBlock(block);
    sim::ApplyOptions(o, simulator);
    TrafficPrinter printer;
    simulator.SetObserver([&](const TrafficEvent& e) {
        if (o.verbose)
            printer(e);
        std::string error;
        if (e.blockChanged && !o.save.empty() && !SaveBlockFile(o.save, simulator.Block(), error))
            std::cerr << "tq36-sim: " << error << "\n";
    });
    std::cout << path << std::endl;
    simulator.Start();
    WaitForStop(stop);
    simulator.Stop();

    std::string error;
    if (!o.save.empty() && !SaveBlockFile(o.save, simulator.Block(), error))
        return Fail(error);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    sim::ProgramOptions options;
    std::string error;
    if (!sim::ParseOptions(argc, argv, options, error))
        return Usage(error);
    if (options.help) {
        std::cout << sim::UsageText();
        return 0;
    }
    Tq36Block block = DefaultBlock();
    if (!options.load.empty() && !LoadBlockFile(options.load, block, error))
        return Fail(error);
    const sigset_t stop = StopSignals();
    try {
        return Serve(options, block, stop);
    } catch (const std::system_error& e) {
        return Fail(e.what());
    }
}
